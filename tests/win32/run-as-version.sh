#!/usr/bin/env bash
# run-as-version.sh VERSION EXE [ARGS...]: runs a Windows test executable under Wine as the system
# version VERSION (winecfg's names: win2k, winxp, win10 ...). Wine reads the version a program
# sees from its per-program settings at start, so they are written first.
set -euo pipefail
version=$1
exe=$2
shift 2
wine=${PEL_WINE:-wine}
"$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$exe")" /v Version /d "$version" /f \
  </dev/null >/dev/null 2>&1
exec "$wine" "$exe" "$@"
