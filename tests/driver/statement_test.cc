// The ORG pre-check and the statement router: its early exits, and the statement no
// handler knew.
#include "driver/statement.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chip/chip_file.h"
#include "services/diagnostics.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "zqasm/observer.h"

namespace {

using zq::AssemblerRun;

// Counter starts at 7, ROM top 0FFFh. Error 8 (pass 2 only) keeps the counter, except
// for a label before ORG; a bare symbol is refused, an expression is evaluated.
TEST(Statement, CheckOrgLine) {
  const int org = zq::resultOrgLine;
  auto expect = [](const std::string& line, int pass, int result, int expectedError,
                      int counter) {
    SCOPED_TRACE(line);
    auto run = std::make_unique<AssemblerRun>();
    run->source.programRomTop = 0xFFF;
    run->source.locationCounter = 7;
    int orgError = -1;
    EXPECT_EQ(zq::checkOrgLine(*run, line, pass, orgError), result);
    EXPECT_EQ(orgError, expectedError);
    EXPECT_EQ(run->source.locationCounter, counter);
    EXPECT_EQ(run->diagnostics.lineErrors,
              expectedError ? std::vector<int>{expectedError} : std::vector<int>{});
    bool accepted = result == org && counter != 7;
    EXPECT_EQ(run->source.orgCount, accepted ? 1 : 0);
    if (accepted) {
      EXPECT_EQ(run->source.lastCodeAddress, counter);
    }
  };
  expect("  .org\t20 ; start\n", 2, org, 0, 20);
  expect("ORG 0FFFH\n", 2, org, 0, 0xFFF);
  expect("ORG 1000H\n", 2, org, 8, 7);
  expect("ORG 1000H\n", 1, org, 0, 7);
  expect("L1 ORG 30H\n", 2, org, 8, 0x30);
  expect("ORG \n", 2, org, 8, 7);
  expect("ORG 10H+2\n", 2, org, 0, 0x12);
  expect("ORG XYZ\n", 2, org, 8, 7);
  expect("ORG " + std::string(184, '1') + "\n", 2, org, 8, 7);
  expect("MYORG 5\n", 2, org, 0, 5);  // where the keyword stands: LineScan.RecordsEachRule
  expect("; ORG 5\n", 2, 0, 0, 7);
}

// On a banked chip a line whose in-bank address lies in the convert area draws 58 before
// anything else, and no fields, so it is never tried as a macro call; BANKCONVERTAREA
// itself is taken.
TEST(Statement, ProcessStatementEarlyResults) {
  zq::PersistentSettings& settings = zq::persistentSettings();
  const zq::PersistentSettings saved = settings;
  auto expect = [&settings](const char* line, int counter, int result) {
    SCOPED_TRACE(line);
    settings.bankConvertStart = 0x100;  // BANKCONVERTAREA lines move it
    settings.bankConvertEnd = 0x1FF;
    auto run = std::make_unique<AssemblerRun>();
    run->source.programRomTop = 0x2FFF;
    run->source.bankedRom = true;
    run->source.locationCounter = counter;
    EXPECT_EQ(zq::processStatement(*run, line, 2, 3, -1), result);
    EXPECT_EQ(run->source.statementAddress, counter);
    EXPECT_EQ(run->source.codeText, std::string(11, ' '));
    const std::vector<int>& errors = run->diagnostics.lineErrors;
    EXPECT_EQ(!errors.empty() && errors[0] == 58, result == -1);
    EXPECT_EQ(run->source.lastFieldCount, -1);
  };
  expect("  NOP\n", 0x1100, -1);
  expect("; comment\n", 0x21FF, -1);
  expect("; comment\n", 0x10FF, 0);
  expect("; comment\n", 0x1200, 0);
  expect(" .BankConvertArea 200h 2FFh\n", 0x1100, 0);  // the line that moves the area
  expect("L1: .BANKCONVERTAREA 200h 2FFh\n", 0x1100, 0);  // also behind a label
  expect("L1 .BANKCONVERTAREA 200h 2FFh\n", 0x1100, 0);
  expect(" L1 .BANKCONVERTAREA 200h 2FFh\n", 0x1100, -1);  // not a label: indented
  settings = saved;

  // Beyond the ROM top the statement still takes its word and answers 22.
  auto run = std::make_unique<AssemblerRun>();
  run->source.programRomTop = 0xFFF;
  run->source.locationCounter = 0x1000;
  EXPECT_EQ(zq::processStatement(*run, "  NOP\n", 2, 9, -1), zq::resultRomOverflow);
  EXPECT_EQ(run->source.locationCounter, 0x1001);
  EXPECT_EQ(run->source.outOfRangeAddress, 0x1000);
  EXPECT_EQ(run->source.currentLineNumber, 9u);
  // The counter stops at its largest value instead of overflowing.
  run->source.locationCounter = INT32_MAX;
  EXPECT_EQ(zq::processStatement(*run, "  NOP\n", 2, 10, -1), zq::resultRomOverflow);
  EXPECT_EQ(run->source.locationCounter, INT32_MAX);
}

// An unknown first word is error 1 for a line of a file in pass 2 only (a body line's is
// reported by its expansion); with an observer of diagnostics its note suggests the
// nearest mnemonic or macro, or for a word with "." or "#" the nearest directive.
TEST(Statement, UnknownStatement) {
  const struct {
    const char* line;
    int pass, macroContext;
    std::vector<int> errors;
    std::string note;
  } cases[] = {
      {" FOO 1,2\n", 2, -1, {1}, "illegal opcode 'FOO'"},
      {" FOO 1,2\n", 1, -1, {}, ""},
      {" FOO 1,2\n", 2, 0, {}, ""},
      {" MOX 1,2\n", 2, -1, {1}, "illegal opcode 'MOX'; did you mean 'MOV'?"},
      {" DELYA\n", 2, -1, {1}, "illegal opcode 'DELYA'; did you mean 'DELAY'?"},
      {" .ENDIFF\n", 2, -1, {1}, "illegal opcode '.ENDIFF'; did you mean '.ENDIF'?"},
      {" #ENDM\n", 2, -1, {1}, "illegal opcode '#ENDM'"},  // ENDM takes no "#"
  };
  std::vector<std::string> notes;
  ZqasmRunObserver observer{};
  observer.context = &notes;
  observer.diagnostic = [](void* context, const ZqasmDiagnostic* d) {
    static_cast<std::vector<std::string>*>(context)->push_back(d->message);
  };
  ZqasmSetRunObserver(&observer);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto run = std::make_unique<AssemblerRun>();
    run->source.programRomTop = 0xFFF;
    run->chip.opcodes.push_back(zq::OpcodeEntry{"MOV", 0, 2, 0x2000, 0, 0x3F0, 0, 0xF, 0});
    run->chip.opcodes.push_back(zq::OpcodeEntry{});
    run->chip.instructionCount = 1;
    zq::indexMnemonics(run->chip);
    run->macros.macroTable.resize(1);
    run->macros.macroTable[0].name = "DELAY";
    run->macros.macroCount = 1;
    EXPECT_EQ(zq::processStatement(*run, c.line, c.pass, 4, c.macroContext),
              zq::resultUnknownMnemonic);
    EXPECT_EQ(run->diagnostics.lineErrors, c.errors);
    EXPECT_EQ(run->source.locationCounter, 0);
    notes.clear();
    zq::flushLineDiagnostics(*run, 4);
    EXPECT_EQ(notes,
              c.note.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.note});
  }
  // Error 1 of a macro call goes again when the call is expanded: many calls spend none of
  // the run's suggestions, so a later mistake still gets its own.
  auto run = std::make_unique<AssemblerRun>();
  run->source.programRomTop = 0xFFF;
  run->macros.macroTable.resize(1);
  run->macros.macroTable[0].name = "DELAY";
  run->macros.macroCount = 1;
  for (int i = 0; i < 300; ++i) zq::processStatement(*run, " DELAY\n", 2, 4, -1);
  EXPECT_EQ(run->diagnostics.suggestionsMade, 0);
  zq::processStatement(*run, " DELYA\n", 2, 5, -1);
  EXPECT_EQ(run->diagnostics.suggestionsMade, 1);
  ZqasmSetRunObserver(nullptr);
}

}  // namespace
