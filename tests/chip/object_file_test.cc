#include "chip/object_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "services/run.h"
#include "test_support.h"

namespace zq {
namespace {

using zqtest::fileExists;
using zqtest::readFile;
using zqtest::writeFile;

// A run with output files in a temporary directory; host results start as BEEFh.
struct ObjectRun {
  ObjectRun(const char* chipName, int romTop, int tableTop)
      : params(zqtest::makeParams(dir.file("prog.asm"), romTop, tableTop)) {
    std::snprintf(params->chipName, sizeof params->chipName, "%s", chipName);
    params->codeEnd = params->tableRomUsed = 0xBEEF;
    run.params = params.get();
    run.source.programRomTop = romTop;
    run.source.bankedRom = romTop > 4096;
    run.segments.tableRomTop = tableTop;
    if (tableTop >= 0) run.segments.tableRom.assign(static_cast<size_t>(tableTop) + 1, 0xFFFF);
    run.files.objName = dir.file("prog.OBJ");
    run.files.tabName = dir.file("prog.TAB");
    run.files.ramName = dir.file("prog.RAM");
  }
  void record(int address, const char* code) {  // code text "LL HH"
    run.source.codeText = code;
    ASSERT_TRUE(recordInstruction(run, 2, address));
  }
  bool objectsWritten() { return fileExists(run.files.objName) || fileExists(run.files.tabName); }
  std::string obj() { return readFile(run.files.objName); }
  std::string tab() { return readFile(run.files.tabName); }

  zqtest::TempDir dir;
  std::unique_ptr<AssemblerParams> params;
  AssemblerRun run;
};

// Images of an earlier run go when this one has an error or stops (the RAM file is
// written either way, as the end-to-end cases show); without program ROM the image is
// the header alone.
TEST(ObjectFileTest, ErrorsLeaveNoObject) {
  for (int fatal = 0; fatal <= 1; ++fatal) {
    ObjectRun t("ZQ4460.1", 0xFFF, 3);
    writeFile(t.run.files.objName, "old");
    writeFile(t.run.files.tabName, "old");
    t.run.source.fatalError = fatal;
    t.run.diagnostics.errorCount = 1 - fatal;
    t.record(0, "34 12");
    writeObjectFiles(t.run);
    EXPECT_FALSE(t.objectsWritten()) << fatal;
    EXPECT_EQ(t.params->codeEnd, 0xBEEF);
  }
  ObjectRun empty("ZQ4460.1", -1, -1);
  writeObjectFiles(empty.run);
  EXPECT_EQ(readFile(empty.run.files.objName), "ZQ4460.1");
  EXPECT_EQ(readFile(empty.run.files.tabName), "ZQ4460.1");
  EXPECT_EQ(empty.params->codeEnd, 1);
}

// Killed by the file size limit halfway through the image, a run leaves no file under the
// image's name, not even a part of one.
TEST(ObjectFileDeathTest, KilledWriteLeavesNoPartialImage) {
  ObjectRun t("ZQ4460.1", 0xFFF, -1);
  const rlimit limit = {4096, 4096};
  auto writeUnderLimit = [&] {
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_DFL);
    writeObjectFiles(t.run);
    std::_Exit(0);
  };
  EXPECT_EXIT(writeUnderLimit(), ::testing::KilledBySignal(SIGXFSZ), "");
  EXPECT_FALSE(fileExists(t.run.files.objName));
}

// Without the file of model 4427 no image can be made: a fatal stop, never a success.
TEST(ObjectFileTest, Header44V09ComesFromZQ4427) {
  ObjectRun t("ZQ44V09.1", 1, -1);
  std::snprintf(t.params->chipDirectory, sizeof t.params->chipDirectory, "%s",
                t.dir.path().c_str());
  std::string message;
  setMessageSink([](const char* text, void* out) { *static_cast<std::string*>(out) = text; },
                 &message);
  writeObjectFiles(t.run);
  setMessageSink(nullptr, nullptr);
  EXPECT_EQ(message, "Assemble ERROR: : Can not open file " + t.dir.path() + "/ZQ4427.COE !");
  EXPECT_FALSE(t.objectsWritten());
  EXPECT_EQ(t.params->codeEnd, 0xBEEF);
  EXPECT_EQ(t.run.source.fatalError, 1);
  t.run.source.fatalError = 0;
  // Only the first 10 bytes of the file count.
  writeFile(t.dir.file("ZQ4427.COE"), "ZQ4427ABCDEFGH");
  writeObjectFiles(t.run);
  EXPECT_EQ(t.obj(), std::string("ZQ4427ABCD\0\0\0\0", 14));
  EXPECT_EQ(t.tab(), "ZQ4427ABCD");
  writeFile(t.dir.file("ZQ4427.COE"), std::string("ZQ4427.1\0\x05", 10));
  writeObjectFiles(t.run);
  EXPECT_EQ(t.tab(), "ZQ4427.1");
}

}  // namespace
}  // namespace zq
