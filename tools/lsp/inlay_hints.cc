// Inlay hints from the facts of the runs. Every hint stands at the end of its statement
// (before a comment), so that the text keeps its columns: the address of the words a line wrote,
// the trampoline a routed CALL or JMP goes through with its far target, and the value of an EQU.
//
// A line of a macro body belongs to every expansion of the macro: it gets no hint. The
// line that calls the macro gets the addresses of the words its expansion wrote (first to
// last) and the trampolines of the routed words among them. A line read more than once
// (an include file read twice, or by two runs) lists each distinct address.
#include <algorithm>
#include <cstdio>
#include <map>

#include "source_lexer.h"
#include "workspace.h"

namespace zqlsp {

namespace {

// A ROM top above this makes a banked chip (banks of 1000h words).
constexpr int32_t kUnbankedRomTop = 4096;
constexpr uint32_t kBankWords = 0x1000;
// The words of a bank convert area that route a far CALL or JMP: a bank select ("SF2"
// 40h, 50h, 60h for banks 0, 1, 2) in the caller's bank, and at the next offset of the
// target bank a "JMP" (D000h + 12-bit address).
constexpr uint16_t kSelectBank0 = 0xFE40;
constexpr uint16_t kSelectBank2 = 0xFE60;
constexpr uint16_t kJumpWord = 0xD000;
// Most distinct addresses or routes one line lists; the rest are counted.
constexpr size_t kMaxPerLine = 4;

std::string hex(int64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*llXh", digits, static_cast<unsigned long long>(value));
  return text[0] >= 'A' ? "0" + std::string(text) : std::string(text);
}

// "0C31h", or on a banked chip "b2 252Bh".
std::string addressText(bool banked, uint32_t address) {
  return banked ? "b" + std::to_string(address / kBankWords) + " " + hex(address, 4)
                : hex(address, 4);
}

// The trampoline and far target of the word at `code`, when the bank convert area routed
// it: its image word then points, within its own bank, at a bank select whose mate in the
// target bank jumps to the far target. False for any other word.
bool routeOf(const RunResult& run, const CodeFact& code, uint32_t& trampoline, uint32_t& target) {
  const std::vector<uint16_t>& image = run.image;
  if (image.empty() || code.word == code.assembled) return false;
  trampoline = (code.address & ~(kBankWords - 1)) | (code.word & (kBankWords - 1));
  if (trampoline >= image.size()) return false;
  const uint16_t select = image[trampoline];
  if (select < kSelectBank0 || select > kSelectBank2 || (select & 0x0F) != 0) return false;
  const uint32_t bank = static_cast<uint32_t>(select - kSelectBank0) >> 4;
  const uint32_t jump = bank * kBankWords + (trampoline & (kBankWords - 1)) + 1;
  if (jump >= image.size() || (image[jump] & 0xF000) != kJumpWord) return false;
  target = bank * kBankWords + (image[jump] & (kBankWords - 1));
  return true;
}

// The column after the statement: the line without its comment and trailing blanks.
int statementEnd(const std::string& line) {
  int end = 0;
  for (const Token& t : lexLine(line))
    if (t.kind != TokenKind::kComment) end = t.end;
  return end;
}

// True when the operand of the EQU on `line` is one number (its value is in plain sight).
bool plainNumber(const std::string& line) {
  const std::vector<Token> tokens = lexLine(line);
  size_t equ = tokens.size();
  for (size_t i = 0; i < tokens.size(); ++i)
    if (tokens[i].kind == TokenKind::kDirective &&
        (tokens[i].text == "EQU" || tokens[i].text == "EQUAL")) {
      equ = i;
      break;
    }
  if (equ + 1 >= tokens.size() || tokens[equ + 1].kind != TokenKind::kNumber) return false;
  return equ + 2 == tokens.size() || tokens[equ + 2].kind == TokenKind::kComment;
}

// The texts of one kind for one line, each once, in the order met.
struct LineTexts {
  std::vector<std::string> texts;
  size_t more = 0;
  void add(const std::string& text) {
    for (const std::string& t : texts)
      if (t == text) return;
    if (texts.size() < kMaxPerLine) {
      texts.push_back(text);
    } else {
      ++more;
    }
  }
  std::string joined() const {
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : ", ") + t;
    if (more > 0) out += " +" + std::to_string(more);
    return out;
  }
};

}  // namespace

