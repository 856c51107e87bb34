#!/usr/bin/env bash
# Packs the fixed fuzz corpus of the gate (bench/compare_outputs.sh) from a fuzz build:
# the seeds of fuzz/run.sh and the inputs the harnesses grew from them.
#   make fuzz FUZZ_SECONDS=120 && bench/grow_gate_corpus.sh [FUZZ_BUILD]
# Replace the corpus only together with a gate run of the previous build against the
# current one, so that no difference slips in with the new inputs.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "${1:-$here/../build-fuzz}" && pwd)"
stage="$(mktemp -d /tmp/zqasm-gate-corpus-XXXXXX)"
trap 'rm -rf "$stage"' EXIT
for harness in source chip; do
  mkdir -p "$stage/$harness"
  for dir in "$build/fuzz-seeds/$harness" "$build/fuzz-corpus/$harness"; do
    [ -d "$dir" ] && find "$dir" -maxdepth 1 -type f -exec cp -t "$stage/$harness" {} + 2>/dev/null || true
  done
done
(cd "$stage" && find source chip -type f | LC_ALL=C sort |
   tar --owner=0 --group=0 --mtime=@0 -cJf "$here/gate-corpus.tar.xz" -T -)
echo "bench/gate-corpus.tar.xz: $(find "$stage" -type f | wc -l) inputs, $(du -h "$here/gate-corpus.tar.xz" | cut -f1)"
