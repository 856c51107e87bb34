#!/usr/bin/env bash
# Runs both fuzz harnesses built in BUILD for SECONDS each (default 60):
#   fuzz/run.sh BUILD [SECONDS]
# Seeds: every source of tests/cases and examples and the bundled chip files. (The saved
# inputs of tests/fuzz-regressions are replayed by `make test`; as seeds their long,
# bounded runs would only slow the search down.) The corpora grow in
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
mkdir -p "$seeds/source" "$seeds/chip" "$corpus/source" "$corpus/chip" "$artifacts" "$work"

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

status=0
for harness in source chip; do
  log="$build/fuzz-$harness.log"
  echo "fuzz: $harness harness for ${seconds}s (log: $log)"
  # Runs in the work directory: the bank convert area keeps a temporary file in the
  # directory the library was loaded from. Standard output is closed (the label check
  # prints there); libFuzzer reports on standard error.
  if (cd "$work" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/zqasm_fuzz_$harness" "$corpus/$harness" "$seeds/$harness" \
        -dict="$root/fuzz/$harness.dict" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=8192 -close_fd_mask=1 -print_final_stats=1 \
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
