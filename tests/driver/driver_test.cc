// Whole runs through runAssembly with a real parameter block in a temporary directory.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "directives/macro.h"
#include "platform/platform.h"
#include "services/persistent_settings.h"
#include "test_support.h"

namespace {

using Messages = std::vector<std::string>;
const char kFatalLine[] = "Fatal Error: .CHIP ZQxxxx ( Ex: .CHIP ZQ4460 ) MUST BE DEFINITION\n";
const char kNoErrors[] = "\n0 Error(s), 0 Warning(s)\n";

class DriverRun : public ::testing::Test {
 protected:
  void SetUp() override {
    zq::setMessageSink(
        [](const char* text, void* context) { static_cast<Messages*>(context)->push_back(text); },
        &messages_);
    params_ = zqtest::makeParams(dir_.file("main.asm"));
  }
  void TearDown() override { zq::setMessageSink(nullptr, nullptr); }

  // `text` with each "$D" replaced by the directory's real path, as the run names it.
  std::string inDir(std::string text) {
    const std::string dir = zq::fullPath(dir_.path());
    for (size_t at = text.find("$D"); at != std::string::npos; at = text.find("$D", at))
      text.replace(at, 2, dir);
    return text;
  }
  std::string output(const char* extension) {
    return zqtest::readFile(dir_.file("main") + extension);
  }
  int run(const std::string& source) {
    zqtest::writeFile(dir_.file("main.asm"), source);
    return zq::runAssembly(params_.get());
  }

