// Platform layer: the few operating-system services the assembler needs, in the shape
// its callers expect (message box, full path names, case-insensitive file names, file
// copy, the directory current at load time). Everything above this folder is portable.
// platform.cc holds what every system shares; platform_posix.cc or platform_windows.cc,
// chosen by the build, holds the services of the system built for.
#ifndef ZQASM_PLATFORM_PLATFORM_H_
#define ZQASM_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdio>
#include <functional>
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

// The separator this system writes between the directories of a name: "\\" on Windows,
// "/" elsewhere. Names read through this layer may use either.
extern const char kPathSeparator;

// `name` placed in the load directory: "%s%s" when the directory ends in "\\" or "/",
// else the directory, kPathSeparator and the name.
std::string joinWithLoadDirectory(const std::string& name);

// Absolute form of a name: "\\" and "/" both separate components, "." and ".." are
// resolved against the current directory; an empty name gives an empty string. On
// Windows this is what GetFullPathNameA gives, also for names beyond MAX_PATH, where the
// ANSI call fails (names there ignore case already). Elsewhere an
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

// What readInputFile found.
enum class InputFile { kRead, kMissing, kNotRegular, kTooLarge, kFailed };

// Reads the whole file `name` (used exactly as given) as bytes into `contents` when it is
// a regular file of at most `maxBytes` bytes. A directory, device, pipe or socket is
// refused without being read (a pipe without a writer never blocks the caller, a device
// such as /dev/zero is never read without end). kMissing and kFailed leave errno telling
// why.
InputFile readInputFile(const std::string& name, size_t maxBytes, std::string& contents);
// The reading part of readInputFile, shared by both systems: appends what `readBlock`
// gives (the bytes read into its buffer, 0 at the end, negative on failure) to `contents`,
// at most one byte past `maxBytes`. kRead, kTooLarge or kFailed.
InputFile readBlocks(size_t maxBytes, std::string& contents,
                     const std::function<long(char* buffer, size_t size)>& readBlock);

// Removes the file `name` (used exactly as given; never a directory). False when the
// system refused, errno telling why.
bool deleteFile(const std::string& name);

// Opens `name` (used exactly as given) as a stream with `mode`, as fopen does, for names of
// any length the system takes. nullptr on failure.
FILE* openFile(const std::string& name, const char* mode);

// Creates or replaces a file as a stream with `mode` ("w", "wb"). The directories of the
// name are resolved like an existing name; the last component is used exactly as given.
// nullptr on failure.
FILE* openForWriting(const std::string& name, const char* mode);
// Writes `size` bytes to `stream` as fwrite does, without taking the stream's lock where
// the system offers that (the library runs on its caller's thread alone).
void writeToStream(FILE* stream, const char* data, size_t size);

// Reads the whole file `name` (used exactly as given) as a text stream into `contents`
// (on Windows CR LF comes back as LF). False when it cannot be opened or read.
bool readWholeFile(const std::string& name, std::string& contents);

// A file written under a temporary name beside its real name and moved over it only when
// complete, so that a run stopped halfway (killed by a file size limit, say) never leaves
// a partial file under the real name. The temporary name is the real one followed by
// ".tmp<process id>_<n>"; a process killed before its move leaves it behind, and the next
// ReplacingFile of the same name removes it (removeStaleTemporaries). The directories of
// the name are resolved as by openForWriting; the file gets the permissions a newly
// created file gets. Several files that belong together are each written and closed
// first, and then moved into place one right after the other.
class ReplacingFile {
 public:
  // Creates the temporary file and opens it as a stream with `mode` ("w", "wb").
  ReplacingFile(const std::string& name, const char* mode);
  // Removes the temporary file unless it was moved into place; errno is kept.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // The stream to write; nullptr when the temporary file could not be created.
  FILE* stream() const { return stream_; }
  // Closes the stream. True when every write and the close succeeded: the file then waits
  // under its temporary name for moveIntoPlace. Otherwise the temporary file is removed,
  // errno telling why where the system said.
  bool close();
  // Moves the closed file over the real name (replacing a file there). False otherwise,
  // with the temporary file removed and the real name untouched.
  bool moveIntoPlace();
  // close, then moveIntoPlace.
  bool commit() { return close() && moveIntoPlace(); }

