// Completion and signature help through the protocol: the server is handed the messages
// an editor sends and its answers are read back, on a program with an include file, a
// macro with a local label, RAM names and constants. The lines being "typed" stand in a
// false conditional block, so that the runs see none of them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "server_session.h"

namespace {

using nlohmann::json;
using zqtest::writeFile;

const char kDefs[] =
    "LIMIT EQU 0FH\n"          // 0
    "LOOPS EQU 3\n"            // 1
    " #DEFINE LEVEL 2\n"       // 2
    "WAIT .MACRO FLAG, CNT\n"  // 3
    " .LOCALLABEL SPIN\n"      // 4
    "SPIN: LDA CNT\n"          // 5
    " JNZ SPIN\n"              // 6
    " .ENDM\n";                // 7

const char kMain[] =
    ".CHIP ZQ4460\n"                      // 0
    " #include <defs.inc>\n"              // 1
    " .DATA\n"                            // 2
    " ORG 40h\n"                          // 3
    "BUF DN 2\n"                          // 4
    "TEMP DN 1\n"                         // 5
    " .ENDD\n"                            // 6
    "START: LDA LIMIT ; wait, then go\n"  // 7
    "LOOP: WAIT 1, LOOPS\n"               // 8
    "STOP2: JZ LOOP\n"                    // 9
    " .IF 0\n"                            // 10
    " JMP SRT\n"                          // 11
    " MOV TEMP, @HL\n"                    // 12
    " ST 3, BUF\n"                        // 13
    " ST @HL, 1\n"                        // 14
    " CALL 1, START\n"                    // 15
    "LOOP2 WAIT ',', 1\n"                 // 16
    " NOP 1\n"                            // 17
    " .IF .PARAMCOUNT\n"                  // 18
    " .ENDIF\n"                           // 19
    " .ENDIF\n";                          // 20

using Session = zqtest::ServerSession;
const auto uri = zqtest::fileUri;

// The project of the tests: main.asm open in the editor, defs.inc on disk.
struct Project {
  zqtest::TempDir dir;
  Session session;
  std::string main, defs;
  json capabilities;
  Project() {
    writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
    writeFile(dir.file("defs.inc"), kDefs);
    writeFile(dir.file("main.asm"), kMain);
    main = uri(dir.file("main.asm"));
    defs = uri(dir.file("defs.inc"));
    capabilities = session.initialize(dir.path());
    session.open(main, kMain);
  }
  // "LABEL KIND DETAIL" per item, at most `count` of them, and "+" when incomplete.
  std::string complete(const std::string& file, int line, int character, size_t count = 8) {
    const json answer = session.at("textDocument/completion", file, line, character);
    std::string text;
    for (size_t i = 0; i < answer["items"].size() && i < count; ++i) {
      const json& item = answer["items"][i];
      text += item["label"].get<std::string>() + " " + std::to_string(item["kind"].get<int>()) +
              " " + item["detail"].get<std::string>() + "\n";
    }
    return text + (answer["isIncomplete"].get<bool>() ? "+" : "");
  }
};

// What fits where: the statement position, a jump target, a RAM operand, an operand that
// takes "@HL", a macro argument, a directive, a comment; prefix matches before scattered
// ones.
TEST(LspCompletionTest, OffersWhatFitsThePlace) {
  Project p;
  struct Case {
    int line, character;
    const char* expected;
  };
  const Case cases[] = {
      // The operation: mnemonics with their forms, and the macro.
      {11, 3, "JMP 14 JMP address  |  page, address\n"},
      {8, 8, "WAIT 2 macro (FLAG, CNT)\n"},
      // A jump target: labels only; "SRT" is scattered in START only.
      {11, 6, "START 3 label address 0000h\nSTOP2 3 label address 0003h\n"},
      {11, 8, "START 3 label address 0000h\n"},
      // MOV takes RAM first: RAM names, then constants and defines.
      {12, 5,
       "BUF 6 RAM name address 040h, 2 nibbles\nTEMP 6 RAM name address 042h, 1 nibble\n"
       "LEVEL 21 define = 02h (2)\nLIMIT 21 constant = 0Fh (15)\n"
       "LOOPS 21 constant = 03h (3)\n"},
      // Its second operand is "@HL" or a value.
      {12, 11,
       "@HL 14 indirect through HL\nLEVEL 21 define = 02h (2)\nLIMIT 21 constant = 0Fh (15)\n"
       "LOOPS 21 constant = 03h (3)\n"},
      {12, 12, "@HL 14 indirect through HL\n"},
      // ST takes RAM as its second operand.
      {13, 8, "BUF 6 RAM name address 040h, 2 nibbles\n"},
      // A macro's argument may be any name.
      {8, 15,
       "LEVEL 21 define = 02h (2)\nLIMIT 21 constant = 0Fh (15)\nLOOP 3 label address 0001h\n"
       "LOOPS 21 constant = 03h (3)\n"},
      // In a comment, and in a quoted text, nothing.
      {7, 25, ""},
      {16, 13, ""},
      // The value keyword of a condition.
      {18, 7, "PARAMCOUNT 14 directive\n"},
      {18, 5,
       "LEVEL 21 define = 02h (2)\nLIMIT 21 constant = 0Fh (15)\n"
       "LOOPS 21 constant = 03h (3)\n"},
  };
  for (const Case& k : cases)
    EXPECT_EQ(p.complete(p.main, k.line, k.character), k.expected)
        << "line " << k.line << " column " << k.character;

  // "@HL" replaces the "@" typed, which editors do not take as part of a word.
  const json hl = p.session.at("textDocument/completion", p.main, 12, 12)["items"][0];
  EXPECT_EQ(hl["textEdit"]["range"]["start"]["character"], 11);
  EXPECT_EQ(hl["textEdit"]["range"]["end"]["character"], 12);

  // Every mnemonic and the macro where a statement begins, and no symbol.
  const json start = p.session.at("textDocument/completion", p.main, 12, 1);
  EXPECT_EQ(start["items"].size(), 26u + 1u);
  for (const json& item : start["items"])
    EXPECT_TRUE(item["kind"] == 14 || item["label"] == "WAIT") << item;
  // Directives after ".", those that begin with the word first.
  EXPECT_EQ(p.complete(p.main, 10, 3, 4),
            "IF 14 directive\nIFBLANK 14 directive\nIFDEF 14 directive\nIFDIFF 14 directive\n");
}

// The macro's local label is offered in its own body only; the body lines of the include
// file are completed from the run of the main source that reads it.
TEST(LspCompletionTest, LocalLabelsInTheirMacroOnly) {
  Project p;
  EXPECT_EQ(p.complete(p.defs, 6, 6),
            "SPIN 3 local label\nSTART 3 label address 0000h\n"
            "STOP2 3 label address 0003h\n");
  EXPECT_EQ(p.complete(p.main, 11, 6, 1), "START 3 label address 0000h\n");
}

// A program of 300 labels: 200 items are sent, with isIncomplete, in order; a longer word
// narrows them to the prefix matches first.
TEST(LspCompletionTest, LongListsAreCut) {
  Project p;
  std::string text = ".CHIP ZQ4460\n JMP L\n JMP L12\n";
  for (int i = 0; i < 300; ++i) text += "L" + std::to_string(i) + ": NOP\n";
  const std::string many = uri(p.dir.file("many.asm"));
  p.session.open(many, text);
  const json all = p.session.at("textDocument/completion", many, 1, 6);
  EXPECT_TRUE(all["isIncomplete"].get<bool>());
  ASSERT_EQ(all["items"].size(), 200u);
  EXPECT_EQ(all["items"][0]["label"], "L0");
  EXPECT_EQ(all["items"][1]["label"], "L1");
  EXPECT_EQ(all["items"][2]["label"], "L10");
  EXPECT_EQ(all["items"][199]["sortText"], "0199");
  const json some = p.session.at("textDocument/completion", many, 2, 8);
  EXPECT_FALSE(some["isIncomplete"].get<bool>());
  ASSERT_GE(some["items"].size(), 11u);
  EXPECT_EQ(some["items"][0]["label"], "L12");
  EXPECT_EQ(some["items"][1]["label"], "L120");
  EXPECT_EQ(some["items"][10]["label"], "L129");
  EXPECT_EQ(some["items"][11]["label"], "L102");  // the scattered matches after them
}

// The signatures of a mnemonic's forms and of a macro, the active operand counted by the
// commas before the cursor outside quotes, the form that fits what is written chosen.
TEST(LspSignatureHelpTest, FormsAndMacroParameters) {
  Project p;
  EXPECT_EQ(p.capabilities["signatureHelpProvider"]["triggerCharacters"], json({" ", ","}));
  struct Case {
    int line, character;
    const char* expected;  // "LABEL [a-b, ...]" per signature, the active one marked "*", and
                           // the active parameter
  };
  const Case cases[] = {
      {12, 5, "*MOV value, @HL [4-9 11-14]\nMOV value, value [4-9 11-16]\nparameter 0"},
      {12, 11, "*MOV value, @HL [4-9 11-14]\nMOV value, value [4-9 11-16]\nparameter 1"},
      // ST: "@HL" written first chooses the form that takes it.
      {13, 7, "ST @HL, value [3-6 8-13]\n*ST value, value [3-8 10-15]\nparameter 1"},
      {14, 9, "*ST @HL, value [3-6 8-13]\nST value, value [3-8 10-15]\nparameter 1"},
      // CALL: the page form has the second operand.
      {15, 6, "*CALL address [5-12]\nCALL page, address [5-9 11-18]\nparameter 0"},
      {15, 9, "CALL address [5-12]\n*CALL page, address [5-9 11-18]\nparameter 1"},
      // A macro call after a label; the comma in quotes is no separator.
      {8, 11, "*WAIT FLAG, CNT [5-9 11-14]\nparameter 0"},
      {8, 14, "*WAIT FLAG, CNT [5-9 11-14]\nparameter 1"},
      {16, 12, "*WAIT FLAG, CNT [5-9 11-14]\nparameter 0"},
      {16, 15, "*WAIT FLAG, CNT [5-9 11-14]\nparameter 1"},
      // No operands, a directive, a comment, the mnemonic itself: nothing.
      {17, 5, "null"},
      {18, 5, "null"},
      {7, 25, "null"},
      {12, 3, "null"},
  };
  for (const Case& k : cases) {
    const json help = p.session.at("textDocument/signatureHelp", p.main, k.line, k.character);
    std::string text = "null";
    if (!help.is_null()) {
      text.clear();
      for (size_t i = 0; i < help["signatures"].size(); ++i) {
        const json& s = help["signatures"][i];
        text += (static_cast<int>(i) == help["activeSignature"] ? "*" : "") +
                s["label"].get<std::string>() + " [";
        for (const json& parameter : s["parameters"])
          text += (text.back() == '[' ? "" : " ") +
                  std::to_string(parameter["label"][0].get<int>()) + "-" +
                  std::to_string(parameter["label"][1].get<int>());
        text += "]\n";
      }
      text += "parameter " + std::to_string(help["activeParameter"].get<int>());
    }
    EXPECT_EQ(text, k.expected) << "line " << k.line << " column " << k.character;
  }
  const json call = p.session.at("textDocument/signatureHelp", p.main, 8, 14);
  EXPECT_EQ(call["signatures"][0]["documentation"], "macro, defined at defs.inc:4");
  const json mov = p.session.at("textDocument/signatureHelp", p.main, 12, 5);
  EXPECT_EQ(mov["signatures"][1]["documentation"],
            "2000h, operand 1 in 03F0h, operand 2 in 000Fh, "
            "operand 1 RAM 40h-7Fh");
}

}  // namespace
