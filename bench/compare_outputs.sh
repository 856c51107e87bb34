#!/usr/bin/env bash
# The byte-identical gate: runs the same inputs through two builds and compares, for every
# run, the host block's result words (return value, code end, table ROM use, chip name),
# the messages, what the run printed and a hash of every file it left behind.
#
#   bench/compare_outputs.sh BASE_BUILD NEW_BUILD
#   bench/compare_outputs.sh --record BUILD FILE     writes one build's record alone
#
# The inputs: every case of tests/cases, the programs of examples/, the benchmark programs
# of bench/gen_programs.py, the saved inputs of tests/fuzz-regressions and the fixed fuzz
# corpus bench/gate-corpus.tar.xz (the seeds of fuzz/run.sh and what the harnesses grew
# from them; bench/grow_gate_corpus.sh makes a new one). A build is a CMake build folder
# with src/libzqasm.a and chips/; bench/gate_run.cc is compiled against each.
# ZQASM_GATE_WORK names the work folder (default: a new one under /tmp, removed at the end).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"

usage() {
  echo "usage: $0 BASE_BUILD NEW_BUILD | $0 --record BUILD FILE" >&2
  exit 2
}

if [ "${1:-}" = "--record" ]; then
  [ $# -eq 3 ] || usage
  builds=("$2")
  record_to="$3"
else
  [ $# -eq 2 ] || usage
  builds=("$1" "$2")
  record_to=""
fi
for b in "${builds[@]}"; do
  [ -f "$b/src/libzqasm.a" ] && [ -d "$b/chips" ] || { echo "$b: no src/libzqasm.a or chips/" >&2; exit 2; }
done

if [ -n "${ZQASM_GATE_WORK:-}" ]; then
  work="$ZQASM_GATE_WORK"
  rm -rf "$work"
  mkdir -p "$work"
else
  work="$(mktemp -d /tmp/zqasm-gate-XXXXXX)"
  trap 'rm -rf "$work"' EXIT
fi

# The inputs, in a fixed order.
mkdir -p "$work/corpus" "$work/programs"
tar -xJf "$here/gate-corpus.tar.xz" -C "$work/corpus"
python3 "$here/gen_programs.py" "$work/programs" >/dev/null
jobs="$work/jobs"
: >"$jobs"
setting() {  # setting FILE KEY DEFAULT
  local value
  value="$(sed -n "s/^[[:space:]]*$2[[:space:]]*=[[:space:]]*\(.*[^[:space:]]\)[[:space:]]*$/\1/p" "$1" | head -n 1)"
  echo "${value:-$3}"
}
for dir in "$root"/tests/cases/*/; do
  dir="${dir%/}"
  ini="$dir/case.ini"
  includes="$(sed -n 's/^[[:space:]]*include[[:space:]]*=[[:space:]]*\(.*[^[:space:]]\)[[:space:]]*$/\1/p' "$ini" | paste -sd '\t' -)"
  printf 'case\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(basename "$dir")" "$dir" \
    "$(setting "$ini" rom-top 0xFFF)" "$(setting "$ini" table-top -1)" \
    "$(setting "$ini" case-sensitive 0)" "$(setting "$ini" mask-options '')" \
    "$(setting "$ini" warnings '')" "$(setting "$ini" source main.asm)" "$includes" >>"$jobs"
done
printf 'case\texample-demo\t%s\t0xFFF\t0xFF\t0\t\t\tdemo.asm\t.\n' "$root/examples" >>"$jobs"
printf 'case\texample-banked\t%s\t0x2FFF\t-1\t0\t\t\tbanked.asm\t.\n' "$root/examples" >>"$jobs"
for dir in "$work"/programs/*/; do
  dir="${dir%/}"
  printf 'case\tbench-%s\t%s\t0x2FFF\t0xFF\t0\t\t\tmain.asm\t.\n' "$(basename "$dir")" "$dir" >>"$jobs"
done
for harness in source chip; do
  for dir in "$root/tests/fuzz-regressions/$harness" "$work/corpus/$harness"; do
    [ -d "$dir" ] || continue
    find "$dir" -type f | LC_ALL=C sort | sed "s/^/$harness\t/" >>"$jobs"
  done
done
# Trailing tabs of jobs without include folders.
sed -i 's/\t$//' "$jobs"

run_build() {  # run_build BUILD RECORD
  local build
  build="$(cd "$1" && pwd)"
  c++ -std=c++17 -O1 -I"$root/include" "$here/gate_run.cc" "$build/src/libzqasm.a" \
    -o "$work/gate_run"
  # One chip folder path for every build: a message may name it.
  rm -rf "$work/chips"
  cp -r "$build/chips" "$work/chips"
  "$work/gate_run" "$work/gate" "$work/chips" <"$jobs" >"$2"
}

count=$(wc -l <"$jobs")
if [ -n "$record_to" ]; then
  run_build "${builds[0]}" "$record_to"
  echo "recorded $count runs in $record_to"
  exit 0
fi
run_build "${builds[0]}" "$work/base.record"
run_build "${builds[1]}" "$work/new.record"
if cmp -s "$work/base.record" "$work/new.record"; then
  echo "gate: all $count runs identical ($(grep -c '^  file ' "$work/new.record") output files)"
else
  echo "gate: outputs differ (base <, new >):" >&2
  diff "$work/base.record" "$work/new.record" | head -n 60 >&2
  exit 1
fi
