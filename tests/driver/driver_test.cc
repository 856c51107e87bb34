// Whole runs through runAssembly with a real parameter block in a temporary directory.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

const char kFatalLine[] = "Fatal Error: .CHIP ZQxxxx ( Ex: .CHIP ZQ4460 ) MUST BE DEFINITION\n";
const char kNoErrors[] = "\n0 Error(s), 0 Warning(s)\n";

class DriverRun : public ::testing::Test {
 protected:
  void SetUp() override {
    zq::setMessageSink(
        [](const char* text, void* context) {
          static_cast<std::vector<std::string>*>(context)->push_back(text);
        },
        &messages_);
    params_ = zqtest::makeParams(dir_.file("main.asm"));
  }
  void TearDown() override { zq::setMessageSink(nullptr, nullptr); }

  void setSlot(char* slot, const std::string& text) {
    std::snprintf(slot, ZQASM_PATH_SLOT, "%s", text.c_str());
  }
  // Real path of a file of the directory, as the run names it.
  std::string real(const std::string& name) { return zq::fullPath(dir_.file(name)); }
  std::string output(const char* extension) {
    return zqtest::readFile(dir_.file("main") + extension);
  }
  int run(const std::string& source) {
    zqtest::writeFile(dir_.file("main.asm"), source);
    return zq::runAssembly(params_.get());
  }

  zqtest::TempDir dir_;
  std::unique_ptr<AssemblerParams> params_;
  std::vector<std::string> messages_;
};

TEST_F(DriverRun, WithoutChipStopsAfterPassZero) {
  struct Case {
    std::string source;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"; no chip here\n NOP\n", kFatalLine},
      // With a label in front .CHIP is not found.
      {"L: .CHIP ZQ4460\n", kFatalLine},
      {"; x\n.CHIP ZQ9999\n",
       std::string("ERROR : CHIP TYPE NO DEFINITION IN LINE 2\n") + kFatalLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    messages_.clear();
    zqtest::writeFile(dir_.file("main.JMP"), "stale");
    EXPECT_EQ(run(c.source), 1);
    EXPECT_EQ(output(".ERR"), c.error);
    EXPECT_EQ(output(".LST"), "");
    EXPECT_EQ(messages_, std::vector<std::string>{"Occurred FATAL ERROR !"});
    EXPECT_FALSE(zqtest::fileExists(dir_.file("main.JMP")));
  }
}

TEST_F(DriverRun, PreparationFailures) {
  EXPECT_EQ(zq::runAssembly(params_.get()), -1);  // no source
  EXPECT_TRUE(messages_.empty());

  std::filesystem::create_directory(dir_.file("main.LST"));
  EXPECT_EQ(run(".CHIP ZQ4460\n"), -1);
  EXPECT_EQ(messages_,
            std::vector<std::string>{"File \"" + real("main.LST") + "\" create failed !\n"});

  EXPECT_EQ(zq::runAssembly(nullptr), -1);
}

TEST_F(DriverRun, AbsurdTableRomIsAnAllocationFailure) {
  params_->tableRomTop = 0x7FFFFFFF;
  EXPECT_EQ(run(".CHIP ZQ4460\n"), 0);
  EXPECT_EQ(messages_, std::vector<std::string>{"Memory alloc fail (1)\n"});
}

TEST_F(DriverRun, CommentsOriginsAndBlankLines) {
  EXPECT_EQ(run("; demo program\n"
                "\n"
                " .CHIP ZQ4460\n"
                "ORG 10H\n"
                "   \n"
                "org 20h ; second origin\n"
                "\t; indented comment\n"),
            1);
  EXPECT_EQ(output(".LST"),
            "00001              ; demo program\n"
            "0002   \n"
            "00003               .CHIP ZQ4460\n"
            "    4 0010 **** NEW ADDR ****  ORG 10H\n"
            "00005                 \n"
            "    6 0020 **** NEW ADDR ****  org 20h ; second origin\n"
            "00007              \t; indented comment\n"
            "\n0 Error(s), 0 Warning(s)\n");
  EXPECT_EQ(output(".ERR"), kNoErrors);
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(zqtest::fileExists(dir_.file("main.EQU")));
}

