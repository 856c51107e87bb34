// Symbol listings after the passes: the label file (".LBL") and the in-place sorts the
// SORTLABELFILE, SORTEQUFILE and SORTRAMFILE directives ask for.
#ifndef ZQASM_SYMBOLS_SYMBOL_LISTING_H_
#define ZQASM_SYMBOLS_SYMBOL_LISTING_H_

#include <string>

namespace zq {

struct AssemblerRun;

void sortConstants(AssemblerRun& run);
void sortLabels(AssemblerRun& run);
void sortRamNames(AssemblerRun& run);
void writeLabelFile(AssemblerRun& run, const std::string& path);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_SYMBOL_LISTING_H_
