// Symbol listings after the passes: the label file (".LBL") and the in-place sorts the
// SORTLABELFILE, SORTEQUFILE and SORTRAMFILE directives ask for. The sorts reorder the
// tables themselves, so nothing may look a name up afterwards.
#ifndef ZQASM_SYMBOLS_SYMBOL_LISTING_H_
#define ZQASM_SYMBOLS_SYMBOL_LISTING_H_

#include <string>

namespace zq {

struct AssemblerRun;

// 'A' or 'D' when the setting is one of them, otherwise 0 (no sorting).
char sortOrderOf(char setting);

// Name orders: constants and RAM names compare byte by byte as unsigned, with case;
// labels the same when names are case-sensitive, else after folding A-Z to a-z (so "_"
// comes before every letter). Negative, 0 or positive, as strcmp.
int compareExact(const std::string& a, const std::string& b);
int compareFolded(const std::string& a, const std::string& b);

// Each sort gives the order of an exchange sort (for every i, for every j after i,
// exchange when out of order): ascending or descending names, and equal names in the
// order those exchanges leave them.
void sortConstants(AssemblerRun& run);
void sortLabels(AssemblerRun& run);
void sortRamNames(AssemblerRun& run);

// Writes the label file at `path` when the label table is not empty.
void writeLabelFile(AssemblerRun& run, const std::string& path);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_SYMBOL_LISTING_H_
