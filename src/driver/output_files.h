// The output file set: twelve names derived from the main source, and the four text
// streams (listing, symbol, error, map) that stay open for the whole run.
#ifndef ZQASM_DRIVER_OUTPUT_FILES_H_
#define ZQASM_DRIVER_OUTPUT_FILES_H_

#include <cstdio>
#include <string>

namespace zq {

struct AssemblerRun;

struct OutputFiles {
  std::string hexName, objName, lstName, lblName, errName, symName;
  std::string equName, tabName, binName, mapName, ramName, jmpName;
  FILE* listing = nullptr;  // ".LST", written in pass 2
  FILE* symbol = nullptr;   // ".SYM", address to listing line
  FILE* error = nullptr;    // ".ERR"
  FILE* map = nullptr;      // ".MAP", one record per instruction

  OutputFiles() = default;
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;
  ~OutputFiles() { close(); }
  // Closes symbol file, listing, error file and map file, in that order.
  void close();
};

// Replaces the extension of `name` (from its last "." anywhere, or appends it).
// With keep set, a name that has an extension stays as it is. Empty names stay empty.
void replaceExtension(std::string& name, const char* extension, bool keep);

// Derives the names, removes the stale ".JMP", creates the four streams.
// Returns 1, or -1 (source missing: no message; a stream not created: message).
int prepareOutputFiles(AssemblerRun& run, const std::string& sourcePath);
void closeOutputFiles(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_DRIVER_OUTPUT_FILES_H_
