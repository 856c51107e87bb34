// Checks of an operand for the trap warnings 7 (truncation), 8 (negative-unsigned) and
// 9 (mixed-operators). Run by the evaluator in pass 2 only, and only when the host asked
// for one of them; what they find goes into OperandFindings for the caller to raise.
#ifndef ZQASM_SYMBOLS_EXPRESSION_CHECKS_H_
#define ZQASM_SYMBOLS_EXPRESSION_CHECKS_H_

#include <cstdint>
#include <string_view>

#include "symbols/expression.h"

namespace zq {

// One reduction of the text rewrite, l op r giving `result` (32 bits): notes a result
// that the evaluator's 32 bits cut (7), and a negative result, which whatever reads it
// next reads back as 8 bits (8). Kept only when the whole expression evaluates.
void traceReduction(OperandFindings& findings, char op, int32_t l, int32_t r, int32_t result);

// The checks that look at the whole expression: numbers wider than 32 bits and negative
// numbers (7, 8), and the reading with the usual precedence (9). `source` is the operand
// as written, `rewritten` the evaluator's text with symbols replaced by their values,
// `value` what the evaluator made of it.
void analyseOperand(std::string_view source, std::string_view rewritten, int32_t value,
                    OperandFindings& findings);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_EXPRESSION_CHECKS_H_
