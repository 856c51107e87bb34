// How the server words the facts of a run for the user: the detail of a definition, the
// name of a symbol kind, a chip record's operands and fields. Hovers, completion items and
// signature help say the same things in the same words.
#ifndef ZQASM_TOOLS_LSP_FACT_TEXT_H_
#define ZQASM_TOOLS_LSP_FACT_TEXT_H_

#include <string>

#include "run_facts.h"

namespace zqlsp {

// "address 0010h, bank 0", "= 0Fh (15)", "address 040h, 2 nibbles", "(REG, VAL)".
std::string symbolDetail(const RunResult& run, const SymbolFact& definition);
// "label", "RAM name", ... for a SymbolKind.
const char* symbolKindName(int kind);
// The operands of a chip record as a statement writes them: "value, @HL", "address  |
// page, address" for the two forms of CALL and JMP, "" for none.
std::string operandFormOf(const Opcode& record);
// The record as a hover lists it: "MOV value, value    ; 2000h, operand 1 in 03F0h, ...".
std::string opcodeLine(const Opcode& record);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_FACT_TEXT_H_
