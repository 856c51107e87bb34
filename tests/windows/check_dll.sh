#!/usr/bin/env bash
# check_dll.sh OBJDUMP DLL: the DLL exports exactly the functions that src/exports.def
# lists (one a line after EXPORTS) and imports only from system DLLs (no C or C++ runtime
# DLL of the compiler).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)"
expected="$(sed -n '/^EXPORTS/,$p' "$here/../../src/exports.def" | tail -n +2 | awk 'NF {print $1}' |
  sort | tr '\n' ' ')"
dump="$("$1" -p "$2")"
exports="$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -E '^\s+\[' | sed 's/.*\] //' |
  sort | tr '\n' ' ' || true)"
imports="$(grep -oE 'DLL Name: \S+' <<<"$dump" | cut -c11- | tr a-z A-Z | sort -u | tr '\n' ' ')"
echo "$2: exports: $exports; imports: $imports"
[ "$exports" = "$expected" ] || { echo "$2: wrong export table (want: $expected)" >&2; exit 1; }
for dll in $imports; do
  case "$dll" in KERNEL32.DLL|USER32.DLL|MSVCRT.DLL) ;; *) echo "$2: imports $dll" >&2; exit 1 ;; esac
done
