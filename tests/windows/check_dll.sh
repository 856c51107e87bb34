#!/usr/bin/env bash
# check_dll.sh OBJDUMP DLL: the DLL exports exactly the functions of src/exports.def, and
# imports only from system DLLs (no C or C++ runtime DLL of the compiler).
set -euo pipefail
dump="$("$1" -p "$2")"
exports="$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -E '^\s+\[' | sed 's/.*\] //' || true)"
imports="$(grep -oE 'DLL Name: \S+' <<<"$dump" | cut -c11- | tr a-z A-Z | sort -u | tr '\n' ' ')"
echo "$2: exports: $exports; imports: $imports"
wanted="$(sed -n '/^EXPORTS/,$p' "$(dirname "$0")/../../src/exports.def" | tail -n +2 | awk '{print $1}' | sort)"
[ "$(sort <<<"$exports")" = "$wanted" ] || { echo "$2: wrong export table" >&2; exit 1; }
for dll in $imports; do
  case "$dll" in KERNEL32.DLL|USER32.DLL|MSVCRT.DLL) ;; *) echo "$2: imports $dll" >&2; exit 1 ;; esac
done
