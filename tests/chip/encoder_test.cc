#include "chip/encoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "services/run.h"
#include "symbols/substitution.h"
#include "test_support.h"

namespace zq {
namespace {

using Ints = std::vector<int>;

// One statement at `loc`, its result, and the word text when the result is 2.
struct Case {
  const char* statement;
  int loc;
  int result;
  const char* word;
  Ints errors = {};
  Ints warnings = {};
};

// Encodes statements with the instruction set of the demo chip ZQ4460.
class EncoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    params = zqtest::makeParams("main.asm");
    run.params = params.get();
    ASSERT_EQ(loadChipFile(run, "ZQ4460"), 1) << "chip file in " << zqtest::chipDir();
    run.object.farTargetTable.assign(kFarTargetEntries, 0xFFFF);
    run.source.programRomTop = 0xFFF;
  }
  void setModel(const char* name) {
    std::snprintf(params->chipName, sizeof params->chipName, "%s", name);
  }
  int encode(const std::string& statement, int loc = 0, int pass = 2) {
    dropLineDiagnostics(run);
    run.source.wordText.clear();
    run.source.statementAddress = run.source.locationCounter = loc;
    const int n = splitStatement(run, statement);
    return encodeInstruction(run, n, pass);
  }
  const Ints& errors() const { return run.diagnostics.lineErrors; }
  const Ints& warnings() const { return run.diagnostics.lineWarnings; }
  // Pass 1 gives the same result without a message; pass 2 reports.
  void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.statement);
      EXPECT_EQ(encode(c.statement, c.loc, 1), c.result);
      EXPECT_TRUE(errors().empty() && warnings().empty());
      EXPECT_EQ(encode(c.statement, c.loc), c.result);
      EXPECT_EQ(run.source.wordText, c.result == 2 ? c.word : "");
      EXPECT_EQ(errors(), c.errors);
      EXPECT_EQ(warnings(), c.warnings);
    }
  }
  std::unique_ptr<AssemblerParams> params;
  AssemblerRun run;
};

TEST_F(EncoderTest, FormsAndFields) {
  const int count = resultBadOperandCount;
  check({
      {"nop", 0, 2, "0000"},
      {"LDA 5", 0, 2, "1050"},        // kind 5: shifted into mask 00F0h
      {"LDA 10h", 0, -1, "", {6}},    // above the field
      {"INC @HL", 0, 2, "0010"},      // the "@HL" record comes first
      {"INC 7", 0, 2, "0027"},        // a value skips the "@HL" record
      {"MOV 45h,@HL", 0, 2, "2450"},  // RAM operand relative to 40h
      {"MOV 45h,3", 0, 2, "2053"},
      {"MOV 45h,10h", 0, -1, "", {6}},
      {"ST @HL,5", 0, 2, "3005"},  // kind 3: operand 1 is "@HL"
      {"ST 5,45h", 0, 2, "3455"},
      {"ADC 1,2", 0, 2, "7012"},       // form nibble 1: two operands
      {"SETB 305h", 0, 2, "6305"},     // kind 11: bits inside mask 0F0Fh
      {"SETB 0F0h", 0, -1, "", {6}},   // below the limit, bits outside
      {"SBR 'A'", 0, 2, "ED41"},       // character constant
      {"LDA 1-5", 0, 2, "1000", {1}},  // failed operand counts as 0
      {"CALL 123h", 0, 2, "C123"},
      {"JMP 1000h", 0, -1, "", {6}},
      {"CALL 1,234h", 0, 2, "C234"},  // page form: only the address
      {"CALL 2,234h", 0, -1, "", {48}},
      {"JNZ 100h", 0, 2, "A100"},
      {"JZ 900h", 0x850, 2, "B100"},        // upper half: offset from 800h
      {"JZ 700h", 0x850, 2, "B700", {44}},  // error 44 lets encoding go on
      {"JZ 900h", 0x100, -1, "", {44, 6}},
      {"INC", 0, count, "", {6}},    // the first INC record ends the search
      {"ADC 1", 0, count, "", {6}},  // every record skipped
      {"NOP 1", 0, count, "", {6}},
      {"MOV 1,2,3", 0, count, "", {6}},
      {"MOV @HL,@HL", 0, count, "", {6}},
      {"FOO 1", 0, resultUnknownMnemonic, ""},
  });
  ASSERT_EQ(encode("JMP 3A5h"), 2);
  EXPECT_EQ(run.source.codeText, "A5 D3");  // low byte first
  EXPECT_EQ(run.source.wordText, "D3A5");
}

