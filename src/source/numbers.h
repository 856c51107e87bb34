// Numbers and operand shapes as the source writes them: the number syntax, and the test
// that tells a plain number from an expression and from a symbol. Nothing here knows a
// symbol's value; the expression evaluator, the constant table, the ORG pre-check and the
// host's define check all read numbers through these.
#ifndef ZQASM_SOURCE_NUMBERS_H_
#define ZQASM_SOURCE_NUMBERS_H_

#include <cstddef>
#include <string_view>

#include "platform/text.h"

namespace zq {

// The operator characters. Their order is the evaluator's precedence, tightest first; in
// a rewritten text "<<" and ">>" are held as the single characters '<' and '>'.
constexpr char kOperators[] = "*/%<>&|^+-~";

// The operator characters as a table, for the scans that test every character, and the
// characters that end a symbol: the operators and the parentheses.
struct OperatorTable {
  bool isOperator[256] = {};
  bool endsSymbol[256] = {};
  constexpr OperatorTable() : isOperator(), endsSymbol() {
    for (const char* op = kOperators; *op; ++op) {
      isOperator[static_cast<unsigned char>(*op)] = true;
      endsSymbol[static_cast<unsigned char>(*op)] = true;
    }
    endsSymbol[static_cast<unsigned char>('(')] = true;
    endsSymbol[static_cast<unsigned char>(')')] = true;
  }
};
inline constexpr OperatorTable kOperatorTable;

// True for one of the operator characters "*/%<>&|^+-~" (the shift operators are written
// "<<" and ">>" in the source).
inline bool isOperatorChar(char c) {
  return kOperatorTable.isOperator[static_cast<unsigned char>(c)];
}

constexpr int kMalformedNumber = -99999;

// One number in the source syntax; lastIndex is length - 1. -99999 malformed, -1 empty.
int parseNumber(std::string_view text, int lastIndex);

// -1 number, -100 malformed number, 1 expression, 2 symbol. The rules are tried in order;
// the first that applies decides. Note that a radix suffix is looked at before the
// malformed-number case, so 12AB counts as a (bad) binary number and only texts such as
// 12AX are -100. Inline: the evaluator asks it of every operand first.
inline int classifyOperand(std::string_view text) {
  if (text.empty()) return -1;
  char first = text[0];
  if (isLetter(first) || first == '_' || first == '?') return 2;

  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '_') return 2;
    if (!isOperatorChar(c)) continue;
    if (i > 0) return 1;
    // An operator in front of digits only is a sign: -5 stays a number.
    for (size_t j = 1; j < text.size(); ++j)
      if (!isDigit(text[j])) return 1;
  }

  // No operator: a number unless it looks like a name.
  size_t letter = 0;
  while (letter < text.size() && !isLetter(text[letter])) ++letter;
  if (letter == text.size()) return -1;
  if (first == '$') return -1;
  if (!isDigit(first)) return 2;
  char suffix = toUpper(text.back());
  if (suffix == 'H' || suffix == 'B' || suffix == 'D') return -1;
  return -100;
}

}  // namespace zq

#endif  // ZQASM_SOURCE_NUMBERS_H_
