#!/usr/bin/env bash
# run_cases.sh WIN_BUILD CHIPS: runs the Windows host program (WIN_BUILD/host.exe, which
# loads WIN_BUILD/zqasm.dll) under wine, headless and in a fresh wine prefix inside
# WIN_BUILD, over every end-to-end case of tests/cases and over the bad-input checks.
# Each case runs in a copy of its folder; its outputs are compared by compare.pl.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)"
build="$(cd "$1" && pwd -P)"
chips="$(cd "$2" && pwd -P)"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$WINEPREFIX" "$build/cases"
mkdir -p "$WINEPREFIX" "$build/cases"

# Wine sees the Linux root as drive Z:.
windowsPath() { local path="Z:$1"; echo "${path//\//\\}"; }
stopWine() { timeout 60 wineserver -k || true; timeout 60 wineserver -w || true; }
trap stopWine EXIT
timeout 60 wineserver -p
timeout 300 wineboot -i >/dev/null 2>&1

failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
# compareOutputs NAME WORK SOURCE: the outputs of a case run in WORK against its files.
compareOutputs() {
  local base="$2/${3%.*}" ext expected kind
  for ext in LST ERR SYM MAP RAM EQU LBL TAB OBJ; do
    expected="$2/expected.$ext"
    [ -f "$expected" ] || continue
    case "$ext" in TAB) kind=binary ;; OBJ) kind=object ;; *) kind=text ;; esac
    if [ "$ext" = OBJ ] && grep -q '^absent' "$expected"; then
      [ ! -e "$base.OBJ" ] || fail "$1: .OBJ must not be written"
    else
      perl "$here/compare.pl" "$expected" "$base.$ext" "$(windowsPath "$2")" "$kind" ||
        fail "$1: .$ext"
    fi
  done
}
# Every call of the host gets a time limit: a message box waiting for a click would hang.
host() { timeout 120 wine "$build/host.exe" "$(windowsPath "$chips")" "$@"; }

for caseDir in "$here"/../cases/*/; do
  name="$(basename "$caseDir")"
  work="$build/cases/$name"
  cp -r "$caseDir" "$work"
  source="$(sed -nE 's/^source *= *(.*[^ ]) *$/\1/p' "$work/case.ini" | tail -n 1)"
  source="${source:-main.asm}"
  chip="$(grep -ihoE '^\s*\.CHIP\s+\S+' "$work/$source" | head -n 1 | awk '{print $2}' || true)"
  (cd "$work" && host case $chip) || fail "$name: host checks"
  compareOutputs "$name" "$work" "$source"
  echo "case $name done"
done

# The longest source path the block holds, 257 characters: every output and its temporary
# file beside it lie beyond what the ANSI file functions take, and the outputs must be
# those of the other cases all the same, with nothing else left in the folder (a stale
# temporary file of a run that no longer runs is removed too).
# Z:FOLDER\main.asm: the folder takes 257 - 11 characters, in names of at most 100.
long="$build/cases/long-path"
while [ "${#long}" -lt 246 ]; do
  add=$((246 - ${#long}))  # the "/" included
  part=$((add - 1 <= 100 ? add - 1 : (add - 1 > 150 ? 100 : (add - 1) / 2)))
  [ "$part" -gt 0 ] || { fail "long path: no room"; break; }
  long="$long/$(printf 'p%.0s' $(seq 1 "$part"))"
done
mkdir -p "$long"
cp -r "$here/../cases/basic/." "$long/"
source="$(windowsPath "$long")\main.asm"
[ "${#source}" -eq 257 ] || fail "long path: ${#source} characters"
echo "source = $source" >>"$long/case.ini"
: >"$long/main.OBJ.tmp999999_0"
(cd "$long" && host case ZQ4460) || fail "long path: host checks"
compareOutputs long-path "$long" main.asm
for file in "$long"/*; do
  case "$(basename "$file")" in
    case.ini|main.asm|expected.*|main.LST|main.ERR|main.SYM|main.MAP|main.RAM|main.EQU|main.LBL) ;;
    main.OBJ|main.TAB) ;;
    *) fail "long path: $(basename "$file") left" ;;
  esac
done
# zqasm.exe writes the Intel HEX forms as well, main.TAB.HEX at 261 characters.
(cd "$long" && timeout 120 wine "$build/zqasm.exe" -q --chip-dir "$(windowsPath "$chips")" \
  --hex --table-top 0FFh "$source") ||
  fail "long path: zqasm.exe"
mkdir -p "$build/cases/long-path-linux"
cp "$long/main.asm" "$build/cases/long-path-linux/"
"$chips/../tools/zqasm" -q --chip-dir "$chips" --hex --table-top 0FFh \
  "$build/cases/long-path-linux/main.asm" || fail "long path: zqasm"
for ext in HEX TAB.HEX; do
  cmp -s <(tr -d '\r' <"$long/main.$ext") "$build/cases/long-path-linux/main.$ext" ||
    fail "long path: main.$ext"
done
echo "case long-path done"

long="$build/cases/bad-input/long/$(printf 'l%.0s' {1..120})/$(printf 'l%.0s' {1..120})"
mkdir -p "$long"
printf '        .CHIP   ZQ4460\n        NOP\n' >"$long/t.asm"
(cd "$build/cases/bad-input" && host bad) || fail "bad input"
# The command-line program prints the messages that the DLL would show in a box.
printed="$(cd "$build/cases/bad-input" &&
  timeout 120 wine "$build/zqasm.exe" --chip-dir nochips 'mix\sub\t.asm' 2>&1 || true)"
grep -q $'^zqasm: fatal: Occurred FATAL ERROR !\r$' <<<"$printed" || fail "zqasm.exe: no message"
grep -q $'\r\r' <<<"$printed" && fail "zqasm.exe: doubled CR"
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
