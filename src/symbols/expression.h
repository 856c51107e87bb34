// Expression evaluator. A text-rewriting evaluator: symbols are replaced by their
// decimal values, the innermost group is reduced and spliced back as decimal text, and
// a group without parentheses is reduced one operator character at a time in the order
// "*/%<>&|^+-~". Re-reading spliced results through parseNumber is deliberate: it gives
// the assembler its documented arithmetic (1-5+8 is 260, -3*2 is 506).
#ifndef ZQASM_SYMBOLS_EXPRESSION_H_
#define ZQASM_SYMBOLS_EXPRESSION_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace zq {

struct AssemblerRun;

// Symbol classes: 2 value operands (constants, DEFINE names, RAM names); 3 and 4 branch
// targets (labels only).
constexpr int kClassValue = 2;
constexpr int kClassBranch = 3;
constexpr int kClassCallJump = 4;

// True for one of the operator characters "*/%<>&|^+-~" (the shift operators are written
// "<<" and ">>" in the source).
bool isOperatorChar(char c);

constexpr int kMalformedNumber = -99999;

// Longest rewritten expression and longest pending token, in characters. Longer texts
// are rejected as a syntax error (-20).
constexpr size_t kMaxExpressionText = 511;

// One operand field: value 0..65535 or negative; in pass 2 a failure is reported.
int evaluateOperand(AssemblerRun& run, std::string_view text, int pass, int symbolClass);
// Notes the symbol of the last evaluation that found none (error 12) for the run observer.
void noteUndefinedSymbol(AssemblerRun& run);
// -1 number, -100 malformed number, 1 expression, 2 symbol.
int classifyOperand(std::string_view text);
// One number in the source syntax; lastIndex is length - 1. -99999 malformed, -1 empty.
int parseNumber(std::string_view text, int lastIndex);
// Value >= 0 or the negated diagnostic number (-12, -18, -19, -20, -1).
int evaluateExpression(AssemblerRun& run, std::string_view text, int symbolClass);
// The same through the text rewrite alone. evaluateExpression works the usual forms out
// without it, to the same result.
int evaluateExpressionText(AssemblerRun& run, std::string_view text, int symbolClass);
// Value of a symbol or -1.
int lookupSymbol(AssemblerRun& run, std::string_view name, int symbolClass);
// FFH-style names read as hexadecimal; -1 otherwise.
int parseLetterHex(std::string_view name);
// Replaces each quoted character constant by its decimal code, in place.
void replaceCharConstants(std::string& text);

// Reducers of a parenthesis-free text, in place: 1 on success (the text is then one
// signed decimal number), -1 on failure. reduceFlat applies every operator present;
// applyOperator one operator level ('+' and '-' are one level).
int reduceFlat(std::string& text);
int applyOperator(std::string& text, char operatorChar);
// Replaces text[from..to] (inclusive) by `insert`; indexes past the end are clamped.
void spliceText(std::string& text, const std::string& insert, size_t from, size_t to);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_EXPRESSION_H_