TEST_F(EncoderTest, RamFlagsAndWorkingRegisters) {
  // A form with both flags of operand 1 (10h and 40h) applies both tests.
  OpcodeEntry both{"MOVB", 0x50, 2, 0x2000, 0, 0x03F0, 0, 0x000F, 0};
  run.chip.opcodes.insert(run.chip.opcodes.end() - 1, both);
  ++run.chip.instructionCount;
  indexMnemonics(run.chip);
  check({
      {"MOVB 45h,1", 0, -1, "", {66}},
      {"MOVB 30h,1", 0, -1, "", {45}},
      {"MOVB 75h,1", 0, 2, "2351"},
      {"MOV 30h,3", 0, -1, "", {45}},       // flag 10h: below 40h
      {"ST 5,30h", 0, -1, "", {45}},        // flag 20h
      {"MOVW 50h,72h", 0, -1, "", {66}},    // flag 40h: 40h-6Fh refused
      {"MOVW 7Fh,72h", 0, 2, "57F2"},       // kind 23: operand 2 minus 70h
      {"MOVR 75h,45h", 0, -1, "", {66}},    // flag 80h
      {"MOVR 75h,12h", 0, 2, "4512"},       // kind 22: operand 1 minus 70h
      {"MOVR 20h,1", 0, -1, "", {6}, {3}},  // stays 20h: warning, then too large
  });
  setModel("ZQ4410");  // working registers from 18h
  check({
      {"MOVR 20h,1", 0, 2, "4801"},
      {"MOVR 10h,1", 0, -1, "", {6}, {3}},
      {"MOVW 7Fh,1Ah", 0, 2, "57F2"},
  });
}

// Bit 6 of an ED00h operand brings bit 5 along on some models.
TEST_F(EncoderTest, BitSelectRuleOfSomeModels) {
  check({{"SBR 40h", 0, 2, "ED40"}});
  for (const char* model : {"ZQ3915", "ZQ3916", "ZQ4435", "ZQ4422", "ZQ4423"}) {
    SCOPED_TRACE(model);
    setModel(model);
    check({{"SBR 40h", 0, 2, "ED60"}, {"SBR 0Fh", 0, 2, "ED0F"}, {"SF2 40h", 0, 2, "FE40"}});
  }
}

TEST_F(EncoderTest, BankedChipRules) {
  EXPECT_EQ(encode("CALL 123h", 0x40), 2);
  EXPECT_EQ(run.object.farTargetTable[0x40], 0xFFFF);  // not banked: no far target

  run.source.programRomTop = 0x2FFF;
  run.source.bankedRom = true;
  check({
      {"JNZ 1234h", 0x0FF0, 2, "A234", {62, 44}},  // other bank, then lower half
      {"JNZ 0F00h", 0x0FF0, 2, "A700"},
      {"JNZ 1F00h", 0x1FF0, 2, "A700"},  // own bank 1 or 2: the in-bank address
      {"JZ 2100h", 0x2050, 2, "B100"},
      {"JC 1900h", 0x1100, -1, "", {44, 6}},
      {"CALL 1234h", 0x0050, 2, "C234"},
      {"JMP 3000h", 0x0060, 2, "D000", {6}},  // above 2FFFh: reported, goes on
      {"CALL 1,1234h", 0x0070, 2, "C234"},
      {"CALL 0,3000h", 0x0080, -1, "", {6}},
  });
  const auto& far = run.object.farTargetTable;
  EXPECT_EQ(far[0x0FF0], 0xFFFF);  // conditional jumps have no far target
  EXPECT_EQ(far[0x0050], 0x1234);
  EXPECT_EQ(far[0x0060], 0x3000);
  EXPECT_EQ(far[0x0070], 0x1234);  // page form: the address as written
  EXPECT_EQ(far[0x0080], 0xFFFF);
  EXPECT_EQ(encode("CALL 2345h", 0x0090, 1), 2);  // far targets wait for pass 2
  EXPECT_EQ(far[0x0090], 0xFFFF);
  // Error 14: a far target above the ROM top, or in another bank than a caller above
  // 2FFFh, which no trampoline serves.
  run.source.programRomTop = 0x1FFF;
  check({{"CALL 2010h", 0x0050, 2, "C010", {14}}, {"JMP 1,1FFFh", 0x0050, 2, "DFFF"}});
  run.source.programRomTop = 0x3FFF;
  check({{"JMP 0,2010h", 0x3000, 2, "D010", {14}}, {"CALL 3FFFh", 0x3000, 2, "CFFF", {6}}});
}

// A jump or call target above the ROM top is error 14 and the word is still made, in
// every form; a target the field cannot hold stays error 6 alone.
TEST_F(EncoderTest, TargetsAboveTheRomTop) {
  run.source.programRomTop = 0x7FF;
  check({{"CALL 0900h", 0, 2, "C900", {14}},
         {"CALL 1,0900h", 0, 2, "C900", {14}},
         {"JMP 07FFh", 0, 2, "D7FF"},
         {"JMP 1000h", 0, -1, "", {6}},
         {"JZ 0400h", 0, 2, "B400"}});
  run.source.programRomTop = 0x3FF;
  check({{"JZ 0400h", 0, 2, "B400", {14}}, {"JC 03FFh", 0, 2, "BBFF"}});
  run.source.programRomTop = 0x13FF;  // banked, and the jump stays in its bank
  run.source.bankedRom = true;
  check({{"JZ 1500h", 0x1000, 2, "B500", {14}}, {"JZ 13FFh", 0x1000, 2, "B3FF"}});
}

