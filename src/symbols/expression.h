// Expression evaluator. A text-rewriting evaluator: symbols are replaced by their
// decimal values, the innermost group is reduced and spliced back as decimal text, and
// a group without parentheses is reduced one operator character at a time in the order
// "*/%<>&|^+-~". Re-reading spliced results through parseNumber is deliberate: it gives
// the assembler its documented arithmetic (1-5+8 is 260, -3*2 is 506).
#ifndef ZQASM_SYMBOLS_EXPRESSION_H_
#define ZQASM_SYMBOLS_EXPRESSION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

struct AssemblerRun;

// Symbol classes: 2 value operands (constants, DEFINE names, RAM names); 3 and 4 branch
// targets (labels only).
constexpr int kClassValue = 2;
constexpr int kClassBranch = 3;
constexpr int kClassCallJump = 4;

// Longest rewritten expression and longest pending token, in characters. Longer texts
// are rejected as a syntax error (-20).
constexpr size_t kMaxExpressionText = 511;

// What the evaluation of one operand in pass 2 found for the trap warnings 7
// (truncation), 8 (negative-unsigned) and 9 (mixed-operators); filled only when the host
// asked for one of them. Each text is the note of its warning, empty when nothing was
// found; the first finding of each kind stands.
struct OperandFindings {
  std::string truncated;     // 7: a value cut to the evaluator's 32 bits or to 8 bits
  std::string negativeRead;  // 8: a negative intermediate or number read back unsigned
  std::string mixed;         // 9: the two readings of operators mixed without parentheses
  // 7 where a wider value is stored: the whole operand is a negative number from -128 to
  // -1, which the number syntax reads as its 8-bit two's complement (-1 is 255). A byte
  // holds exactly that; a word, an address or a constant holds 00FFh instead. 0: none.
  int32_t wholeByteNegative = 0;
};

// Whether the host asked for any of the trap warnings 7, 8 and 9; beginPass keeps the
// answer for pass 2 in SourceState::operandChecks, which the checks ask first.
bool operandChecksOn();
// Raises the warnings `findings` holds, for a value the caller has accepted. `byteStore`:
// the value lands in 8 bits (a data byte, an 8-bit operand field), where a negative
// number down to -128 is stored whole.
void raiseOperandFindings(AssemblerRun& run, const OperandFindings& findings, bool byteStore);

// One operand field: value 0..65535 or negative; in pass 2 a failure is reported. With
// the trap warnings 7 to 9 asked for, pass 2 also checks the operand: into `findings`
// when given (the caller raises them once it has stored the value), else raised here
// when the operand evaluates.
int evaluateOperand(AssemblerRun& run, std::string_view text, int pass, int symbolClass,
                    OperandFindings* findings = nullptr);
// evaluateOperand as in pass 0 (nothing raised), with the checks of the trap warnings 7 to
// 9 into `findings`: for the operands of a condition, which every pass evaluates silently.
int evaluateOperandSilently(AssemblerRun& run, std::string_view text, int symbolClass,
                            OperandFindings& findings);
// Notes the symbol of the last evaluation that found none (error 12) for the run observer.
void noteUndefinedSymbol(AssemblerRun& run);
// Value >= 0 or the negated diagnostic number (-12, -18, -19, -20, -1).
int evaluateExpression(AssemblerRun& run, std::string_view text, int symbolClass);
// The same through the text rewrite alone. evaluateExpression works the usual forms out
// without it, to the same result.
int evaluateExpressionText(AssemblerRun& run, std::string_view text, int symbolClass);
// evaluateExpression with the checks of the trap warnings 7 to 9 into `findings`, for a
// pass 2 caller when operandChecksOn(). The value is evaluateExpression's, worked out by
// the text rewrite in every case, so that every form of an operand is checked alike.
int evaluateExpressionChecked(AssemblerRun& run, std::string_view text, int symbolClass,
                              OperandFindings& findings);
// The checks of a plain number operand (classifyOperand -1 or -100) into `findings`.
void checkPlainNumber(std::string_view text, OperandFindings& findings);
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
