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

namespace {

// A run its observer stops: asked before every line, it ends at the first line it is
// told to stop at (here the second body line of a macro in pass 2), tells of nothing
// after it, shows no message and writes no image and no totals. The same run not
// stopped goes to its end.
struct Stopper {
  size_t stopAfterWords = 0;  // 0: never
  size_t words = 0, asked = 0, askedAfterStop = 0, images = 0, messages = 0;
  bool stopped = false;
};

TEST(RunObserverTest, StoppedRun) {
  zqtest::TempDir dir;
  writeFile(dir.file("m.asm"),
            ".CHIP ZQ4460\n NOP\nM .MACRO\n NOP\n NOP\n .ENDM\n M\n NOP\n");
  ZqasmRunObserver observer{};
  observer.code = [](void* context, const ZqasmCode*) { ++static_cast<Stopper*>(context)->words; };
  observer.image = [](void* context, const ZqasmImage*) {
    ++static_cast<Stopper*>(context)->images;
  };
  observer.shouldStop = [](void* context) {
    Stopper& s = *static_cast<Stopper*>(context);
    if (s.stopped) ++s.askedAfterStop;
    ++s.asked;
    s.stopped = s.stopAfterWords > 0 && s.words >= s.stopAfterWords;
    return s.stopped ? 1 : 0;
  };
  auto params = zqtest::makeParams(dir.file("m.asm"));
  for (size_t stopAfter : {size_t{2}, size_t{0}}) {
    Stopper s;
    s.stopAfterWords = stopAfter;
    observer.context = &s;
    ZqasmSetRunObserver(&observer);
    ZqasmSetMessageSink([](const char*, void* c) { ++static_cast<Stopper*>(c)->messages; }, &s);
    EXPECT_EQ(Run44Assembler(params.get()), 1);
    ZqasmSetMessageSink(nullptr, nullptr);
    ZqasmSetRunObserver(nullptr);
    std::string errors;
    zq::readInputFile(dir.file("m.ERR"), 1 << 20, errors);
    std::string image;
    const bool written =
        zq::readInputFile(dir.file("m.OBJ"), 1 << 20, image) == zq::InputFile::kRead;
    EXPECT_EQ(s.messages, 0u);
    EXPECT_EQ(s.askedAfterStop, 0u);
    if (stopAfter > 0) {
      EXPECT_EQ(s.words, 2u);  // the NOP and the first of the body; not the second
      EXPECT_EQ(s.images, 0u);
      EXPECT_FALSE(written);
      EXPECT_EQ(errors, "");
    } else {
      // Passes 0 to 2: 3 + 8 + 8 lines read and 2 + 2 body lines.
      EXPECT_EQ(s.asked, 3u + 8 + 8 + 2 + 2);
      EXPECT_EQ(s.words, 4u);
      EXPECT_EQ(s.images, 1u);
      EXPECT_TRUE(written);
      EXPECT_EQ(errors, "\n0 Error(s), 0 Warning(s)\n");
    }
  }
}

}  // namespace
