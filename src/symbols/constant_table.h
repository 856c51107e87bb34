// Constant table: EQU constants defined in pass 1, checked in pass 2, visible to value
// operands, and reported in the ".EQU" file after the passes.
#ifndef ZQASM_SYMBOLS_CONSTANT_TABLE_H_
#define ZQASM_SYMBOLS_CONSTANT_TABLE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zq {

struct AssemblerRun;

constexpr int kMaxConstants = 4096;

struct ConstantRecord {
  std::string name;        // at most 64 characters
  int32_t value = 0;       // never negative
  int32_t lineNumber = 0;  // line of the definition in its file
  uint8_t duplicate = 0;   // an earlier record has the same name (with case)
  int16_t level = 0;       // includeLevel of the definition
};

struct ConstantTable {
  std::vector<ConstantRecord> records;  // index 0 unused; 1..count in definition order
  int32_t count = 0;
};

// 0 not a definition, resultConstantDefined, or resultFatal when the table is full.
int defineConstant(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                   const char* keyword);
// Writes the ".EQU" file and then the label file.
void writeConstantFile(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_CONSTANT_TABLE_H_