// An instruction on the last word of bank 0 or 1 (but a NOP) moves to the next bank, in
// every pass, and is encoded there; beyond the ROM top it is refused with result 22.
TEST_F(EncoderTest, InstructionMovedFromBankEnd) {
  run.source.bankedRom = true;
  const struct {
    const char* statement;
    int loc, romTop, result, address;
    const char* word;  // of a result 1
    Ints errors;
    int far;  // far target at `address`
  } cases[] = {
      {"JZ 0FF0h", 0x0FFF, 0x2FFF, -1, 0x1000, "", {62, 44, 6}, 0xFFFF},
      {"JZ 1010h", 0x0FFF, 0x2FFF, 1, 0x1000, "B010", {}, 0xFFFF},
      {"JMP $+2", 0x0FFF, 0x2FFF, 1, 0x1000, "D002", {}, 0x1002},
      {"CALL 345h", 0x1FFF, 0x2FFF, 1, 0x2000, "C345", {}, 0x0345},
      {"NOP", 0x1FFF, 0x2FFF, 1, 0x1FFF, "0000", {}, 0xFFFF},
      {"LDA 2", 0x1FFF, 0x1FFF, resultRomOverflow, 0x2000, "", {}, 0xFFFF},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    for (int pass : {1, 2}) {
      dropLineDiagnostics(run);
      run.object = ObjectState{};
      run.object.farTargetTable.assign(kFarTargetEntries, 0xFFFF);
      run.source.programRomTop = c.romTop;
      run.source.statementAddress = run.source.locationCounter = c.loc;
      ASSERT_EQ(assembleInstruction(run, c.statement, pass, n, 1), c.result);
      EXPECT_EQ(run.source.statementAddress, c.address);
      EXPECT_EQ(run.source.locationCounter, c.address + (c.result == -1 ? 0 : 1));
    }
    EXPECT_EQ(errors(), c.errors);
    if (c.result == 1) {
      EXPECT_EQ(run.source.wordText, c.word);
    }
    // The NOP at the old address comes first; it has no far target.
    const auto& records = run.object.insertAddressTable;
    EXPECT_EQ(records.size(), (c.address != c.loc) + (c.result == 1 ? 1u : 0u));
    EXPECT_EQ(records.empty() ? -1 : records[0].address, std::min(c.loc, c.address));
    EXPECT_EQ(run.object.farTargetTable[static_cast<size_t>(c.address)], c.far);
    EXPECT_EQ(run.object.farTargetTable[c.loc], 0xFFFF);
  }
}

// The one rule tested in pass 2 only: STOP refused by the mask options.
TEST_F(EncoderTest, StopForbiddenByMaskOptions) {
  run.chip.stopForbidden = 1;
  EXPECT_EQ(encode("STOP", 0, 2), -1);
  EXPECT_EQ(errors(), Ints{49});
  EXPECT_EQ(encode("stop", 0, 1), 2);
  EXPECT_EQ(run.source.wordText, "0001");
  run.chip.stopForbidden = 0;
  EXPECT_EQ(encode("STOP", 0, 2), 2);
}

