#include "target/object_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "driver/run.h"
#include "platform/platform.h"
#include "test_support.h"

namespace zq {
namespace {

using zqtest::fileExists;
using zqtest::readFile;
using zqtest::TempDir;
using zqtest::writeFile;

// A run whose output names point into a temporary directory, with a chip name, ROM tops
// and the host block filled in.
struct ObjectRun {
  ObjectRun(const char* chipName, int romTop, int tableTop)
      : params(zqtest::makeParams(dir.file("prog.asm"), romTop, tableTop)) {
    std::snprintf(params->chipName, sizeof params->chipName, "%s", chipName);
    params->codeEnd = 0xBEEF;
    params->tableRomUsed = 0xBEEF;
    run.params = params.get();
    run.source.programRomTop = romTop;
    run.source.bankedRom = romTop > 4096;
    run.segments.tableRomTop = tableTop;
    if (tableTop >= 0) run.segments.tableRom.assign(static_cast<size_t>(tableTop) + 1, 0xFFFF);
    run.files.objName = dir.file("prog.OBJ");
    run.files.tabName = dir.file("prog.TAB");
    run.files.ramName = dir.file("prog.RAM");
  }
  // Records a 2-byte instruction whose code text is `code` ("LL HH").
  void record(int address, const char* code) {
    run.source.codeText = code;
    ASSERT_TRUE(recordInstruction(run, 2, address));
  }

  TempDir dir;
  std::unique_ptr<AssemblerParams> params;
  AssemblerRun run;
};

TEST(ObjectFileTest, RecordsSymLinesAndOrgCheck) {
  TempDir dir;
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

  const auto& records = run.object.insertAddressTable;
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].address, 0x1F);
  EXPECT_EQ(records[0].byteCount, 2);
  EXPECT_EQ(records[0].bytes[0], 0x3E);
  EXPECT_EQ(records[0].bytes[1], 0x12);
  EXPECT_EQ(records[1].byteCount, 0);
  EXPECT_EQ(records[2].bytes[0], 0x0A);
  EXPECT_EQ(records[2].bytes[1], 0xFF);

  const struct {
    int32_t counter;
    int used;
  } probes[] = {{0x1F, 1}, {0x2ABC, 1}, {0x2FFF, 1}, {0x1001F, 1}, {0x20, 0}, {0, 0}};
  for (const auto& p : probes) {
    run.source.locationCounter = p.counter;
    EXPECT_EQ(orgAddressUsed(run), p.used) << std::hex << p.counter;
  }
}

TEST(ObjectFileTest, WritesImageAndTableWithHeader) {
  ObjectRun t("ZQ4460.1", 0xFFF, -1);
  t.record(0, "34 12");
  t.record(2, "CD AB");
  t.record(2, "78 56");  // a later record at the same address wins
  t.run.source.lastCodeAddress = 2;
  writeObjectFiles(t.run);

  std::string body(8192, '\0');
  body[0] = '\x34';
  body[1] = '\x12';
  body[4] = '\x78';
  body[5] = '\x56';
  EXPECT_EQ(readFile(t.run.files.objName), "ZQ4460.1" + body);
  EXPECT_EQ(readFile(t.run.files.tabName), "ZQ4460.1");  // no table ROM: header only
  EXPECT_EQ(t.params->codeEnd, 3);
  EXPECT_EQ(t.params->tableRomUsed, 0);
}

TEST(ObjectFileTest, FillsFor44W05AndSkipsRecordsBeyondRom) {
  ObjectRun t("zq44w05.A", 3, -1);
  t.record(1, "00 00");
  t.record(4, "11 22");  // beyond the ROM top: never written
  writeObjectFiles(t.run);
  EXPECT_EQ(readFile(t.run.files.objName),
            std::string("zq44w05.A\xFF\xFF\0\0\xFF\xFF\xFF\xFF", 17));
}

