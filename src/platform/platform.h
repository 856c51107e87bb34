// Platform layer: the few operating-system services the assembler needs, in the shape
// its callers expect (message box, full path names, case-insensitive file names, file
// copy, the directory current at load time). Everything above this folder is portable.
#ifndef ZQASM_PLATFORM_PLATFORM_H_
#define ZQASM_PLATFORM_PLATFORM_H_

#include <cstdio>
#include <string>

namespace zq {

// Shows one message (at most 1,023 characters after formatting) through the installed
// sink; the default sink writes it with a line end to standard error and never blocks.
void showMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The directory that was current when the library was loaded (at most 255 characters).
const std::string& loadDirectory();

// Absolute form of a name: "\\" and "/" both separate components, "." and ".." are
// resolved against the current directory. An existing file is named as realpath gives
// it (links resolved, components spelled as stored); any other name is normalised.
std::string fullPath(const std::string& name);

// The name of an existing file that `name` designates: the name itself when it exists,
// else the name resolved component by component, "\\" read as "/", each component
// matched without regard to case in its directory (an exact match wins, an ambiguous
// match is a miss). Returns an empty string when nothing matches.
std::string resolveExistingName(const std::string& name);

// Opens an existing file for reading (binary), resolving its name as above.
// Returns a descriptor, or a negative value.
int openReadOnly(const std::string& name);

// Opens a stream for reading, resolving the name as above. nullptr on failure.
FILE* openForReading(const std::string& name, const char* mode);

// Copies `from` over `to` (replacing it). Returns true on success.
bool copyFile(const std::string& from, const std::string& to);

// Reads a text stream the way fgets does with an 82-byte buffer: at most 81 characters
// per piece, a piece ends after its line feed. A carriage return that stands before a
// line feed is dropped; a NUL byte is read as a blank.
class PieceReader {
 public:
  explicit PieceReader(FILE* stream) : stream_(stream) {}
  // Fills `piece` with the next piece; false at end of file.
  bool next(std::string& piece);

 private:
  FILE* stream_;
};

}  // namespace zq

#endif  // ZQASM_PLATFORM_PLATFORM_H_
