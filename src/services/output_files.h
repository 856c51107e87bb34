// The output file set: twelve names derived from the main source, and the four text
// streams (listing, symbol, error, map) that stay open for the whole run; and the lookup
// of a source by name (the main source, whose full name the outputs are named after, and
// the include files).
#ifndef ZQASM_SERVICES_OUTPUT_FILES_H_
#define ZQASM_SERVICES_OUTPUT_FILES_H_

#include <cstdint>
#include <cstdio>
#include <string>

namespace zq {

struct AssemblerRun;

struct OutputFiles {
  std::string hexName, objName, lstName, lblName, errName, symName;
  std::string equName, tabName, binName, mapName, ramName, jmpName;
  // ".TAB.HEX", the table ROM image in Intel HEX; with intelHex the object writer writes
  // it and ".HEX", which are otherwise names only.
  std::string tabHexName;
  bool intelHex = false;
  // A flat binary image the host named (full name), written with the images; empty: none.
  std::string binaryName;
  // The OutputKind bits of the files the host wants (ZqasmSetOutputs).
  uint32_t kinds = 0xFFFFFFFFu;
  FILE* listing = nullptr;  // ".LST", written in pass 2
  FILE* symbol = nullptr;   // ".SYM", address to listing line
  FILE* error = nullptr;    // ".ERR"
  FILE* map = nullptr;      // ".MAP", one record per instruction
  // Set when an output could not be written in full (a full disk, a file size limit):
  // the run then reports what an output that cannot be created reports.
  bool writeFailed = false;
  // False when the host asked for no output files: no stream is opened, and the writers
  // create, replace and remove nothing.
  bool enabled = true;
  // Whether the file of OutputKind `kind` is created, replaced or removed.
  bool wants(uint32_t kind) const { return enabled && (kinds & kind) != 0; }

  OutputFiles() = default;
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;
  ~OutputFiles() { close(); }
  // Closes symbol file, listing, error file and map file, in that order, checked as by
  // closeOutputStream.
  void close();
};

// Closes an output stream (when open) and sets it to nullptr. When a write to it or the
// close failed, reports it with reportWriteFailure: a file cut short must never pass for
// a complete one.
void closeOutputStream(OutputFiles& files, FILE*& stream, const std::string& name);

// An output `name` that could not be created or written in full: shows
// "File \"%s\" create failed !\n", sets writeFailed, and writes the same line into the
// error file and the listing while they are open, so that a host reading them learns of
// it there too (the run then ends them without totals, as after a fatal stop).
void reportWriteFailure(OutputFiles& files, const std::string& name);

// Before the totals: writes out what the symbol file, the listing and the map file still
// buffer, and closes at once (reported as above) each whose writes failed, so that the
// error file can tell of it. Good streams stay open, their bytes unchanged.
void flushOutputStreams(OutputFiles& files);

// Replaces the extension of `name` (from its last "." anywhere, or appends it).
// With keep set, a name that has an extension stays as it is. Empty names stay empty.
void replaceExtension(std::string& name, const char* extension, bool keep);

// True when `name` designates a source the run can read: a text the host gave for it
// (the source overlay, looked at first) or a regular file that opens read-only, "\\"
// read as "/" and names matched without regard to case. `fullName` receives the overlay
// key, or the absolute form of `name` (the name itself when that form does not fit 512
// characters).
bool findSourceFile(const std::string& name, std::string& fullName);

// Derives the names, removes the stale ".JMP", creates the four streams; without output
// files (the host's setting) only derives the names. Returns 1, or -1 (source missing,
// on disk and among the host's source texts: no message; a stream not created: message).
int prepareOutputFiles(AssemblerRun& run, const std::string& sourcePath);
void closeOutputFiles(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_SERVICES_OUTPUT_FILES_H_
