// Platform layer: the few operating-system services the assembler needs, in the shape
// its callers expect (message box, full path names, case-insensitive file names, file
// copy, the directory current at load time). Everything above this folder is portable.
// platform.cc holds what every system shares; platform_posix.cc or platform_windows.cc,
// chosen by the build, holds the services of the system built for.
#ifndef ZQASM_PLATFORM_PLATFORM_H_
#define ZQASM_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace zq {

// Longest message text after formatting; longer texts are cut.
constexpr size_t kMaxMessageLength = 1023;

// Longest directory kept as the load directory; a longer one is not kept.
constexpr size_t kMaxLoadDirectory = 255;

// The window a Windows message box belongs to: the host's active window, the window that
// has the keyboard focus, or none. Other systems show no window and ignore it.
enum class MessageOwner { kActiveWindow, kFocusWindow, kNone };

// Shows one message (at most 1,023 characters after formatting) through the installed
// sink. Without a sink it goes to the system: on Windows a message box with the caption
// " " and the question icon (style 0x20), elsewhere standard error with a line end.
// showMessage gives the box to the host's active window.
void showMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void showOwnedMessage(MessageOwner owner, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The system's own way of showing a message, used when no sink is installed. Never waits
// for anything but the user of a message box.
void showSystemMessage(MessageOwner owner, const char* text);

// Receiver of shown messages. Same shape as the C type ZqasmMessageSink.
using MessageSink = void (*)(const char* text, void* context);
// Installs the process-wide sink; nullptr restores the default (standard error).
void setMessageSink(MessageSink sink, void* context);

// The directory that was current when the library was loaded. Fixed by its first call,
// which the library makes at load time; "." when the current directory is unknown or
// longer than kMaxLoadDirectory.
const std::string& loadDirectory();

// The process's current directory as the system names it; empty when it cannot be named.
std::string currentDirectory();

// Full name of the running program; empty when the system cannot tell it.
std::string executablePath();

// True when `stream` writes to a terminal (a console on Windows).
bool isTerminal(FILE* stream);

// `name` placed in the load directory: "%s%s" when the directory ends in "\\" or "/",
// else "%s\\%s" (open the result through this layer, which reads "\\" as "/").
std::string joinWithLoadDirectory(const std::string& name);

// Absolute form of a name: "\\" and "/" both separate components, "." and ".." are
// resolved against the current directory; an empty name gives an empty string. On
// Windows this is GetFullPathNameA (names there ignore case already). Elsewhere an
// existing file (found as written or case-insensitively, see resolveExistingName) is
// named as realpath gives it (links resolved, components spelled as stored); any other
// name is the normalised absolute name as written.
std::string fullPath(const std::string& name);

// The name of an existing file that `name` designates, absolute and normalised: the name
// itself when it exists, else (not on Windows) the name resolved component by component,
// "\\" read as "/", each component matched without regard to case in its directory (an
// exact match wins, an ambiguous match is a miss). Empty when nothing matches.
std::string resolveExistingName(const std::string& name);

// Opens an existing regular file (no directory, device or pipe) read-only in binary
// mode, resolving its name as above. Returns a descriptor, or a negative value.
int openReadOnly(const std::string& name);

// Opens an existing regular file (no directory, device or pipe) as a stream with `mode`
// ("r", "rb"), resolving its name as above. nullptr on failure.
FILE* openForReading(const std::string& name, const char* mode);

// Creates or replaces a file as a stream with `mode` ("w", "wb"). The directories of the
// name are resolved like an existing name; the last component is used exactly as given.
// nullptr on failure.
FILE* openForWriting(const std::string& name, const char* mode);

// Copies `from` over `to`, replacing it. Returns true on success; false when `from`
// cannot be read, `to` cannot be written, or both name the same file (left untouched).
bool copyFile(const std::string& from, const std::string& to);

// Reads the whole file `name` (used exactly as given) as a text stream into `contents`
// (on Windows CR LF comes back as LF). False when it cannot be opened or read.
bool readWholeFile(const std::string& name, std::string& contents);

// Replaces the file `name` (used exactly as given) by `contents`, written as a text
// stream (on Windows LF goes out as CR LF): writes them to a uniquely named temporary
// file in the same directory and renames it over `name`. The temporary file never stays
// behind; on failure `name` is left as it was.
bool replaceFile(const std::string& name, const std::string& contents);

// Creates a new, uniquely named file beside `name` (in its directory, so that
// moveFileOver stays on one volume) and opens it for writing with `mode` ("w", "wb");
// `temporary` receives its name. nullptr on failure, with nothing left behind.
FILE* createFileBeside(const std::string& name, const char* mode, std::string& temporary);

// Moves the closed file `temporary` over `name`, replacing it; on POSIX systems the
// result keeps the permissions of the file it replaces. On failure `temporary` is
// removed and `name` stays as it was.
bool moveFileOver(const std::string& temporary, const std::string& name);

// Reads a text stream the way fgets does with an 82-byte buffer: at most 81 characters
// per piece, a piece ends after its line feed. The stream is read as a Windows text
// stream: a carriage return that stands before a line feed is dropped (also when the two
// would fall in different pieces) and a Ctrl-Z byte ends the text. A NUL byte is read as
// a blank, so no piece holds a NUL. The reader takes the stream's bytes in blocks: nothing
// else may read the stream while the reader is in use.
class PieceReader {
 public:
  // `bufferSize` is the size of the fgets buffer; pieces hold at most bufferSize - 1.
  explicit PieceReader(FILE* stream, size_t bufferSize = 82)
      : stream_(stream), capacity_(bufferSize > 1 ? bufferSize - 1 : 1) {}
  // Fills `piece` with the next piece; false (and `piece` empty) at end of file.
  bool next(std::string& piece);

 private:
  int nextChar();
  int nextByte();

  FILE* stream_;
  size_t capacity_;
  bool ended_ = false;  // Ctrl-Z seen, or end of file
  std::unique_ptr<char[]> block_;
  size_t blockPos_ = 0;  // next byte of block_ to deliver
  size_t blockEnd_ = 0;  // bytes of block_ filled by the last read
};

}  // namespace zq

#endif  // ZQASM_PLATFORM_PLATFORM_H_
