#!/usr/bin/env bash
# Runs the three fuzz harnesses built in BUILD (source text, chip files, program images
# read back by the disassembler) for SECONDS each (default 60):
#   fuzz/run.sh BUILD [SECONDS]
# Seeds: every source of tests/cases and examples, the bundled chip files, and as images
# the ".OBJ" files the end-to-end cases expect, built from their descriptions, with the
# examples and those cases assembled by BUILD's zqasm to ".OBJ" and Intel HEX. (The
# saved inputs of tests/fuzz-regressions are replayed by `make test`; as seeds their
# long, bounded runs would only slow the search down.) The corpora grow in
# BUILD/fuzz-corpus and are kept between runs. A crash, leak, timeout, out-of-memory or
# sanitizer report stops the harness, saves the input in BUILD/fuzz-artifacts and fails
# the script.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "$1" && pwd)"
seconds="${2:-60}"
seeds="$build/fuzz-seeds"
corpus="$build/fuzz-corpus"
artifacts="$build/fuzz-artifacts"
work="$build/fuzz-work"
rm -rf "$seeds"
harnesses=(source chip image)
for harness in "${harnesses[@]}"; do mkdir -p "$seeds/$harness" "$corpus/$harness"; done
mkdir -p "$artifacts" "$work"

# Source seeds: byte 0 is the control byte of runSourceInput. 00h takes the text as it
# stands; 02h splits it at a NUL into the main source and INC.ASM.
for main in "$root"/tests/cases/*/main.asm "$root"/examples/*.asm; do
  name="$(basename "$(dirname "$main")")-$(basename "$main")"
  { printf '\000'; cat "$main"; } >"$seeds/source/$name"
  for inc in "$(dirname "$main")"/inc/*.inc; do
    [ -f "$inc" ] || continue
    { printf '\002'; cat "$main"; printf '\000'; cat "$inc"; } >"$seeds/source/$name-$(basename "$inc")"
  done
done
cp "$build"/chips/*.COE "$seeds/chip/"

# Image seeds: byte 0 is the control byte of runImageInput; its low three bits choose the
# chip among these (an ".OBJ" names its own, so 00h serves).
models=(ZQ3915 ZQ3947 ZQ4410 ZQ4427 ZQ4460 ZQ44V09 ZQ44W05)
# An expected ".OBJ" description ("header NAME", "fill XX", "words N", "ADDR WORD") as
# the image, after the control byte 00h.
object_seed() {
  local header="" fill=00 words=1000 key value out="$2"
  local -a placed=()
  while read -r key value _; do
    case "$key" in
      header) header="$value" ;;
      fill) fill="$value" ;;
      words) words="$value" ;;
      absent*) return ;;
      [0-9A-Fa-f]*) placed+=("$key:$value") ;;
    esac
  done <"$1"
  [ -n "$header" ] || return 0
  { printf '\000%s' "$header"
    head -c $((2 * 0x$words)) /dev/zero | tr '\0' "\\$(printf %o "0x$fill")"; } >"$out"
  for entry in "${placed[@]}"; do
    local address="${entry%%:*}" word="${entry#*:}"
    printf "\\x${word:2:2}\\x${word:0:2}" |
      dd of="$out" bs=1 seek=$((1 + ${#header} + 2 * 0x$address)) conv=notrunc status=none
  done
}
# A source assembled with --hex in the work directory: its ".OBJ" (control byte 00h) and
# its Intel HEX (control byte: its chip's index).
assembled_seed() {
  local source="$1" name="$2" chip index
  shift 2
  rm -rf "$work/assemble" && mkdir -p "$work/assemble"
  cp "$source" "$work/assemble/main.asm"
  "$build/tools/zqasm" -q --hex --chip-dir "$build/chips" -I "$(dirname "$source")" \
    -I "$(dirname "$source")/inc" "$@" "$work/assemble/main.asm" >/dev/null 2>&1 || return 0
  chip="$(grep -i -o -m1 '\.CHIP[[:space:]]*[A-Za-z0-9]*' "$source" | awk '{print toupper($2)}')"
  for index in "${!models[@]}"; do
    [ "${models[$index]}" = "$chip" ] && [ -f "$work/assemble/main.HEX" ] || continue
    { printf '\000'; cat "$work/assemble/main.OBJ"; } >"$seeds/image/$name.OBJ"
    { printf "\\$(printf %o "$index")"; cat "$work/assemble/main.HEX"; } >"$seeds/image/$name.HEX"
  done
}
for expected in "$root"/tests/cases/*/expected.OBJ; do
  name="$(basename "$(dirname "$expected")")"
  object_seed "$expected" "$seeds/image/$name-expected.OBJ"
  top="$(sed -n 's/^rom-top *= *//p' "$(dirname "$expected")/case.ini")"
  assembled_seed "$(dirname "$expected")/main.asm" "$name" --rom-top "${top:-0FFFh}"
done
assembled_seed "$root/examples/demo.asm" demo --table-top 0FFh
assembled_seed "$root/examples/banked.asm" banked --rom-top 2FFFh

status=0
for harness in "${harnesses[@]}"; do
  # An image of three banks is 24 KiB.
  max_len=8192
  [ "$harness" = image ] && max_len=32768
  log="$build/fuzz-$harness.log"
  echo "fuzz: $harness harness for ${seconds}s (log: $log)"
  # Runs in the work directory: the bank convert area keeps a temporary file in the
  # directory the library was loaded from. Standard output is closed (the label check
  # prints there); libFuzzer reports on standard error.
  if (cd "$work" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/zqasm_fuzz_$harness" "$corpus/$harness" "$seeds/$harness" \
        -dict="$root/fuzz/$harness.dict" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len="$max_len" -close_fd_mask=1 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$harness-") >"$log" 2>&1; then
    grep -E '^(INFO: Loaded [0-9]+ modules|#[0-9]+[[:space:]]+DONE)|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
      "$log" || true
  else
    echo "fuzz: the $harness harness FAILED; end of its log:"
    tail -n 60 "$log"
    status=1
  fi
done
exit "$status"