  zqtest::TempDir dir_;
  std::unique_ptr<AssemblerParams> params_;
  Messages messages_;
};

TEST_F(DriverRun, EarlyExits) {
  EXPECT_EQ(zq::runAssembly(params_.get()), -1);  // no source: no message
  EXPECT_TRUE(messages_.empty());

  std::filesystem::create_directory(dir_.file("main.LST"));
  EXPECT_EQ(run(".CHIP ZQ4460\n"), -1);
  EXPECT_EQ(messages_, Messages{inDir("File \"$D/main.LST\" create failed !\n")});

  messages_.clear();
  std::filesystem::remove(dir_.file("main.LST"));
  params_->tableRomTop = 0x7FFFFFFF;
  EXPECT_EQ(run(".CHIP ZQ4460\n"), 0);
  EXPECT_EQ(messages_, Messages{"Memory alloc fail (1)\n"});
}

// Every stop of pass 0 or 1 leaves its text, and nothing else, in the error file and the
// listing, and ends with the fatal message instead of the totals. A label hides .CHIP;
// an unknown chip adds its own line. The stale ".JMP" goes either way.
TEST_F(DriverRun, FatalStopsAreWrittenToErrorFileAndListing) {
  std::string labels = ".CHIP ZQ4460\n", constants = labels, macros = labels;
  for (int k = 0; k <= 8192; ++k) labels += "L" + std::to_string(k) + ":\n";
  for (int k = 0; k <= 4096; ++k) constants += "C" + std::to_string(k) + " EQU 1\n";
  for (int k = 0; k <= 256; ++k) macros += "M" + std::to_string(k) + " .MACRO\n .ENDM\n";
  const char kConstants[] =
      "CONSTANT (C4096)\nDefine quantities CAN'T OVER 4096 ( line=4098 )\n"
      "Compiler ABORT.\n";
  struct Case {
    std::string source, message, text;  // message "" when only the fatal message is shown
  };
  const Case cases[] = {
      {"L: .CHIP ZQ4460\n", "", kFatalLine},
      {"; x\n.CHIP ZQ9999\n", "",
       "ERROR : CHIP TYPE NO DEFINITION IN LINE 2\n" + std::string(kFatalLine)},
      {labels, "Label quantities can't great than 8192 ",
       "Label quantities can't great than 8192\n"},
      {constants, kConstants, kConstants},
      {macros, "Macro quantities can't great than 256 ", "Macro quantities can't great than 256\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    messages_.clear();
    zqtest::writeFile(dir_.file("main.JMP"), "stale");
    EXPECT_EQ(run(c.source), 1);
    Messages expected = c.message.empty() ? Messages{} : Messages{c.message};
    expected.push_back("Occurred FATAL ERROR !");
    EXPECT_EQ(messages_, expected);
    EXPECT_EQ(output(".ERR"), c.text);
    EXPECT_EQ(output(".LST"), c.text);
    EXPECT_FALSE(zqtest::fileExists(dir_.file("main.JMP")));
  }
}

// The 100,000th error is written, then the fatal line; the next error line is not, nor
// the totals. A run with 99,999 errors ends as any other.
TEST_F(DriverRun, ErrorBoundStopsTheRun) {
  auto errorLines = [this](int first, int last) {
    std::string text;
    for (int k = first; k <= last; ++k)
      text += inDir("$D/main.asm(") + std::to_string(k) + ") : Error 1 ->  ILLEGAL OPCODE\n";
    return text;
  };
  std::string source = ".CHIP ZQ4460\n";
  for (int k = 0; k < 99999; ++k) source += " FOO\n";
  EXPECT_EQ(run(source), 1);
  EXPECT_EQ(output(".ERR"), errorLines(2, 100000) + "\n99999 Error(s), 0 Warning(s)\n");
  EXPECT_EQ(messages_, Messages{});

  EXPECT_EQ(run(source + " FOO\n FOO\n"), 1);
  const char kFatal[] = "Fatal ERROR : TOO MANY ERRORS (100000)";
  EXPECT_EQ(output(".ERR"), errorLines(2, 100001) + kFatal + "\n");
  const std::string lst = output(".LST");
  const std::string end = "100001 0000 ?? ?? ??    FOO\n               <<< ILLEGAL OPCODE >>>\n" +
                          std::string(kFatal) + "\n";
  ASSERT_GE(lst.size(), end.size());
  EXPECT_EQ(lst.substr(lst.size() - end.size()), end);
  EXPECT_EQ(messages_, (Messages{kFatal, "Occurred FATAL ERROR !"}));
}

// Six macros, ten calls each, the last with a blank argument: a million body lines of a
// few characters, each listed with warning 2. What expansions write to the listing and
// the error file stops at the byte bound (error 70), whose share of the files is all but
// the few lines outside the expansion.
TEST_F(DriverRun, ExpansionOutputIsBounded) {
  std::string source = ".CHIP ZQ4460\nM6 .MACRO A\n";
  for (int k = 0; k < 10; ++k) source += " .DS A\n";
  source += " .ENDM\n";
  for (int m = 5; m >= 1; --m) {
    source += "M" + std::to_string(m) + " .MACRO\n";
    for (int k = 0; k < 10; ++k) source += " M" + std::to_string(m + 1) + (m == 5 ? " ,\n" : "\n");
    source += " .ENDM\n";
  }
  EXPECT_EQ(run(source + " M1\n"), 1);
  const std::string lst = output(".LST"), err = output(".ERR");
  EXPECT_NE(err.find(") : Error 70 ->  MACRO EXPANSION TOO LONG\n"), std::string::npos);
  const uint64_t written = lst.size() + err.size();
  EXPECT_GE(written, zq::kMaxExpandedBytes);
  EXPECT_LE(written, zq::kMaxExpandedBytes + 16384);
}

// A source under 1 KB whose 65,536 expansions each evaluate a condition of two operands
// of 127 terms: the evaluator's work ends the expansions with error 70 long before the
// byte and line bounds would, the same calls in both passes (no phase error follows).
TEST_F(DriverRun, ExpansionWorkIsBounded) {
  std::string terms = "1*1";
  for (int k = 0; k < 125; ++k) terms += "+1";
  std::string source = ".CHIP ZQ4460\nM0 .MACRO P\n .IF P==P\n .ENDIF\n .ENDM\n";
  for (int m = 1; m <= 4; ++m) {
    source += "M" + std::to_string(m) + " .MACRO P\n";
    for (int k = 0; k < 16; ++k) source += " M" + std::to_string(m - 1) + " P\n";
    source += " .ENDM\n";
  }
  source += " M4 " + terms + "\n";
  ASSERT_LT(source.size(), 1024u);
  EXPECT_EQ(run(source), 1);
  const std::string err = output(".ERR");
  EXPECT_NE(err.find(") : Error 70 ->  MACRO EXPANSION TOO LONG\n"), std::string::npos);
  // Nothing but error 70: no other error tells of passes that placed lines apart.
  size_t errors = 0, refusals = 0;
  for (size_t at = err.find("Error "); at != std::string::npos; at = err.find("Error ", at + 1)) {
    ++errors;
    if (err.compare(at, 9, "Error 70 ") == 0) ++refusals;
  }
  EXPECT_GT(refusals, 0u);
  EXPECT_EQ(errors, refusals);
  EXPECT_LT(output(".LST").size(), zq::kMaxExpandedBytes / 8);
}

// Area 700h-7FFh: the call at 1000h needs 1701h (SF2) and 0702h (JMP), the one at 0010h
// needs 0703h and 1704h. With a ROM top of 1704h the listing (a device here) is not read
// back; with 1703h error 22 on the line, no image. A ROM top above FFFFh stops the run.
TEST_F(DriverRun, BankedImageChecks) {
  const zq::PersistentSettings saved = zq::persistentSettings();
  const char* source =
      ".CHIP ZQ4460\n.BANKCONVERTAREA 700h 7FFh\nORG 10h\nS: CALL T\nORG 1000h\n"
      "T: CALL S\n";
  std::filesystem::create_symlink("/dev/zero", dir_.file("main.LST"));
  for (int32_t top : {0x1704, 0x1703}) {
    params_->programRomTop = top;
    EXPECT_EQ(run(source), 1);
    std::filesystem::remove(dir_.file("main.LST"));
    EXPECT_EQ(output(".ERR"), top == 0x1704 ? kNoErrors
                                            : inDir("$D/main.asm(4) : Error 22 ->  PROGRAM(ROM) "
                                                    "OUT OF RANGE\n\n1 Error(s), 0 Warning(s)\n"));
    EXPECT_EQ(zqtest::fileExists(dir_.file("main.OBJ")), top == 0x1704);
  }
  zq::persistentSettings() = saved;
  params_->programRomTop = 0x10000;
  EXPECT_EQ(run(".CHIP ZQ4460\n NOP\n"), 1);
  EXPECT_EQ(messages_, (Messages{"Fatal ERROR : PROGRAM ROM TOP 10000h IS ABOVE FFFFh",
                                 "Occurred FATAL ERROR !"}));
  EXPECT_EQ(output(".ERR"), "Fatal ERROR : PROGRAM ROM TOP 10000h IS ABOVE FFFFh\n");
  EXPECT_EQ(output(".LST"), output(".ERR"));
}

// 2,000 characters: 1,053 of them make line 2 (error 67), the rest is line 3. The cut
// line gets a line end in the listing, so its error line stands on a line of its own.
// Without constants and labels there is no ".EQU".
TEST_F(DriverRun, OverLongPhysicalLine) {
  EXPECT_EQ(run(".CHIP ZQ4460\n" + std::string(1999, ';') + "\n"), 1);
  std::string listing = "00001              .CHIP ZQ4460\n0002   " + std::string(1053, ';');
  listing += "\n               <<< LINE CHAR CAN NOT GREAT 1024 BYTES >>>\n00003              ";
  EXPECT_EQ(output(".LST"), listing + std::string(946, ';') + "\n\n1 Error(s), 0 Warning(s)\n");
  EXPECT_EQ(output(".ERR"),
            inDir("$D/main.asm(2) : Error 67 ->  LINE CHAR CAN NOT GREAT 1024 BYTES\n"
                  "\n1 Error(s), 0 Warning(s)\n"));
  EXPECT_FALSE(zqtest::fileExists(dir_.file("main.EQU")));
}

// Local labels are checked against their own expansion, also beyond 65,536 lines. From
// 2000h on no jump moves away from its label (as from 0FFFh and 1FFFh).
TEST_F(DriverRun, LocalLabelsOfManyExpansions) {
  std::string source = ".CHIP ZQ4460\nM .MACRO\n .LOCALLABEL L\nL: JNZ L\n .ENDM\n ORG 2000h\n";
  for (int k = 0; k < 16400; ++k) source += " M\n";
  params_->programRomTop = 0xFFFF;
  EXPECT_EQ(run(source), 1);
  EXPECT_EQ(output(".ERR"), kNoErrors);
}

}  // namespace
