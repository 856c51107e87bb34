#!/bin/sh
# Assembles the generated benchmark programs and records or compares the checksums of
# every file the assembler writes.
#   bench/check_outputs.sh record  [BUILD]   writes bench/checksums.txt
#   bench/check_outputs.sh compare [BUILD]   fails when any output differs from it
set -eu
mode=${1:-compare}
build=${2:-build}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$build" && pwd)
zqasm="$build/tools/zqasm"
# The listing and the map name the files by their full paths, so the programs are always
# assembled in the same folder.
work=/tmp/zqasm-bench-programs
sums=$(mktemp /tmp/zqasm-checksums-XXXXXX)
trap 'rm -f "$sums"' EXIT
rm -rf "$work"

python3 "$here/gen_programs.py" "$work"
for program in one p1000 p3000 p12000; do
  # Run from the program folder: the bank rewrite leaves its temporary file there.
  (cd "$work/$program" && "$zqasm" --chip-dir "$build/chips" -I . --rom-top 2FFFh --table-top 0FFh main.asm \
     >/dev/null 2>&1) || true
done
(cd "$work" && find . -type f ! -name '*.asm' ! -name '*.inc' | LC_ALL=C sort |
   xargs sha256sum) > "$sums"

case $mode in
  record)
    cp "$sums" "$here/checksums.txt"
    echo "recorded $(wc -l < "$here/checksums.txt") output checksums in bench/checksums.txt" ;;
  compare)
    if diff -u "$here/checksums.txt" "$sums"; then
      echo "all $(wc -l < "$here/checksums.txt") outputs identical"
    else
      echo "outputs differ from bench/checksums.txt" >&2
      exit 1
    fi ;;
  *) echo "usage: $0 record|compare [BUILD]" >&2; exit 2 ;;
esac