InlayHintSwitches mergeSwitches(const InlayHintSettings& first, const InlayHintSettings& second) {
  InlayHintSwitches s;
  s.addresses = first.addresses.value_or(second.addresses.value_or(true));
  s.trampolines = first.trampolines.value_or(second.trampolines.value_or(true));
  s.constants = first.constants.value_or(second.constants.value_or(true));
  return s;
}

// One scan of each run's words and definitions, keeping those of the asked lines: a
// screen of a 12,000-line program costs two passes over its facts.
std::vector<InlayHint> Workspace::inlayHints(const std::string& file, int firstLine, int lastLine,
                                             const InlayHintSwitches& switches) const {
  const std::vector<std::string>& text = lines(file);
  if (text.empty() || firstLine > lastLine) return {};
  if (lastLine >= static_cast<int>(text.size())) lastLine = static_cast<int>(text.size()) - 1;
  if (firstLine < 0) firstLine = 0;
  // Lines counted from 1, as the facts count them.
  const int low = firstLine + 1, high = lastLine + 1;
  std::map<int, LineTexts> addresses, routes, values;
  for (const RunResult* run : runsOf(file)) {
    const bool banked = run->settings.romTop > kUnbankedRomTop;
    if (switches.addresses || switches.trampolines) {
      // The words of one statement or one expansion follow each other in the facts.
      int spanLine = 0;
      uint32_t spanFirst = 0, spanLast = 0;
      auto close = [&]() {
        if (spanLine == 0) return;
        addresses[spanLine].add(spanFirst == spanLast
                                    ? addressText(banked, spanFirst)
                                    : addressText(banked, spanFirst) + ".." + hex(spanLast, 4));
        spanLine = 0;
      };
      for (const CodeFact& code : run->code) {
        const int line = code.source.line;
        if (line < low || line > high || code.source.file != file) {
          close();
          continue;
        }
        if (line != spanLine) close();
        if (spanLine == 0) spanLine = line, spanFirst = code.address;
        spanLast = code.address;
        uint32_t trampoline = 0, target = 0;
        if (switches.trampolines && routeOf(*run, code, trampoline, target))
          routes[line].add("via " + hex(trampoline, 4) + " -> " + addressText(banked, target));
      }
      close();
      if (!switches.addresses) addresses.clear();
    }
    if (switches.constants) {
      for (const SymbolFact& f : run->symbols) {
        if (f.kind != kConstant || !f.definition || f.expansion != 0 || f.at.line < low ||
            f.at.line > high || f.at.file != file)
          continue;
        const std::string& source = text[static_cast<size_t>(f.at.line - 1)];
        if (plainNumber(source)) continue;
        values[f.at.line].add(f.value < 0 ? std::to_string(f.value)
                                          : hex(f.value, 2) + " (" + std::to_string(f.value) + ")");
      }
    }
  }
  std::vector<InlayHint> hints;
  auto emit = [&](const std::map<int, LineTexts>& kind, const char* prefix, const char* tooltip) {
    for (const auto& entry : kind) {
      const std::string& source = text[static_cast<size_t>(entry.first - 1)];
      hints.push_back(InlayHint{entry.first - 1, statementEnd(source),
                                prefix + entry.second.joined(), tooltip});
    }
  };
  // Only a route says more than its label (a tooltip is bytes on every screen's answer).
  emit(addresses, "", "");
  emit(routes, "", "far CALL or JMP through the trampoline of the bank convert area");
  emit(values, "= ", "");
  // Line order; at one line the address before the route.
  std::stable_sort(hints.begin(), hints.end(),
                   [](const InlayHint& a, const InlayHint& b) { return a.line < b.line; });
  return hints;
}

}  // namespace zqlsp