TEST(ObjectFileTest, TableRomUse) {
  struct Case {
    std::vector<uint16_t> cells;
    std::string bytes;
    uint16_t used;
  };
  const Case cases[] = {
      {{0x41, 0xFFFF, 0xFFFF, 0xFFFF}, std::string("\x41\0\0\0", 4), 1},
      {{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, std::string(4, '\0'), 0},
      {{0x00, 0xFFFF, 0x07, 0x00}, std::string("\0\0\x07\0", 4), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.used);
    ObjectRun t("ZQ4460.1", 0, 3);
    t.run.segments.tableRom = c.cells;
    writeObjectFiles(t.run);
    EXPECT_EQ(readFile(t.run.files.tabName), "ZQ4460.1" + c.bytes);
    EXPECT_EQ(t.params->tableRomUsed, c.used);
    EXPECT_EQ(t.params->codeEnd, 1);
  }
}

TEST(ObjectFileTest, ErrorsLeaveNoObjectButARamFile) {
  const char* stops[] = {"error", "fatal"};
  for (const char* stop : stops) {
    SCOPED_TRACE(stop);
    ObjectRun t("ZQ4460.1", 0xFFF, 3);
    writeFile(t.run.files.objName, "old");
    writeFile(t.run.files.tabName, "old");
    if (std::string(stop) == "error")
      t.run.diagnostics.errorCount = 1;
    else
      t.run.source.fatalError = 1;
    t.run.segments.ramNames.resize(3);
    t.run.segments.ramNames[1] = {0x10, 4, "COUNT"};
    t.run.segments.ramNames[2] = {0x123, 12, "BUFFER"};
    t.run.segments.ramNameCount = 2;
    t.record(0, "34 12");
    writeObjectFiles(t.run);

    EXPECT_FALSE(fileExists(t.run.files.objName));
    EXPECT_FALSE(fileExists(t.run.files.tabName));
    EXPECT_EQ(t.params->codeEnd, 0xBEEF);
    EXPECT_EQ(readFile(t.run.files.ramName),
              "Space          RAM  NAME                 Addr\n"
              "=====  ================================  ====\n"
              "    4  " +
                  std::string(27, ' ') +
                  "COUNT  010h\n"
                  "   12  " +
                  std::string(26, ' ') + "BUFFER  123h\n");
  }
}

TEST(ObjectFileTest, AbsurdRomTopWritesNothing) {
  ObjectRun t("ZQ4460.1", -1, -1);
  writeFile(t.run.files.objName, "old");
  writeObjectFiles(t.run);
  EXPECT_FALSE(fileExists(t.run.files.objName));
  EXPECT_FALSE(fileExists(t.run.files.tabName));
  EXPECT_EQ(t.params->codeEnd, 0xBEEF);
}

TEST(ObjectFileTest, BankedImageCoversWholeRom) {
  ObjectRun t("ZQ4460.1", 0x2FFF, -1);
  t.record(0x2FFF, "01 80");
  t.run.source.lastCodeAddress = 0x2FFF;
  writeObjectFiles(t.run);
  std::string obj = readFile(t.run.files.objName);
  ASSERT_EQ(obj.size(), 8u + 0x6000u);
  EXPECT_EQ(obj.substr(obj.size() - 2), "\x01\x80");
  EXPECT_EQ(t.params->codeEnd, 0x3000);
}

TEST(ObjectFileTest, Header44V09ComesFromZQ4427) {
  ObjectRun t("ZQ44V09.1", 1, -1);
  TempDir chips;
  std::snprintf(t.params->chipDirectory, sizeof t.params->chipDirectory, "%s",
                chips.path().c_str());
  std::string path = chips.path() + "\\ZQ4427.COE";

  std::string message;
  setMessageSink(
      [](const char* text, void* context) { *static_cast<std::string*>(context) = text; },
      &message);
  writeObjectFiles(t.run);
  setMessageSink(nullptr, nullptr);
  EXPECT_EQ(message, "Assemble ERROR: : Can not open file " + path + " !");
  EXPECT_FALSE(fileExists(t.run.files.objName));
  EXPECT_FALSE(fileExists(t.run.files.tabName));
  EXPECT_EQ(t.params->codeEnd, 0xBEEF);

  // Only the first 10 bytes of the file count.
  writeFile(chips.file("ZQ4427.COE"), "ZQ4427ABCDEFGH");
  writeObjectFiles(t.run);
  EXPECT_EQ(readFile(t.run.files.objName), std::string("ZQ4427ABCD\0\0\0\0", 14));
  EXPECT_EQ(readFile(t.run.files.tabName), "ZQ4427ABCD");
  writeFile(chips.file("ZQ4427.COE"), std::string("ZQ4427.1\0\x05", 10));
  writeObjectFiles(t.run);
  EXPECT_EQ(readFile(t.run.files.tabName), "ZQ4427.1");
}

}  // namespace
}  // namespace zq