 private:
  void discard();

  FILE* stream_ = nullptr;
  bool closed_ = false;    // close succeeded; the file waits under its temporary name
  std::string target_;     // the real name, directories resolved
  std::string temporary_;  // empty once moved into place or discarded
};

// Removes the temporary files of ReplacingFile left beside `name` (used as ReplacingFile
// uses it) by a process that no longer runs, or by an earlier ReplacingFile of this one:
// what a killed run left behind. Files of a process that still runs are kept.
void removeStaleTemporaries(const std::string& name);
// The process id in `entry` (a name without directories) when it is a temporary name that
// ReplacingFile gives the file `file` (also without directories); -1 otherwise.
long temporaryNameOwner(const std::string& entry, const std::string& file);

// Moves the closed file `from` over `to` on the same volume, replacing a file there.
// False when the system refused; `from` is then still there.
bool moveFileOver(const std::string& from, const std::string& to);

// Lets a write beyond the process's file size limit fail with an error instead of ending
// the process (SIGXFSZ ignored). For programs; the library never changes how its host
// handles signals. Does nothing where there is no such signal.
void ignoreFileSizeSignal();

// Reads a text stream the way fgets does with an 82-byte buffer: at most 81 characters
// per piece, a piece ends after its line feed. The stream is read as a Windows text
// stream: a carriage return that stands before a line feed is dropped (also when the two
// would fall in different pieces) and a Ctrl-Z byte ends the text. A NUL byte is read as
// a blank, so no piece holds a NUL. The reader takes the stream's bytes in blocks: nothing
// else may read the stream while the reader is in use. A text held in memory (a source
// overlaid by the host) is read the same way, as one block.
class PieceReader {
 public:
  // `bufferSize` is the size of the fgets buffer; pieces hold at most bufferSize - 1.
  explicit PieceReader(FILE* stream, size_t bufferSize = 82)
      : stream_(stream), capacity_(bufferSize > 1 ? bufferSize - 1 : 1) {}
  // Reads `text`, which must outlive the reader, as if it were the stream's bytes.
  explicit PieceReader(const std::string& text, size_t bufferSize = 82)
      : stream_(nullptr), memory_(&text), capacity_(bufferSize > 1 ? bufferSize - 1 : 1) {}
  // Fills `piece` with the next piece; false (and `piece` empty) at end of file. A line
  // feed in a piece is its last character.
  bool next(std::string& piece);
  // Skips a UTF-8 byte-order mark (EF BB BF) that opens the stream, as editors write it.
  // Call before the first piece.
  void skipByteOrderMark();
  // After next() has answered false: true when the text ended at a Ctrl-Z byte and
  // something other than blanks, tabs, line ends, NULs and further Ctrl-Z bytes follows
  // it. Reads the rest of the stream up to the first such byte.
  bool textAfterEndMark();

 private:
  int nextChar();
  int nextByte();
  bool hasSource() const { return stream_ != nullptr || memory_ != nullptr; }

  FILE* stream_;
  const std::string* memory_ = nullptr;  // the text read instead of a stream
  bool memoryTaken_ = false;             // the text has been handed out as the block
  size_t capacity_;
  bool ended_ = false;    // Ctrl-Z seen, or end of file
  bool endMark_ = false;  // the text ended at a Ctrl-Z byte
  std::unique_ptr<char[]> buffer_;  // the blocks read from the stream
  const char* block_ = nullptr;     // the current block: buffer_ or the text in memory
  size_t blockPos_ = 0;  // next byte of block_ to deliver
  size_t blockEnd_ = 0;  // bytes of block_ filled by the last read
};

}  // namespace zq

#endif  // ZQASM_PLATFORM_PLATFORM_H_
