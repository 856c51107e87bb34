#!/usr/bin/env bash
# `make playground-test`: playground/test/run.sh NATIVE_BUILD PLAYGROUND_BUILD [JOBS]
# Builds the playground, compares the Node command line with the native one, and drives
# the page in headless Chromium (screenshots in PLAYGROUND_BUILD/screenshots). Without
# emscripten nothing is built and both parts are skipped; without chromium the page part
# is skipped; each says so.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
native="$1"
out="$2"
jobs="${3:-2}"
if ! command -v emcc >/dev/null 2>&1; then
  echo "playground test skipped: emscripten is missing (Debian: apt-get install emscripten)"
  exit 0
fi
"$here/../build.sh" "$native" "$out" "$jobs"
"$here/compare_node.sh" "$native" "$out"
(cd "$here/.." && node --test test/units.test.mjs)
if ! command -v chromium >/dev/null 2>&1 && ! command -v chromium-browser >/dev/null 2>&1; then
  echo "page test skipped: chromium is missing (Debian: apt-get install chromium)"
  exit 0
fi
node "$here/page_test.mjs" "$out/site" "$native" "$out/screenshots"
