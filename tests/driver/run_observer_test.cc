#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "test_support.h"
#include "zqasm/assembler.h"
#include "zqasm/observer.h"

namespace {

using zqtest::writeFile;

// Each diagnostic as "FILE:LINE [STATEMENT FILE:LINE] #N MESSAGE {OTHER FILE:LINE}", then
// "(MACRO HEAD FILE:LINE < CALL FILE:LINE)" per expansion; the test folder is cut off.
struct Seen {
  std::string folder, text;
};

void collect(void* context, const ZqasmDiagnostic* d) {
  Seen& seen = *static_cast<Seen*>(context);
  auto name = [&seen](const char* file) {
    std::string n = file;
    return n.compare(0, seen.folder.size(), seen.folder) == 0 ? n.substr(seen.folder.size()) : n;
  };
  seen.text += name(d->file) + ":" + std::to_string(d->line) + " [" + name(d->statementFile) + ":" +
               std::to_string(d->statementLine) + "] #" + std::to_string(d->number) + " " +
               d->message;
  if (*d->otherFile)
    seen.text += " {" + name(d->otherFile) + ":" + std::to_string(d->otherLine) + "}";
  for (size_t i = 0; i < d->expansionCount; ++i) {
    const ZqasmExpansion& e = d->expansions[i];
    seen.text += std::string(" (") + e.macro + " " + name(e.headFile) + ":" +
                 std::to_string(e.headLine) + " < " + name(e.callFile) + ":" +
                 std::to_string(e.callLine) + ")";
  }
  seen.text += "\n";
}

// What an observer learns beyond the error file: the culprit of a line's first error of
// each number (never one of an earlier line), the place of a first definition in another
// file, include names as written, the body line and call of an expansion.
TEST(RunObserverTest, DiagnosticsNameTheirCulprits) {
  zqtest::TempDir dir;
  writeFile(dir.file("one.inc"), "Start: NOP\n");
  writeFile(dir.file("m.asm"),
            ".CHIP ZQ4460\n ORG 0\n #include <one.inc>\nSTART: NOP\n JMP a+b\n JMP c\n"
            "X EQU 1 2\n #include \"sub/x.inc\"\n #include <y.inc>\n"
            "M .MACRO\n NOP\n CALL inner\n .ENDM\n M\n");
  Seen seen{zq::fullPath(dir.path()) + "/", ""};
  ZqasmRunObserver observer{};
  observer.context = &seen;
  observer.diagnostic = collect;
  auto params = zqtest::makeParams(dir.file("m.asm"));
  std::strcpy(params->includeDir1, dir.path().c_str());
  ZqasmSetRunObserver(&observer);
  EXPECT_EQ(Run44Assembler(params.get()), 1);
  std::memset(params->includeDir1, 0, sizeof params->includeDir1);
  EXPECT_EQ(Run44Assembler(params.get()), 1);
  ZqasmSetRunObserver(nullptr);
  const std::string run =
      "m.asm:4 [m.asm:4] #5 duplicate label 'START' {one.inc:1}\n"
      "m.asm:5 [m.asm:5] #12 undefined symbol 'a'\n"
      "m.asm:6 [m.asm:6] #12 undefined symbol 'c'\n"
      "m.asm:7 [m.asm:7] #20 \n"
      "m.asm:8 [m.asm:8] #36 include file 'sub/x.inc' not found relative to the current "
      "directory\n";
  const std::string macro =
      "m.asm:14 [m.asm:12] #12 undefined symbol 'inner' (M m.asm:10 < m.asm:14)\n";
  EXPECT_EQ(seen.text, run + "m.asm:9 [m.asm:9] #36 include file 'y.inc' not found in " +
                           dir.path() + "\n" + macro +
                           "m.asm:3 [m.asm:3] #36 include file 'one.inc' not found: no include "
                           "directory given\n" +
                           run.substr(run.find("m.asm:5")) +
                           "m.asm:9 [m.asm:9] #36 include file 'y.inc' not found: no include "
                           "directory given\n" +
                           macro);
}

}  // namespace
