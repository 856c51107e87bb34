#!/bin/sh
# Installs the build tree BUILD into a temporary prefix and uses it as a dependency from
# C alone: a host calling Run44Assembler links the shared library (pkg-config zqasm,
# zqasm::zqasm), a host calling every function of the headers links the static one
# (pkg-config zqasm-static, zqasm::zqasm_static); the shared library exports what
# src/exports.map lists and nothing else; the installed zqasm finds its chips by itself; --help and the man
# page name the same options. It installs as make install does, stripped: no program or
# library keeps debug sections.
set -eu
build=$1
exportList="$(cd "$(dirname "$0")/../../src" && pwd)/exports.map"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --strip >/dev/null

cd "$work"
printf '.CHIP ZQ4460\n ORG 0\nstart: NOP\n JMP start\n' >demo.asm
cat >host.c <<'HOST'
#include <stdio.h>
#include <stdlib.h>
#include "zqasm/assembler.h"
int main(int argc, char** argv) {
  AssemblerParams* p = calloc(1, sizeof *p);
  if (argc < 3 || p == NULL) return 2;
  snprintf(p->sourcePath, sizeof p->sourcePath, "%s", argv[1]);
  snprintf(p->chipDirectory, sizeof p->chipDirectory, "%s", argv[2]);
  p->programRomTop = 0xFFF;
  p->tableRomTop = -1;
  int result = Run44Assembler(p);
  printf("%d %u\n", result, (unsigned)p->codeEnd);
  return result == 1 && p->codeEnd == 2 ? 0 : 1;
}
HOST
# Every function of the headers; the outputs go to out/demo.* by the output stem.
cat >host_all.c <<'HOST'
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "zqasm/assembler.h"
#include "zqasm/observer.h"
#include "zqasm/disassembler.h"
static void sink(const char* text, void* context) { (void)context; fputs(text, stderr); }
static void image(void* context, const ZqasmImage* i) { *(size_t*)context = i->programWords; }
int main(int argc, char** argv) {
  AssemblerParams* p = calloc(1, sizeof *p);
  size_t words = 0;
  const char* names[] = {"LEVEL"};
  const char* values[] = {"2"};
  ZqasmRunObserver observer = {0};
  if (argc < 3 || p == NULL || ZqasmCheckDefine("LEVEL", "2") != 1) return 2;
  ZqasmFillVersionText(p);
  if (strncmp(p->versionText, "Assembler Version ", 18) != 0) return 2;
  snprintf(p->sourcePath, sizeof p->sourcePath, "%s", argv[1]);
  snprintf(p->chipDirectory, sizeof p->chipDirectory, "%s", argv[2]);
  p->programRomTop = 0xFFF;
  p->tableRomTop = -1;
  observer.context = &words;
  observer.image = image;
  observer.defineNames = names;
  observer.defineValues = values;
  observer.defineCount = 1;
  ZqasmSetMessageSink(sink, NULL);
  ZqasmSetRunObserver(&observer);
  ZqasmSetOutputStem("out/demo");
  ZqasmResetRunSettings();
  if (ZqasmSetSourceText("none.asm", "", 0) != 1) return 2;
  ZqasmClearSourceTexts();
  ZqasmSetOutputFiles(1);
  int result = Run44Assembler(p);
  printf("%d %u %zu\n", result, (unsigned)p->codeEnd, words);
  int status = -1;
  const uint16_t jump = 0xD000;
  ZqasmWordReading reading;
  ZqasmImageFacts facts;
  ZqasmDisassembler* d = ZqasmDisassemblerCreate(argv[2], "ZQ4460", &status);
  if (d == NULL || strcmp(ZqasmDisassemblerNameText(d), "ZQ4460") != 0) return 3;
  if (ZqasmDisassemblerRead(d, &jump, NULL, 1, 0xFFF) != 0) return 3;
  ZqasmDisassemblerFacts(d, &facts);
  if (ZqasmDisassemblerWord(d, 0, &reading) != 0 || strcmp(reading.text, "JMP 0000h") != 0) return 3;
  ZqasmDisassemblerDestroy(d);
  return result == 1 && p->codeEnd == 2 && words == 0x1000 && facts.romTop == 0xFFF ? 0 : 1;
}
HOST
# Its source lies alone in all/: nothing may be written beside it.
mkdir out all
cp demo.asm all/

