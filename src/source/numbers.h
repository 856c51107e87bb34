// Numbers and operand shapes as the source writes them: the number syntax, and the test
// that tells a plain number from an expression and from a symbol. Nothing here knows a
// symbol's value; the expression evaluator, the constant table, the ORG pre-check and the
// host's define check all read numbers through these.
#ifndef ZQASM_SOURCE_NUMBERS_H_
#define ZQASM_SOURCE_NUMBERS_H_

#include <string_view>

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

// -1 number, -100 malformed number, 1 expression, 2 symbol.
int classifyOperand(std::string_view text);
// One number in the source syntax; lastIndex is length - 1. -99999 malformed, -1 empty.
int parseNumber(std::string_view text, int lastIndex);

}  // namespace zq

#endif  // ZQASM_SOURCE_NUMBERS_H_
