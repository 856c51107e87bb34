#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "test_support.h"
#include "zqasm/assembler.h"
#include "zqasm/observer.h"

namespace {

using zqtest::writeFile;

const char* const kKinds[] = {"label", "local",  "constant", "ram",
                              "macro", "define", "string",   "include"};

// Each fact as one line, the test folder cut off the file names.
struct Facts {
  std::string folder, text, chip;
  int errors = 0;
  std::string name(const char* file) const {
    std::string n = file;
    return n.compare(0, folder.size(), folder) == 0 ? n.substr(folder.size()) : n;
  }
  std::string place(const ZqasmSpan& s) const {
    return name(s.file) + ":" + std::to_string(s.line) + ":" + std::to_string(s.column) + "-" +
           std::to_string(s.endColumn);
  }
};

void onSymbol(void* context, const ZqasmSymbol* s) {
  Facts& f = *static_cast<Facts*>(context);
  f.text += std::string(s->definition ? "def " : "use ") + kKinds[s->kind] + " " + s->name + " " +
            f.place(s->at) + " " + std::to_string(s->value) +
            (s->size ? " size " + std::to_string(s->size) : "") +
            (*s->text ? " [" + f.name(s->text) + "]" : "") + " e" + std::to_string(s->expansion) +
            " < " + f.name(s->sourceFile) + ":" + std::to_string(s->sourceLine) + "\n";
}

void onCall(void* context, const ZqasmMacroCall* c) {
  Facts& f = *static_cast<Facts*>(context);
  f.text += std::string("call ") + c->macro + " " + f.place(c->at) + " head " +
            f.name(c->headFile) + ":" + std::to_string(c->headLine) + " e" +
            std::to_string(c->expansion) + "\n";
  for (size_t i = 0; i < c->lineCount; ++i) f.text += std::string("  |") + c->lines[i] + "\n";
}

void onCode(void* context, const ZqasmCode* c) {
  Facts& f = *static_cast<Facts*>(context);
  char word[16];
  std::snprintf(word, sizeof word, "%04X", c->word);
  f.text += "code " + f.place(c->at) + " @" + std::to_string(c->address) + " " + word + " e" +
            std::to_string(c->expansion) + " < " + f.name(c->sourceFile) + ":" +
            std::to_string(c->sourceLine) + "\n";
}

void onChip(void* context, const char* name, const ZqasmOpcode* opcodes, size_t count) {
  static_cast<Facts*>(context)->chip =
      std::string(name) + " " + std::to_string(count) + " " + opcodes[count - 1].mnemonic;
}

void onDiagnostic(void* context, const ZqasmDiagnostic*) { ++static_cast<Facts*>(context)->errors; }

ZqasmRunObserver observerOf(Facts& facts) {
  ZqasmRunObserver o{};
  o.context = &facts;
  o.symbol = onSymbol;
  o.macroCall = onCall;
  o.code = onCode;
  o.chip = onChip;
  o.diagnostic = onDiagnostic;
  return o;
}

// Definitions and uses at their columns (a label and its use on one line apart, an
// argument's name where the call wrote it), local labels of their own expansion, the
// expanded lines of a call, the words at their addresses.
TEST(RunFactsTest, DefinitionsUsesCallsAndWords) {
  zqtest::TempDir dir;
  writeFile(
      dir.file("defs.inc"),
      "LIMIT EQU 0FH\nWAIT .MACRO VAR\n .LOCALLABEL SPIN\nSPIN: LDA VAR\n JNZ SPIN\n .ENDM\n");
  writeFile(dir.file("main.asm"),
            ".CHIP ZQ4460\n #include <defs.inc>\n .DATA\nBUF DN 2\n .ENDD\n #DEFINE FAST 2\n"
            "PAIR DEFSTR 5\nSTART: LDA LIMIT\n WAIT BUF\n JMP START ; START\n LDA FAST\n"
            " LDA PAIR\n");
  Facts facts;
  facts.folder = zq::fullPath(dir.path()) + "/";
  const ZqasmRunObserver observer = observerOf(facts);
  auto params = zqtest::makeParams(dir.file("main.asm"));
  std::strcpy(params->includeDir1, dir.path().c_str());
  ZqasmResetRunSettings();
  ZqasmSetRunObserver(&observer);
  EXPECT_EQ(Run44Assembler(params.get()), 1);
  ZqasmSetRunObserver(nullptr);
  EXPECT_EQ(facts.errors, 0);
  EXPECT_EQ(facts.chip, "ZQ4460 29 SF2");
  EXPECT_EQ(facts.text,
            "use include defs.inc main.asm:2:11-19 -1 [defs.inc] e0 < main.asm:2\n"
            "def constant LIMIT defs.inc:1:0-5 15 e0 < defs.inc:1\n"
            "def label WAIT defs.inc:2:0-4 0 e0 < defs.inc:2\n"
            "def macro WAIT defs.inc:2:0-4 -1 [VAR] e0 < defs.inc:2\n"
            "def ram BUF main.asm:4:0-3 0 size 2 e0 < main.asm:4\n"
            "def define FAST main.asm:6:9-13 2 e0 < main.asm:6\n"
            "def string PAIR main.asm:7:0-4 -1 [5] e0 < main.asm:7\n"
            "def label START main.asm:8:0-5 0 e0 < main.asm:8\n"
            "use constant LIMIT main.asm:8:11-16 15 e0 < main.asm:8\n"
            "code main.asm:8:0-0 @0 10F0 e0 < main.asm:8\n"
            "use macro WAIT main.asm:9:1-5 -1 e0 < main.asm:9\n"
            "def local SPIN defs.inc:4:0-4 1 e1 < main.asm:9\n"
            "use ram BUF main.asm:9:6-9 0 e1 < main.asm:9\n"
            "code defs.inc:4:0-0 @1 1000 e1 < main.asm:9\n"
            "use local SPIN defs.inc:5:5-9 1 e1 < main.asm:9\n"
            "code defs.inc:5:0-0 @2 A001 e1 < main.asm:9\n"
            "call WAIT main.asm:9:1-5 head defs.inc:2 e1\n"
            "  | .LOCALLABEL SPIN\n  |SPIN: LDA BUF  ; SPIN: LDA VAR\n  | JNZ SPIN\n  | .ENDM\n"
            "use label START main.asm:10:5-10 0 e0 < main.asm:10\n"
            "code main.asm:10:0-0 @3 D000 e0 < main.asm:10\n"
            "use define FAST main.asm:11:5-9 2 e0 < main.asm:11\n"
            "code main.asm:11:0-0 @4 1020 e0 < main.asm:11\n"
            "use string PAIR main.asm:12:5-9 -1 e0 < main.asm:12\n"
            "code main.asm:12:0-0 @5 1050 e0 < main.asm:12\n");
}

const char* const kPlacements[] = {"origin", "reserved", "nop", "table", "area"};

void onPlacement(void* context, const ZqasmPlacement* p) {
  Facts& f = *static_cast<Facts*>(context);
  f.text += std::string(kPlacements[p->kind]) + " " + f.place(p->at) + " @" +
            std::to_string(p->first) + " +" + std::to_string(p->count) + " < " +
            f.name(p->sourceFile) + ":" + std::to_string(p->sourceLine) + "\n";
}

// What is placed beside the instructions, in the order of pass 2: table cells by group and
// by pair (a table ORG is none), the origin, the NOP that takes 0FFFh from an instruction
// moved to 1000h (which is no instruction fact), a .DS in a macro at its body line, and
// the area as BANKCONVERTAREA left it, once after the pass.
TEST(RunFactsTest, PlacementsBesideTheInstructions) {
  zqtest::TempDir dir;
  writeFile(dir.file("main.asm"),
            ".CHIP ZQ4460\n .BANKCONVERTAREA 0200h 027Fh\n .TABLE\n ORG 10h\n .DB 1, 2, 3, 4, 5\n"
            " 20h 7\n .ENDT\nGAP .MACRO N\n .DS N\n .ENDM\n ORG 0FFEh\n NOP\n LDA 1\n GAP 3\n");
  Facts facts;
  facts.folder = zq::fullPath(dir.path()) + "/";
  ZqasmRunObserver observer{};
  observer.context = &facts;
  observer.code = onCode;
  observer.placement = onPlacement;
  observer.diagnostic = onDiagnostic;
  auto params = zqtest::makeParams(dir.file("main.asm"), 0x2FFF, 0xFF);
  ZqasmResetRunSettings();
  ZqasmSetRunObserver(&observer);
  EXPECT_EQ(Run44Assembler(params.get()), 1);
  ZqasmSetRunObserver(nullptr);
  ZqasmResetRunSettings();
  EXPECT_EQ(facts.errors, 0);
  EXPECT_EQ(facts.text,
            "table main.asm:5:0-0 @16 +4 < main.asm:5\n"
            "table main.asm:5:0-0 @20 +1 < main.asm:5\n"
            "table main.asm:6:0-0 @32 +1 < main.asm:6\n"
            "origin main.asm:11:0-0 @4094 +0 < main.asm:11\n"
            "code main.asm:12:0-0 @4094 0000 e0 < main.asm:12\n"
            "nop main.asm:13:0-0 @4095 +1 < main.asm:13\n"
            "code main.asm:13:0-0 @4096 1010 e0 < main.asm:13\n"
            "reserved main.asm:9:0-0 @4097 +3 < main.asm:14\n"
            "area :0:0-0 @512 +128 < :0\n");
}

void onStatement(void* context, const ZqasmStatement* s) {
  static const char* const kStatementKinds[] = {"asm",  "skip", "cond",
                                                "macro", "call", "include"};
  Facts& f = *static_cast<Facts*>(context);
  f.text += std::string(kStatementKinds[s->kind]) + " " + f.name(s->file) + ":" +
            std::to_string(s->line) + " e" + std::to_string(s->expansion) + " |" + s->text + "\n";
}

// Each statement of pass 2 with what it was: a call after its body's lines (which stand
// in the macro's file, arguments in place, without the listing's copy of the body line),
// a body line in a false branch skipped; the statements of the defines the host enters
// are not told of.
TEST(RunFactsTest, StatementsAndTheirKinds) {
  zqtest::TempDir dir;
  writeFile(dir.file("m.inc"),
            "M .MACRO V\n .IF V = 2\n LDA V ; two\n .ELSE\n NOP\n .ENDIF\n .ENDM\n");
  writeFile(dir.file("main.asm"),
            ".CHIP ZQ4460\n#include <m.inc>\n .IFDEF X\n HALT\n .ENDIF\n M 2\nK EQU 1\n\n"
            " .END\n NOP\n");
  Facts facts;
  facts.folder = zq::fullPath(dir.path()) + "/";
  ZqasmRunObserver observer{};
  observer.context = &facts;
  observer.statement = onStatement;
  observer.diagnostic = onDiagnostic;
  const char* names[] = {"Y"};
  observer.defineNames = names;
  observer.defineCount = 1;
  auto params = zqtest::makeParams(dir.file("main.asm"));
  std::strcpy(params->includeDir1, dir.path().c_str());
  ZqasmResetRunSettings();
  ZqasmSetRunObserver(&observer);
  EXPECT_EQ(Run44Assembler(params.get()), 1);
  ZqasmSetRunObserver(nullptr);
  EXPECT_EQ(facts.errors, 0);
  EXPECT_EQ(facts.text,
            "asm main.asm:1 e0 |.CHIP ZQ4460\n"
            "include main.asm:2 e0 |#include <m.inc>\n"
            "macro m.inc:1 e0 |M .MACRO V\n"
            "macro m.inc:2 e0 | .IF V = 2\n"
            "macro m.inc:3 e0 | LDA V ; two\n"
            "macro m.inc:4 e0 | .ELSE\n"
            "macro m.inc:5 e0 | NOP\n"
            "macro m.inc:6 e0 | .ENDIF\n"
            "macro m.inc:7 e0 | .ENDM\n"
            "cond main.asm:3 e0 | .IFDEF X\n"
            "skip main.asm:4 e0 | HALT\n"
            "cond main.asm:5 e0 | .ENDIF\n"
            "cond m.inc:2 e1 | .IF 2 = 2\n"
            "asm m.inc:3 e1 | LDA 2; two\n"
            "cond m.inc:4 e1 | .ELSE\n"
            "skip m.inc:5 e1 | NOP\n"
            "cond m.inc:6 e1 | .ENDIF\n"
            "macro m.inc:7 e1 | .ENDM\n"
            "call main.asm:6 e0 | M 2\n"
            "asm main.asm:7 e0 |K EQU 1\n"
            "asm main.asm:9 e0 | .END\n");
}

// A language server's runs: unsaved texts read in place of the files (an include that
// exists nowhere on disk too), no file written or removed, and no setting of one source
// left for the next.
// A language server's runs: unsaved texts read in place of the files (an include that
// exists nowhere on disk too), no file written or removed, and no setting of one source
// left for the next.
TEST(RunFactsTest, SourceTextsNoOutputsAndReset) {
  zqtest::TempDir dir;
  writeFile(dir.file("main.asm"), ".CHIP ZQ4460\n BAD\n");
  writeFile(dir.file("main.JMP"), "kept");
  const std::string settingsRun =
      ".CHIP ZQ4460\n .BANKCONVERTAREA 0200h 020Fh\n .DATA\nX DN 4\n .ENDD\n";
  const std::string later = ".CHIP ZQ4460\n .DATA\nY DN 1\n .ENDD\n ORG 0200h\n NOP\n";
  ZqasmSetOutputFiles(0);
  Facts facts;
  facts.folder = zq::fullPath(dir.path()) + "/";
  const ZqasmRunObserver observer = observerOf(facts);
  ZqasmSetRunObserver(&observer);
  auto params = zqtest::makeParams(dir.file("main.asm"), 0x2FFF);
  std::strcpy(params->includeDir1, dir.path().c_str());
  struct Step {
    const char* main;     // the text given for main.asm, or nullptr for the file
    const char* include;  // the text given for NEW.INC
    bool reset;
    int errors;
    const char* ramFact;  // the fact of the RAM name Y, when there is one
  };
  const Step steps[] = {
      {nullptr, nullptr, true, 1, ""},
      {" .CHIP ZQ4460\n #include \"new.inc\"\n NOP\n", " JMP 5\n", true, 0, ""},
      {settingsRun.c_str(), nullptr, true, 0, ""},
      {later.c_str(), nullptr, false, 1, "def ram Y main.asm:3:0-1 4 size 1 e0 < main.asm:3\n"},
      {settingsRun.c_str(), nullptr, true, 0, ""},
      {later.c_str(), nullptr, true, 0, "def ram Y main.asm:3:0-1 0 size 1 e0 < main.asm:3\n"},
  };
  for (const Step& step : steps) {
    ZqasmSetSourceText(dir.file("main.asm").c_str(), step.main,
                       step.main ? std::strlen(step.main) : 0);
    ZqasmSetSourceText(dir.file("new.inc").c_str(), step.include,
                       step.include ? std::strlen(step.include) : 0);
    if (step.reset) ZqasmResetRunSettings();
    facts.errors = 0;
    facts.text.clear();
    EXPECT_EQ(Run44Assembler(params.get()), 1) << step.main;
    EXPECT_EQ(facts.errors, step.errors) << step.main;
    if (*step.ramFact) {
      EXPECT_NE(facts.text.find(step.ramFact), std::string::npos) << facts.text;
    }
  }
  ZqasmSetRunObserver(nullptr);
  ZqasmClearSourceTexts();
  ZqasmSetOutputFiles(1);
  ZqasmResetRunSettings();
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    files += !entry.is_directory();
  EXPECT_EQ(files, 2u);
  EXPECT_EQ(zqtest::readFile(dir.file("main.JMP")), "kept");
}

}  // namespace
