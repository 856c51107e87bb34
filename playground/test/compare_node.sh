#!/usr/bin/env bash
# The command line for Node against the native one: playground/test/compare_node.sh
# NATIVE_BUILD PLAYGROUND_BUILD. Each case runs both programs in turn in the same folder
# (so that names written into the outputs agree) with the same arguments, and compares the
# exit status, standard output, standard error and every file left in the folder, byte for
# byte. The cases: the programs of examples/, the benchmark programs, and runs that end in
# each of the exit statuses.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
native="$(cd "$1" && pwd)/tools/zqasm"
node_js="$(cd "$2" && pwd)/zqasm.js"
chips="$(cd "$1" && pwd)/chips"
if [ ! -f "$node_js" ]; then
  echo "compare_node: $node_js not built (make playground)" >&2
  exit 1
fi
work="$(mktemp -d /tmp/zqasm-node-compare-XXXXXX)"
trap 'rm -rf "$work"' EXIT
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"

failures=0
cases=0
# run_case NAME FOLDER ARGS...: FOLDER holds the sources; it is copied afresh for each side.
run_case() {
  local name="$1" folder="$2"
  shift 2
  cases=$((cases + 1))
  for side in native node; do
    rm -rf "$work/run" && cp -r "$folder" "$work/run"
    cp -r "$chips" "$work/run/chips"
    if [ "$side" = native ]; then
      (cd "$work/run" && "$native" "$@" >"$work/stdout" 2>"$work/stderr"; echo $? >"$work/status")
    else
      (cd "$work/run" && node "$node_js" "$@" >"$work/stdout" 2>"$work/stderr"; echo $? >"$work/status")
    fi
    rm -rf "$work/$side" && mv "$work/run" "$work/$side"
    mv "$work/stdout" "$work/status" "$work/stderr" "$work/$side/"
  done
  if ! diff -r "$work/native" "$work/node" >"$work/diff" 2>&1; then
    echo "DIFFERS: $name ($*)"
    head -n 20 "$work/diff"
    failures=$((failures + 1))
  fi
}

examples="$work/examples"
cp -r "$root/examples" "$examples"
run_case demo "$examples" --chip-dir chips -I . --table-top 0FFh demo.asm
run_case banked "$examples" --chip-dir chips -I . --rom-top 2FFFh banked.asm
run_case banked-svg-hex "$examples" --chip-dir chips --rom-top 2FFFh --hex --map-svg b.svg \
  --size banked.asm
run_case demo-out-dir "$examples" --chip-dir chips --table-top 0FFh --out-dir out/x -M out/d.d \
  demo.asm
run_case demo-preprocessed "$examples" --chip-dir chips -E -P demo.asm

programs="$work/programs"
python3 "$root/bench/gen_programs.py" "$programs" >/dev/null
for folder in "$programs"/*/; do
  folder="${folder%/}"
  run_case "bench/$(basename "$folder")" "$folder" --chip-dir chips -I . --rom-top 2FFFh \
    --table-top 0FFh main.asm
done

# Errors and warnings (status 1), a fatal run, a usage error (2), a missing source (3).
errors="$work/errors"
mkdir -p "$errors"
printf '        .CHIP ZQ4460\nSTART:  FOO 1\n        JMP NOWHERE\n        MOV 45h, 77\n' >"$errors/bad.asm"
printf '        NOP\n' >"$errors/nochip.asm"
run_case errors "$errors" --chip-dir chips -Wall bad.asm
run_case errors-err-style "$errors" --chip-dir chips --diagnostics=err --max-errors 1 bad.asm
run_case fatal "$errors" --chip-dir chips nochip.asm
run_case usage "$errors" --chip-dir chips --rom-top 12345h bad.asm
run_case missing "$errors" --chip-dir chips absent.asm
run_case list-chips "$errors" --chip-dir chips --list-chips
run_case help "$errors" --help

echo "compare_node: $cases cases, $failures differ"
[ "$failures" -eq 0 ]
