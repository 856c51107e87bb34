// Kill points of the image files. The test program is linked with --wrap=rename and
// --wrap=unlink, so that a forked run can be ended right before its k-th move or removal
// of a file, as a kill at that moment would end it; the folder is then looked at.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"
#include "zqasm/assembler.h"

#ifdef ZQASM_TEST_WRAPPED_FILE_CALLS
namespace {
// In a forked run only: the file call before which the process ends (0 none), and the
// calls so far.
int stopBefore = 0;
int fileCalls = 0;
constexpr int kKilled = 77;

void maybeStop() {
  if (stopBefore > 0 && ++fileCalls == stopBefore) _exit(kKilled);
}
}  // namespace

extern "C" int __real_rename(const char* from, const char* to);
extern "C" int __real_unlink(const char* name);
extern "C" int __wrap_rename(const char* from, const char* to) {
  maybeStop();
  return __real_rename(from, to);
}
extern "C" int __wrap_unlink(const char* name) {
  maybeStop();
  return __real_unlink(name);
}
#endif

namespace {

using zqtest::readFile;
using zqtest::writeFile;

const char kOld[] = ".CHIP ZQ4460\n .TABLE\n 0F0h 5\n .ENDT\n ORG 0\n NOP\n";
const char kNew[] = ".CHIP ZQ4460\n .TABLE\n 0F0h 6\n 0F1h 7\n .ENDT\n ORG 0\n INC 3\n NOP\n";
const char kWithErrors[] = ".CHIP ZQ4460\n ORG 0\n JMP nowhere\n";

// The contents of the two pairs, "" for a missing file.
struct Images {
  std::string obj, hex, tab, tabHex;
  bool operator==(const Images& o) const {
    return obj == o.obj && hex == o.hex && tab == o.tab && tabHex == o.tabHex;
  }
};

class ImageCommitTest : public ::testing::Test {
 protected:
  void SetUp() override { ZqasmSetImageOutputs(nullptr, 1); }
  void TearDown() override { ZqasmSetImageOutputs(nullptr, 0); }

  int assemble(const char* source) {
    writeFile(dir_.file("p.asm"), source);
    auto params = zqtest::makeParams(dir_.file("p.asm"), 0xFFF, 0xFF);
    return Run44Assembler(params.get());
  }
  Images images() const {
    return {readFile(dir_.file("p.OBJ")), readFile(dir_.file("p.HEX")),
            readFile(dir_.file("p.TAB")), readFile(dir_.file("p.TAB.HEX"))};
  }
  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      if (entry.path().filename().string().find(".tmp") != std::string::npos)
        found.push_back(entry.path().filename().string());
    return found;
  }

  // Runs `source` in a child that ends before its file call `k`; true when it was ended
  // there, false when it finished first.
  bool killedRun(const char* source, int k) {
#ifdef ZQASM_TEST_WRAPPED_FILE_CALLS
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      stopBefore = k;
      assemble(source);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    return WIFEXITED(status) && WEXITSTATUS(status) == kKilled;
#else
    (void)source;
    (void)k;
    return false;
#endif
  }

  // Kills a run of `source` at each file call in turn, starting from the images of kOld
  // each time: every pair is the old one or `after` (no image at all: ""), but for the
  // one kill between the moves or removals of an image and its HEX form. The run that
  // restores the old images removes what the killed one left under temporary names.
  void killAtEveryStep(const char* source, const Images& before, const Images& after) {
    int mixedProgram = 0, mixedTable = 0, k = 1;
    for (;; ++k) {
      ASSERT_LT(k, 200);
      ASSERT_EQ(assemble(kOld), 1);
      ASSERT_TRUE(images() == before);
      EXPECT_EQ(temporaries(), std::vector<std::string>()) << "before kill " << k;
      if (!killedRun(source, k)) break;
      const Images now = images();
      const bool programOld = now.obj == before.obj && now.hex == before.hex;
      const bool programNew = now.obj == after.obj && now.hex == after.hex;
      const bool tableOld = now.tab == before.tab && now.tabHex == before.tabHex;
      const bool tableNew = now.tab == after.tab && now.tabHex == after.tabHex;
      mixedProgram += !programOld && !programNew;
      mixedTable += !tableOld && !tableNew;
      // Between the two moves the image is the new one, its HEX form still the old.
      if (!programOld && !programNew) {
        EXPECT_TRUE(now.obj == after.obj && now.hex == before.hex) << "kill " << k;
      }
      if (!tableOld && !tableNew) {
        EXPECT_TRUE(now.tab == after.tab && now.tabHex == before.tabHex) << "kill " << k;
      }
    }
    EXPECT_GT(k, 4);  // the four images were moved or removed before the run finished
    EXPECT_LE(mixedProgram, 1);
    EXPECT_LE(mixedTable, 1);
    EXPECT_TRUE(images() == after);
  }

  zqtest::TempDir dir_;
};

TEST_F(ImageCommitTest, KillLeavesTheOldPairOrTheNewOne) {
#ifndef ZQASM_TEST_WRAPPED_FILE_CALLS
  GTEST_SKIP() << "needs a linker with --wrap";
#endif
  ASSERT_EQ(assemble(kNew), 1);
  const Images fresh = images();
  ASSERT_EQ(assemble(kOld), 1);
  const Images old = images();
  ASSERT_FALSE(fresh.hex.empty() || fresh.tabHex.empty());
  ASSERT_NE(fresh.obj, old.obj);
  ASSERT_NE(fresh.hex, old.hex);
  ASSERT_NE(fresh.tab, old.tab);
  ASSERT_NE(fresh.tabHex, old.tabHex);
  killAtEveryStep(kNew, old, fresh);
  // A run with errors leaves no image, its HEX forms included.
  killAtEveryStep(kWithErrors, old, Images());
}

}  // namespace
