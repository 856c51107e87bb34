#!/usr/bin/env bash
# `make playground`: playground/build.sh NATIVE_BUILD PLAYGROUND_BUILD [JOBS]
# Configures and builds the WebAssembly targets with emcmake, copies the native build's
# chip files beside zqasm.js, and writes the site (page bundle, chips, examples) with
# esbuild. Debian's emscripten finds its own Node modules only through NODE_PATH.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="$(cd "$1" && pwd)"
out="$2"
jobs="${3:-2}"
if ! command -v emcc >/dev/null 2>&1; then
  echo "make playground: emscripten is missing (Debian: apt-get install emscripten)" >&2
  exit 1
fi
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"
emcmake cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DZQASM_BUILD_TESTS=OFF \
  -DZQASM_BUILD_BENCH=OFF ${CMAKE_FLAGS:-} >/dev/null
cmake --build "$out" -j "$jobs" --target zqasm_node zqasm_web
mkdir -p "$out/chips"
cp "$native"/chips/*.COE "$out/chips/"

# The page's npm packages, as the lock file pins them.
page="$root/playground"
if [ ! -d "$page/node_modules" ] || [ "$page/package-lock.json" -nt "$page/node_modules" ]; then
  (cd "$page" && npm ci --no-audit --no-fund)
  touch "$page/node_modules"
fi
node "$page/build.mjs" "$out/site" "$native/chips"
size="$(du -cb "$out"/site/*.js "$out"/site/*.wasm "$out"/site/*.html "$out"/site/*.css \
  "$out"/site/*.json "$out"/site/chips/* | tail -n 1 | cut -f 1)"
echo "Site in $out/site ($size bytes); serve it with: python3 -m http.server -d $out/site"
echo "Node: node $out/zqasm.js --chip-dir $out/chips SOURCE"
