#!/usr/bin/env bash
# Installs what building and testing needs on a fresh Debian 12 machine. Idempotent: when
# every package is already there it only checks and returns.
set -euo pipefail

native_pkgs=(build-essential cmake ninja-build ccache pkg-config git
             googletest libgtest-dev libgmock-dev libbenchmark-dev
             clang libclang-rt-14-dev
             libicu-dev libgumbo-dev libsqlite3-dev libsodium-dev
             libcurl4-openssl-dev libcli11-dev nlohmann-json3-dev libcpp-httplib-dev
             chromium python3)
win_pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix mingw-w64-tools xvfb wine64)
i386_pkgs=(wine wine32:i386)

missing=()
for p in "${native_pkgs[@]}" "${win_pkgs[@]}" "${i386_pkgs[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

export DEBIAN_FRONTEND=noninteractive
if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
else
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# widl needs the system's IDL files, which Debian's MinGW packages do not ship; Wine's development
# package has them. Only those files are unpacked (installing the package would pull in headers
# of another libc), into the build tree where the Windows presets look for them.
idl_dir=build/wine-idl
if [[ ! -f $idl_dir/oaidl.idl ]]; then
  echo "setup: fetching the system IDL files"
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  (cd "$tmp" && apt-get download -qq libwine-dev >/dev/null 2>&1) ||
    { apt-get update -qq && (cd "$tmp" && apt-get download -qq libwine-dev >/dev/null); }
  mkdir -p "$idl_dir"
  dpkg-deb --fsys-tarfile "$tmp"/libwine-dev_*.deb |
    tar -x -C "$tmp" --wildcards './usr/include/wine/wine/windows/*.idl'
  cp "$tmp"/usr/include/wine/wine/windows/*.idl "$idl_dir"/
fi
echo "setup: done"
