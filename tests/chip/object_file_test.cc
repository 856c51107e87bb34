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

#include "driver/run.h"
#include "platform/platform.h"
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

TEST(ObjectFileTest, RecordsSymLinesAndOrgCheck) {
  zqtest::TempDir dir;
  AssemblerRun run;
  run.source.locationCounter = 0x1F;
  EXPECT_EQ(orgAddressUsed(run), 0);  // no records yet
  run.files.symbol = std::fopen(dir.file("prog.SYM").c_str(), "w");
  ASSERT_NE(run.files.symbol, nullptr);
  run.source.listingLineCount = 4;
  run.source.codeText = "3E 12      ";
  ASSERT_TRUE(recordInstruction(run, 2, 0x1F));
  run.source.listingLineCount = 9;
  ASSERT_TRUE(recordInstruction(run, 0, 0x2ABC));  // no bytes: no ".SYM" line
  run.source.codeText = "0A FF";
  ASSERT_TRUE(recordInstruction(run, 2, 0x2FFF));
  std::fclose(run.files.symbol);
  run.files.symbol = nullptr;
  EXPECT_EQ(readFile(dir.file("prog.SYM")), "0001F 5\n02FFF 10\n");
  const auto& r = run.object.insertAddressTable;
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ((std::vector<int>{r[0].address, r[0].byteCount, r[0].bytes[0], r[0].bytes[1],
                              r[1].byteCount, r[2].bytes[0], r[2].bytes[1]}),
            (std::vector<int>{0x1F, 2, 0x3E, 0x12, 0, 0x0A, 0xFF}));
  const std::pair<int32_t, int> probes[] = {{0x1F, 1},    {0x2ABC, 1}, {0x2FFF, 1},
                                            {0x1001F, 1}, {0x20, 0},   {0, 0}};
  for (const auto& p : probes) {
    run.source.locationCounter = p.first;
    EXPECT_EQ(orgAddressUsed(run), p.second) << std::hex << p.first;
  }
}

TEST(ObjectFileTest, ImageBytes) {
  ObjectRun t("ZQ4460.1", 0xFFF, -1);
  t.record(0, "34 12");
  t.record(2, "CD AB");
  t.record(2, "78 56");  // a later record at the same address wins
  t.run.source.lastCodeAddress = 2;
  writeObjectFiles(t.run);
  std::string body(8192, '\0');
  body.replace(0, 6, std::string("\x34\x12\0\0\x78\x56", 6));
  EXPECT_EQ(t.obj(), "ZQ4460.1" + body);
  EXPECT_EQ(t.params->codeEnd, 3);

  ObjectRun w("zq44w05.A", 3, -1);  // 44W05 fills with FFh; records beyond the ROM are dropped
  w.record(1, "00 00");
  w.record(4, "11 22");
  writeObjectFiles(w.run);
  EXPECT_EQ(w.obj(), std::string("zq44w05.A\xFF\xFF\0\0\xFF\xFF\xFF\xFF", 17));

  ObjectRun b("ZQ4460.1", 0x2FFF, -1);  // banked: the image covers the whole ROM
  b.record(0x2FFF, "01 80");
  b.run.source.lastCodeAddress = 0x2FFF;
  writeObjectFiles(b.run);
  std::string obj = b.obj();
  ASSERT_EQ(obj.size(), 8u + 0x6000u);
  EXPECT_EQ(obj.substr(obj.size() - 2), "\x01\x80");
  EXPECT_EQ(b.params->codeEnd, 0x3000);
}

TEST(ObjectFileTest, TableRomUse) {
  // clang-format off
  struct Case { std::vector<uint16_t> cells; std::string bytes; uint16_t used; };
  const Case cases[] = {{{0x41, 0xFFFF, 0xFFFF, 0xFFFF}, std::string("\x41\0\0\0", 4), 1},
                        {{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, std::string(4, '\0'), 0},
                        {{0x00, 0xFFFF, 0x07, 0x00}, std::string("\0\0\x07\0", 4), 3}};
  // clang-format on
  for (const Case& c : cases) {
    ObjectRun t("ZQ4460.1", 0, 3);
    t.run.segments.tableRom = c.cells;
    writeObjectFiles(t.run);
    EXPECT_EQ(t.tab(), "ZQ4460.1" + c.bytes) << c.used;
    EXPECT_EQ(t.params->tableRomUsed, c.used);
    EXPECT_EQ(t.params->codeEnd, 1);
  }
}

TEST(ObjectFileTest, ErrorsLeaveNoObjectButARamFile) {
  for (int fatal = 0; fatal <= 1; ++fatal) {
    ObjectRun t("ZQ4460.1", 0xFFF, 3);
    writeFile(t.run.files.objName, "old");
    writeFile(t.run.files.tabName, "old");
    t.run.source.fatalError = fatal;
    t.run.diagnostics.errorCount = 1 - fatal;
    t.run.segments.ramNames = {{}, {0x10, 4, "COUNT"}, {0x123, 12, "BUFFER"}};
    t.run.segments.ramNameCount = 2;
    t.record(0, "34 12");
    writeObjectFiles(t.run);
    EXPECT_FALSE(t.objectsWritten()) << fatal;
    EXPECT_EQ(t.params->codeEnd, 0xBEEF);
    EXPECT_EQ(readFile(t.run.files.ramName),
              "Space          RAM  NAME                 Addr\n"
              "=====  ================================  ====\n"
              "    4                             COUNT  010h\n"
              "   12                            BUFFER  123h\n");
  }
  // A top beyond the 16-bit address space writes nothing; a top of -1 (no program ROM)
  // writes the header alone and reports the sizes.
  ObjectRun absurd("ZQ4460.1", 0x10000, -1);
  writeFile(absurd.run.files.objName, "old");
  writeObjectFiles(absurd.run);
  EXPECT_FALSE(absurd.objectsWritten());
  EXPECT_EQ(absurd.params->codeEnd, 0xBEEF);
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
  EXPECT_EQ(message, "Assemble ERROR: : Can not open file " + t.dir.path() + "\\ZQ4427.COE !");
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
