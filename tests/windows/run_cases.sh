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
  base="$work/${source%.*}"
  for ext in LST ERR SYM MAP RAM EQU LBL TAB OBJ; do
    expected="$work/expected.$ext"
    [ -f "$expected" ] || continue
    case "$ext" in TAB) kind=binary ;; OBJ) kind=object ;; *) kind=text ;; esac
    if [ "$ext" = OBJ ] && grep -q '^absent' "$expected"; then
      [ ! -e "$base.OBJ" ] || fail "$name: .OBJ must not be written"
    else
      perl "$here/compare.pl" "$expected" "$base.$ext" "$(windowsPath "$work")" "$kind" ||
        fail "$name: .$ext"
    fi
  done
  echo "case $name done"
done

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
