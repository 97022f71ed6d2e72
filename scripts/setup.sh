#!/usr/bin/env bash
# Installs what building and testing needs on a fresh Debian 12 machine. Idempotent: when
# every package is already there it only checks and returns.
set -euo pipefail

native_pkgs=(build-essential cmake ninja-build ccache pkg-config git
             googletest libgtest-dev libgmock-dev libbenchmark-dev
             clang libclang-rt-14-dev
             libicu-dev libgumbo-dev libsqlite3-dev libsodium-dev
             chromium python3)
win_pkgs=(g++-mingw-w64-i686 mingw-w64-tools xvfb)
i386_pkgs=(wine wine32:i386)

missing=()
for p in "${native_pkgs[@]}" "${win_pkgs[@]}" "${i386_pkgs[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
