#!/usr/bin/env bash
# Checks the built library without running it: each COM entry point is exported under its plain
# name at the address of the function the compiler made for it, and on 32-bit that function takes
# the argument bytes the system passes (a stdcall symbol carries them as "@N"; a wrong prototype
# would leave the caller's stack unbalanced and crash the host). Also checks that the library
# imports only DLLs every Windows system has, so that it loads without a runtime beside it, and
# that it carries its type library as resource TYPELIB 1, where registration and scripts read it.
# usage: check-exports.sh OBJDUMP NM WINDRES LIBRARY win32|win64
set -euo pipefail
objdump=$1 nm=$2 windres=$3 lib=$4 arch=$5

declare -A arg_bytes=([DllGetClassObject]=12 [DllCanUnloadNow]=0 [DllRegisterServer]=0 [DllUnregisterServer]=0)
system_dlls=(kernel32.dll user32.dll gdi32.dll advapi32.dll ole32.dll oleaut32.dll wininet.dll msvcrt.dll
             shell32.dll shlwapi.dll comctl32.dll comdlg32.dll rpcrt4.dll version.dll urlmon.dll)

headers=$("$objdump" -p "$lib")
symbols=$("$nm" "$lib")
image_base=$(sed -nE 's/^ImageBase[[:space:]]+([0-9a-fA-F]+)$/\1/p' <<<"$headers")
[[ -n $image_base ]] || { echo "no image base in the headers of $lib"; exit 1; }

# Export address table: index -> RVA; name table: index -> name.
declare -A rva_of_index name_index
while read -r index rva; do rva_of_index[$index]=$rva; done < <(
  sed -nE 's/^[[:space:]]*\[[[:space:]]*([0-9]+)\] \+base\[[[:space:]]*[0-9]+\] +([0-9a-fA-F]+) Export RVA$/\1 \2/p' <<<"$headers")
while read -r index name; do name_index[$name]=$index; done < <(
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
    sed -nE 's/^[[:space:]]*\[[[:space:]]*([0-9]+)\] ([A-Za-z_][A-Za-z0-9_@]*)$/\1 \2/p')

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

((${#name_index[@]} == ${#arg_bytes[@]})) ||
  fail "exports ${!name_index[*]}, expected exactly ${!arg_bytes[*]}"
for name in "${!arg_bytes[@]}"; do
  index=${name_index[$name]:-}
  [[ -n $index ]] || { fail "$name is not exported by its plain name"; continue; }
  address=$(printf '%x' $((16#$image_base + 16#${rva_of_index[$index]})))
  if [[ $arch == win32 ]]; then
    symbol="_${name}@${arg_bytes[$name]}"
  else
    symbol=$name
  fi
  at=$(awk -v s="$symbol" '$3 == s { print $1 }' <<<"$symbols" | sed 's/^0*//')
  if [[ -z $at ]]; then
    found=$(awk -v n="_${name}@" 'index($3, n) == 1 { print $3 }' <<<"$symbols" | tr '\n' ' ')
    fail "$name: no function $symbol${found:+ (found: $found)}"
  elif [[ $at != "$address" ]]; then
    fail "$name is exported at $address, but $symbol is at $at"
  else
    echo "ok: $name -> $symbol at $address"
  fi
done

while read -r dll; do
  lower=${dll,,}
  if [[ " ${system_dlls[*]} " == *" $lower "* ]]; then
    echo "ok: imports $dll"
  else
    fail "imports $dll, which is not a system DLL"
  fi
done < <(sed -nE 's/^[[:space:]]*DLL Name: (.*)$/\1/p' <<<"$headers")

# A compiled type library starts with the signature "MSFT" (0x5446534d read as a little-endian word).
resources=$("$windres" -i "$lib" -O rc 2>&1) || fail "windres cannot read the resources of $lib"
if grep -A4 -E '^1 "TYPELIB"' <<<"$resources" | grep -qE '^[[:space:]]*0x5446534dL'; then
  echo "ok: type library embedded as TYPELIB 1"
else
  fail "no type library (TYPELIB 1 with the MSFT signature) among the resources of $lib"
fi

((failures == 0)) || { echo "$failures problem(s) in $lib"; exit 1; }
echo "exports and imports of $lib are as they must be"