TEST_F(DriverRun, IncludesThroughSlotsAndPaths) {
  std::filesystem::create_directory(dir_.file("inc"));
  std::filesystem::create_directory(dir_.file("more"));
  std::filesystem::create_directory(dir_.file("sub"));
  zqtest::writeFile(dir_.file("inc/defs.inc"), "; in defs\nORG 40H\n");
  zqtest::writeFile(dir_.file("more/other.inc"), "; other\n");
  zqtest::writeFile(dir_.file("sub/deep.inc"), "; deep\n#include <defs.inc>\n");
  setSlot(params_->includeDir1, dir_.file("inc"));
  setSlot(params_->includeDirs[0], dir_.file("more"));
  const std::string deepLine = ".include \"" + dir_.path() + "\\sub\\deep.inc\"\n";
  const std::string defs = real("inc/defs.inc");

  EXPECT_EQ(run(".CHIP ZQ4460\n"
                "#include <defs.inc>\n"
                "#include \"other.inc\"\n" +
                deepLine +
                "#include <nothere.inc>\n"
                "L1 ORG 30H\n"
                "; end\n"),
            1);
  EXPECT_EQ(output(".LST"),
            "00001              .CHIP ZQ4460\n"
            "0002   #include <defs.inc> (" +
                defs +
                ")\n"
                "00001+              ; in defs\n"
                "    2 0040 **** NEW ADDR ****  ORG 40H\n"
                "0003   #include \"other.inc\" (" +
                real("more/other.inc") +
                ")\n"
                "00001+              ; other\n"
                "0004   " +
                deepLine +
                "00001+              ; deep\n"
                "0002+  #include <defs.inc> (" +
                defs +
                ")\n"
                "00001++              ; in defs\n"
                "    2 0040 **** NEW ADDR ****  ORG 40H\n"
                "0005   #include <nothere.inc>\n"
                "               <<< NON-EXISTED INCLUDE FILE >>>\n"
                "    6        L1 ORG 30H\n"
                "               <<< ILLEGAL ORG DEFINE >>>\n"
                "00007              ; end\n"
                "\n2 Error(s), 0 Warning(s)\n");
  const std::string main = real("main.asm");
  EXPECT_EQ(output(".ERR"), main + "(5) : Error 36 ->  NON-EXISTED INCLUDE FILE\n" + main +
                                "(6) : Error 8 ->  ILLEGAL ORG DEFINE\n"
                                "\n2 Error(s), 0 Warning(s)\n");
}

TEST_F(DriverRun, ChipFoundInsideInclude) {
  std::filesystem::create_directory(dir_.file("inc"));
  zqtest::writeFile(dir_.file("inc/chip.inc"), "; chip\n.chip ZQ4460\n");
  setSlot(params_->includeDir2, dir_.file("inc"));
  EXPECT_EQ(run("#include <chip.inc>\n"), 1);
  EXPECT_EQ(output(".ERR"), kNoErrors);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(DriverRun, OverLongPhysicalLine) {
  // 2,000 characters: 1,053 of them make line 2 (error 67), the rest is line 3.
  EXPECT_EQ(run(".CHIP ZQ4460\n" + std::string(1999, ';') + "\n"), 1);
  EXPECT_EQ(output(".LST"),
            "00001              .CHIP ZQ4460\n"
            "0002   " +
                std::string(1053, ';') +
                "               <<< LINE CHAR CAN NOT GREAT 1024 BYTES >>>\n"
                "00003              " +
                std::string(946, ';') +
                "\n"
                "\n1 Error(s), 0 Warning(s)\n");
  EXPECT_EQ(output(".ERR"), real("main.asm") +
                                "(2) : Error 67 ->  LINE CHAR CAN NOT GREAT 1024 BYTES\n" +
                                "\n1 Error(s), 0 Warning(s)\n");
}

TEST_F(DriverRun, BadInputNeverCrashes) {
  std::string garbage;
  uint32_t seed = 12345;
  for (int i = 0; i < 30000; ++i) {
    seed = seed * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>(seed >> 16));
  }
  std::string everyByte;
  for (int round = 0; round < 20; ++round)
    for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<char>(b));
  setSlot(params_->includeDir1, dir_.path());
  const std::vector<std::string> sources = {
      ".CHIP ZQ4460\n" + garbage,
      ".CHIP ZQ4460\n" + everyByte,
      ".CHIP ZQ4460\n" + std::string(5000, 'A') + "\n" + std::string(3000, ' ') + "X\n",
      ".CHIP ZQ4460\n#include\n#include <>\n.include \"\"\n#include <main.asm>\n",
      garbage,
  };
  for (const std::string& source : sources) {
    EXPECT_EQ(run(source), 1);
    std::string errors = output(".ERR");
    EXPECT_FALSE(errors.empty());
  }
}

}  // namespace
