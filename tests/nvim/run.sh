#!/bin/sh
# The Neovim session of lsp_session.lua against a built zqasm-lsp, with the plugin of
# editors/nvim on the runtimepath.
#   tests/nvim/run.sh BUILD
set -eu
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ZQASM_LSP="$build/tools/zqasm-lsp" ZQASM_CHIPS="$build/chips" ZQASM_WORK="$work" \
  HOME="$work" XDG_STATE_HOME="$work" XDG_CACHE_HOME="$work" \
  timeout 120 nvim --headless --clean -n --cmd "set runtimepath^=$here/../../editors/nvim" \
  -c "luafile $here/lsp_session.lua"
