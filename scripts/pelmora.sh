#!/usr/bin/env bash
# Sets up what is missing, builds the command-line tool and runs it with the arguments given:
#   bash scripts/pelmora.sh fill tests/fixtures/forms/profile.html
# The store is $XDG_DATA_HOME/pelmora/store.db (created on first use) unless --store names one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target pelmora >&2
exec build/release/bin/pelmora "$@"
