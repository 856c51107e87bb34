#!/bin/sh
# check_configure.sh SOURCE_DIR GENERATOR: configures SOURCE_DIR as a fresh machine without
# googletest, nlohmann-json and Google Benchmark would (their packages hidden from CMake):
# configure must pass, say what it leaves out, and still offer what make demo builds.
set -eu
source=$1
generator=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$source" -B "$work" -G "$generator" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
for said in \
  "googletest not found (Debian: libgtest-dev): the tests are left out, make test needs them" \
  "nlohmann-json not found (Debian: nlohmann-json3-dev): the language server zqasm-lsp and zqasm --size=json are left out" \
  "Google Benchmark not found (Debian: libbenchmark-dev): zqasm_bench is left out"; do
  grep -qF -- "-- $said" "$work/configure.log" || { echo "configure did not say: $said"; exit 1; }
done
# What make demo builds is there; the tests are not.
targets=$(cmake --build "$work" --target help)
for target in zqasm_cli chips; do
  printf '%s\n' "$targets" | grep -qw "$target" || { echo "no target $target"; exit 1; }
done
if printf '%s\n' "$targets" | grep -qw zqasm_tests; then
  echo "the tests were configured without googletest"
  exit 1
fi
echo "configure check passed"