TEST_F(EncoderTest, SplitStatement) {
  defineString(run, "ARGS DEFSTR 45h, 3\n", 1, 1, "DEFSTR");
  defineString(run, "DO DEFSTRING LDA\n", 1, 2, "DEFSTR");
  const struct {
    std::string text;
    int count;
    const char* fields;  // fields 1 to count, joined by "|"
  } cases[] = {
      {"  MOV\t45h , 3 ;c", 3, "MOV|45h|3"},
      {"MOV 45h,3,  \n", 3, "MOV|45h|3"},  // a trailing comma ends the statement
      {"MOV 45h,  ,3", 4, "MOV|45h||3"},
      {"MOV ,3", 3, "MOV||3"},
      {"LDA ' '", 2, "LDA|' '"},
      {"LDA 'A B'", 2, "LDA|'AB'"},
      {"LDA A B\tC", 2, "LDA|ABC"},  // blanks inside an operand are dropped
      {"LDA ' ' + 1 ;x", 2, "LDA|' '+1"},
      {"LDA X\t\t", 2, "LDA|X"},
      {"NOP,1", 1, "NOP,1"},
      {"NOP   ", 1, "NOP"},
      {"A\nB", 1, "A"},
      {"", 0, ""},
      {" \t ", 0, ""},
      {"  ; comment", 0, ""},
      {"\n", 0, ""},
      {"MOV ARGS", 3, "MOV|45h|3"},  // a whole field that names a string, split again
      {"MOV args", 2, "MOV|args"},   // names compare with case
      {"DO 5", 2, "LDA|5"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(splitStatement(run, c.text), c.count) << c.text;
    std::string fields;
    for (int i = 1; i <= c.count; ++i) fields += (i > 1 ? "|" : "") + run.source.field[i].str();
    EXPECT_EQ(fields, c.fields) << c.text;
  }
  // 32 fields at most; a 33rd stops the split. Fields hold 255 characters.
  std::string statement = "X 1";
  for (int i = 3; i <= 32; ++i) statement += "," + std::to_string(i);
  EXPECT_EQ(splitStatement(run, statement), 32);
  EXPECT_EQ(run.source.field[32], "32");
  run.source.field[33] = "untouched";
  EXPECT_EQ(splitStatement(run, statement + ",33,34"), 33);
  EXPECT_EQ(run.source.field[33], "untouched");
  const std::string longer(300, '7');
  EXPECT_EQ(splitStatement(run, "LDA " + longer + ",1"), 3);
  EXPECT_EQ(run.source.field[2], std::string(255, '7'));
  EXPECT_EQ(run.source.field[3], "1");
  EXPECT_EQ(run.source.fieldCut, 2);  // and the split names the field
  EXPECT_EQ(splitStatement(run, "LDA " + std::string(200, '7') + " " + std::string(99, '8')), 2);
  EXPECT_EQ(run.source.field[2], std::string(200, '7') + std::string(55, '8'));
  EXPECT_EQ(run.source.fieldCut, 2);
  splitStatement(run, "LDA " + std::string(200, '7') + " " + std::string(55, '8') + " ;" + longer);
  EXPECT_EQ(run.source.fieldCut, 0);  // 255 fit
  EXPECT_EQ(encode("MOV ARGS"), 2);
  EXPECT_EQ(run.source.wordText, "2053");
}

TEST_F(EncoderTest, AssembleInstruction) {
  int n = -5;
  auto assemble = [&](const std::string& text, int pass, int loc) {
    dropLineDiagnostics(run);
    run.source.statementAddress = run.source.locationCounter = loc;
    return assembleInstruction(run, text, pass, n, 7);
  };
  EXPECT_EQ(assemble("LDA 5", 2, 0x10), 1);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(run.source.locationCounter, 0x11);
  EXPECT_TRUE(errors().empty());
  // Back at a used address: overlap, but the word is still made.
  run.source.field[3] = "stale";
  EXPECT_EQ(assemble("NOP", 2, 0x10), 1);
  EXPECT_EQ(errors(), Ints{13});
  EXPECT_EQ(run.source.field[2], "");  // the field after the last one is cleared
  EXPECT_EQ(run.source.field[3], "stale");

  // An unknown mnemonic takes no word and raises nothing here: the router reports it.
  for (int pass : {1, 2}) {
    EXPECT_EQ(assemble("FOO 1,2", pass, 0x20), resultUnknownMnemonic);
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(run.source.locationCounter, 0x20);
  }

  std::string tooMany = "NOP 1";
  for (int i = 2; i <= 40; ++i) tooMany += ",1";
  EXPECT_EQ(assemble(tooMany, 1, 0x30), -1);
  EXPECT_EQ(n, 33);
  EXPECT_TRUE(errors().empty());
  EXPECT_EQ(assemble(tooMany, 2, 0x30), -1);
  EXPECT_EQ(errors(), Ints{6});
  EXPECT_EQ(assemble("  ;", 2, 0x30), 0);
  EXPECT_EQ(n, 0);
  // A cut operand is error 72 in pass 2, and the word is made in both passes (LDA 0).
  for (int pass : {1, 2}) {
    EXPECT_EQ(assemble("LDA " + std::string(260, '0') + "5", pass, 0x40), 1);
    EXPECT_EQ(run.source.wordText, "1000");
    EXPECT_EQ(errors(), pass == 2 ? Ints{72} : Ints{});
  }
}

TEST(ReadHexTest, Digits) {
  const struct {
    const char* text;
    int count;
    uint32_t value;
  } cases[] = {
      {"1F", -1, 0x1F},   {"0X7f", -1, 0x7F}, {"  00A0 ", -1, 0xA0},
      {"0010", -1, 0x10}, {"FFFF", 2, 0xFF},  {"123456789", -1, 0x12345678},
      {"12G4", -1, 0x12}, {"1 2", -1, 0x1},   {"x12", -1, 0},
      {"", -1, 0},        {"ABC", 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(readHex(c.text, c.count), c.value) << c.text;
}

}  // namespace
}  // namespace zq
