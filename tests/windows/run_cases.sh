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

# longFolder BASE LENGTH: a folder of LENGTH characters below BASE, in names of at most
# 100 characters (made; the callers check the length of what they name).
longFolder() {
  local folder="$1" add part
  while [ "${#folder}" -lt "$2" ]; do
    add=$(($2 - ${#folder}))  # the "/" included
    part=$((add - 1 <= 100 ? add - 1 : (add - 1 > 150 ? 100 : (add - 1) / 2)))
    [ "$part" -gt 0 ] || { echo "$1: no room for $2 characters" >&2; break; }
    folder="$folder/$(printf 'p%.0s' $(seq 1 "$part"))"
  done
  mkdir -p "$folder"
  echo "$folder"
}
# sameAsLinux NAME WORK LINUXWORK STEM KINDS...: the outputs STEM.EXT of a run in WORK equal
# those of the Linux program in LINUXWORK, the folders read as "$DIR" (EXT:KIND, KIND as
# compare.pl takes it).
sameAsLinux() {
  local name="$1" work="$2" linux="$3" stem="$4" item ext expected
  shift 4
  for item in "$@"; do
    ext="${item%%:*}" expected="$linux/expected-linux.${item%%:*}"
    [ -f "$linux/$stem.$ext" ] || { fail "$name: no Linux .$ext"; continue; }
    if [ "${item##*:}" = text ]; then
      sed "s|$linux|\$DIR|g" "$linux/$stem.$ext" >"$expected"
    else
      cp "$linux/$stem.$ext" "$expected"
    fi
    perl "$here/compare.pl" "$expected" "$work/$stem.$ext" "$(windowsPath "$work")" \
      "${item##*:}" || fail "$name: .$ext"
  done
}
zqasmLinux() { "$chips/../tools/zqasm" -q --chip-dir "$chips" "$@"; }
zqasmWindows() { timeout 120 wine "$build/zqasm.exe" -q --chip-dir "$(windowsPath "$chips")" "$@"; }

# The longest source path the block holds, 257 characters: every output and its temporary
# file beside it lie beyond what the ANSI file functions take, and the outputs must be
# those of the other cases all the same, with nothing else left in the folder (a stale
# temporary file of a run that no longer runs is removed too).
# Z:FOLDER\main.asm: the folder takes 257 - 11 characters.
long="$(longFolder "$build/cases/long-path" 246)"
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
(cd "$long" && zqasmWindows --hex --table-top 0FFh "$source") || fail "long path: zqasm.exe"
mkdir -p "$build/cases/long-path-linux"
cp "$long/main.asm" "$build/cases/long-path-linux/"
zqasmLinux --hex --table-top 0FFh "$build/cases/long-path-linux/main.asm" ||
  fail "long path: zqasm"
for ext in HEX TAB.HEX; do
  cmp -s <(tr -d '\r' <"$long/main.$ext") "$build/cases/long-path-linux/main.$ext" ||
    fail "long path: main.$ext"
done
echo "case long-path done"

# The same source without an extension at 257 characters: every output name is longer
# than MAX_PATH (main.LST 261 characters, main.TAB.HEX 265), and the .JMP name that a run
# removes too. Z:FOLDER\main: the folder takes 257 - 7 characters.
long="$(longFolder "$build/cases/long-bare" 250)"
cp -r "$here/../cases/basic/." "$long/"
mv "$long/main.asm" "$long/main"
# The map names the source as it is called.
sed -i 's|^\$DIR/main\.asm$|$DIR/main|' "$long/expected.MAP"
source="$(windowsPath "$long")\main"
[ "${#source}" -eq 257 ] || fail "long bare: ${#source} characters"
echo "source = $source" >>"$long/case.ini"
mkdir -p "$build/cases/long-bare-linux"
cp "$long/main" "$build/cases/long-bare-linux/"
: >"$long/main.JMP"
(cd "$long" && host case ZQ4460) || fail "long bare: host checks"
compareOutputs long-bare "$long" main
for file in "$long"/*; do
  case "$(basename "$file")" in
    case.ini|main|expected.*|main.LST|main.ERR|main.SYM|main.MAP|main.RAM|main.EQU|main.LBL) ;;
    main.OBJ|main.TAB) ;;
    *) fail "long bare: $(basename "$file") left" ;;
  esac
done
(cd "$long" && zqasmWindows --hex --table-top 0FFh "$source") || fail "long bare: zqasm.exe"
zqasmLinux --hex --table-top 0FFh "$build/cases/long-bare-linux/main" || fail "long bare: zqasm"
sameAsLinux long-bare "$long" "$build/cases/long-bare-linux" main LST:text ERR:text SYM:text \
  MAP:text RAM:text EQU:text LBL:text HEX:text TAB.HEX:text OBJ:binary TAB:binary
echo "case long-bare done"

# A relative source in a current folder of 200 characters whose full name, like that of
# the include file it names by a path from that folder, is beyond 300 characters (the
# current folder itself cannot be longer than MAX_PATH). Its outputs are those of the
# Linux program for the same files.
relative="dddd$(printf 'd%.0s' {1..96})\\$(printf 'e%.0s' {1..20})"
for side in long-relative long-relative-linux; do
  long="$(longFolder "$build/cases/$side" 198)"
  mkdir -p "$long/${relative//\\//}"
  printf '        .CHIP   ZQ4460\n        .include "%s\\more.inc"\n        CALL    SUB1\n        HALT\n' \
    "$relative" >"$long/${relative//\\//}/main.asm"
  printf 'SUB1:   NOP\n        RET\n' >"$long/${relative//\\//}/more.inc"
done
longLinux="$long"
long="$(longFolder "$build/cases/long-relative" 198)"
[ "$(windowsPath "$long\\$relative\\main.asm" | wc -c)" -gt 301 ] || fail "long relative: too short"
printf 'source = %s\\main.asm\n' "$relative" >"$long/case.ini"
(cd "$long" && host case ZQ4460) || fail "long relative: host checks"
(cd "$longLinux" && zqasmLinux "${relative//\\//}/main.asm") || fail "long relative: zqasm"
sameAsLinux long-relative "$long/${relative//\\//}" "$longLinux/${relative//\\//}" main \
  LST:text ERR:text SYM:text MAP:text RAM:text EQU:text LBL:text OBJ:binary TAB:binary
grep -qi 'more.inc' "$long/${relative//\\//}/main.MAP" || fail "long relative: include not read"
echo "case long-relative done"

long="$build/cases/bad-input/long/$(printf 'l%.0s' {1..120})/$(printf 'l%.0s' {1..120})"
mkdir -p "$long"
printf '        .CHIP   ZQ4460\n        NOP\n' >"$long/t.asm"
(cd "$build/cases/bad-input" && host bad) || fail "bad input"
# The command-line program prints the messages that the DLL would show in a box.
printed="$(cd "$build/cases/bad-input" &&
  timeout 120 wine "$build/zqasm.exe" --chip-dir nochips 'mix\sub\t.asm' 2>&1 || true)"
grep -q $'^zqasm: fatal: Occurred FATAL ERROR !\r$' <<<"$printed" || fail "zqasm.exe: no message"
grep -q $'\r\r' <<<"$printed" && fail "zqasm.exe: doubled CR"
# Without --chip-dir and ZQASM_CHIP_DIR, zqasm.exe reads the chips that make windows put
# beside it.
mkdir -p "$build/cases/chips-beside"
printf '        .CHIP   ZQ4460\n        NOP\n' >"$build/cases/chips-beside/t.asm"
(cd "$build/cases/chips-beside" && env -u ZQASM_CHIP_DIR timeout 120 wine "$build/zqasm.exe" -q t.asm) ||
  fail "zqasm.exe: no chips beside it"
[ -f "$build/cases/chips-beside/t.OBJ" ] || fail "zqasm.exe: no image without --chip-dir"
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