chips=$prefix/share/zqasm/chips
# pkg-config is not part of a bare build machine: without it that half is left out.
if command -v pkg-config >/dev/null 2>&1; then
  export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
  cc host.c $(pkg-config --cflags --libs zqasm) -Wl,-rpath,"$prefix/lib" -o host_pc
  ./host_pc demo.asm "$chips"
  cc host_all.c $(pkg-config --cflags --libs zqasm-static) -o host_all_pc
  ./host_all_pc all/demo.asm "$chips"
  test -f out/demo.OBJ && rm out/*
else
  echo "pkg-config not installed: the pkg-config build is not checked"
fi

mkdir project
cp host.c host_all.c project/
cat >project/CMakeLists.txt <<'PROJECT'
cmake_minimum_required(VERSION 3.16)
project(host C)
find_package(zqasm REQUIRED)
add_executable(host host.c)
target_link_libraries(host PRIVATE zqasm::zqasm)
add_executable(host_all host_all.c)
target_link_libraries(host_all PRIVATE zqasm::zqasm_static)
PROJECT
cmake -S project -B project/build -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build project/build >/dev/null
project/build/host demo.asm "$chips"
project/build/host_all all/demo.asm "$chips"
test -f out/demo.OBJ && [ "$(ls all)" = demo.asm ]
if command -v nm >/dev/null 2>&1; then
  exported=$(nm -D --defined-only "$prefix"/lib/libzqasm.so | awk '$2 == "T" { print $3 }' | sort)
  wanted=$(sed -n '/global:/,/local:/p' "$exportList" | grep -oE '^ *[A-Za-z_][A-Za-z0-9_]*;' |
    tr -d ' ;' | sort)
  [ "$exported" = "$wanted" ] || { echo "libzqasm.so exports: $exported"; exit 1; }
fi

# No --chip-dir, no ZQASM_CHIP_DIR: the chips come from the prefix.
env -u ZQASM_CHIP_DIR "$prefix/bin/zqasm" --depfile demo.d demo.asm
grep -q "share/zqasm/chips/ZQ4460.COE" demo.d

# The installed zqdis finds the chips too, and reads the image back.
env -u ZQASM_CHIP_DIR "$prefix/bin/zqdis" demo.OBJ | grep -q "^L0000:  NOP "
# The language server, when it was built, is installed beside zqasm.
if [ -f "$build/tools/zqasm-lsp" ]; then
  "$prefix/bin/zqasm-lsp" --version | grep -q "^zqasm-lsp "
fi

if command -v objdump >/dev/null 2>&1; then
  for file in "$prefix"/bin/* "$prefix"/lib/libzqasm*; do
    if objdump -h "$file" | grep -q '\.debug_'; then
      echo "$file keeps debug sections"
      exit 1
    fi
  done
fi

# Every option of --help is in the man page (written there with "\-" for "-"), and each
# page tells of its files and of the other programs.
for page in zqasm zqdis zqcoe; do
  for section in 'FILES' 'SEE ALSO'; do
    grep -q "^\.SH $section\$" "$prefix/share/man/man1/$page.1" ||
      { echo "man page of $page lacks $section"; exit 1; }
  done
done
programs="zqasm zqdis zqcoe"
[ -f "$build/tools/zqasm-lsp" ] && programs="$programs zqasm-lsp"
for program in $programs; do
  "$prefix/bin/$program" --help | grep -o -- '--\?-[A-Za-z][a-z-]*' | sort -u | while read -r option; do
    roff=$(printf '%s' "$option" | sed 's/-/\\-/g')
    grep -qF -- "$roff" "$prefix/share/man/man1/$program.1" ||
      { echo "man page of $program lacks $option"; exit 1; }
  done
done
echo "install check passed"
