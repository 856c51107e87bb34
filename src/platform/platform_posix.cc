// POSIX stand-ins for the Windows services the assembler was built around: the message
// box, GetFullPathNameA, case-insensitive file names, CopyFileA, MoveFileExA and the
// current directory.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"

namespace zq {

extern const char kPathSeparator = '/';

namespace {

// Windows names may use either separator; below this point only "/" is used.
std::string withSlashes(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

// Splits an absolute or relative name into its components and resolves "." and ".."
// without touching the file system, as GetFullPathNameA does. A ".." above the root
// stays at the root.
std::vector<std::string> normalisedComponents(const std::string& name) {
  std::string absolute = withSlashes(name);
  if (absolute.empty() || absolute[0] != '/') absolute = currentDirectory() + "/" + absolute;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= absolute.size()) {
    size_t slash = absolute.find('/', start);
    if (slash == std::string::npos) slash = absolute.size();
    std::string part = absolute.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  return parts;
}

std::string joinComponents(const std::vector<std::string>& parts, size_t count) {
  if (count == 0) return "/";
  std::string path;
  for (size_t i = 0; i < count; ++i) path += "/" + parts[i];
  return path;
}

// stat follows links, as opening the name would.
bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Sources and chip files are read only from regular files: a device such as /dev/zero
// or a pipe may never end, or block the reader.
// Opens the regular file `path` read-only; -1 (errno set) when it is missing or cannot be
// opened, -2 when it is no regular file. The name is looked at before it is opened, and
// the open itself does not wait (a pipe put there in between opens at once and is then
// refused by what it is, never read); reads of the descriptor block as usual.
int openRegular(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
  if (!S_ISREG(info.st_mode)) return -2;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -2;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

// True while process `id` exists (also when it belongs to another user).
bool processRuns(long id) {
  if (id <= 0 || id > INT_MAX) return false;
  return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

// The entry of `directory` that `component` names: itself when it exists, else the one
// entry equal to it without regard to case. Empty when none or several match.
std::string matchComponent(const std::string& directory, const std::string& component) {
  std::string prefix = directory == "/" ? directory : directory + "/";
  if (exists(prefix + component)) return component;
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return std::string();
  std::string found;
  int matches = 0;
  while (const dirent* entry = readdir(listing)) {
    std::string entryName = entry->d_name;
    if (entryName != "." && entryName != ".." && equalsNoCase(entryName, component)) {
      found = entryName;
      ++matches;
    }
  }
  closedir(listing);
  return matches == 1 ? found : std::string();
}

// Resolves the first `count` components case-insensitively. Empty when one is missing.
// The walk starts below the longest leading part that exists as written, since each of
// its components would resolve to itself.
std::string resolveComponents(const std::vector<std::string>& parts, size_t count) {
  std::string exact = joinComponents(parts, count);
  if (exists(exact)) return exact;
  size_t start = count == 0 ? 0 : count - 1;
  while (start > 0 && !exists(joinComponents(parts, start))) --start;
  std::string path = joinComponents(parts, start);
  for (size_t i = start; i < count; ++i) {
    std::string entry = matchComponent(path, parts[i]);
    if (entry.empty()) return std::string();
    path = path == "/" ? "/" + entry : path + "/" + entry;
  }
  return path;
}

// The name a file is created under: the directories resolved like an existing name, the
// last component exactly as given. Empty for an empty name.
std::string pathForWriting(const std::string& name) {
  if (name.empty()) return std::string();
  std::vector<std::string> parts = normalisedComponents(name);
  if (parts.empty()) return std::string();
  std::string directory = resolveComponents(parts, parts.size() - 1);
  // A missing directory makes the open fail, with the name as written.
  if (directory.empty()) directory = joinComponents(parts, parts.size() - 1);
  return (directory == "/" ? directory : directory + "/") + parts.back();
}

// Names tried for a temporary file before giving up.
constexpr int kTemporaryAttempts = 100;

#ifdef __EMSCRIPTEN__
// Compiled to WebAssembly, each write of the C library is a call into the JavaScript host,
// and a stream hands its bytes over a kilobyte at a time. A stream written to a file is
// therefore one that gathers 64 KiB before each write of its descriptor.
constexpr size_t kGatherSize = 65536;

struct GatheringFile {
  int fd;
  bool append;
  std::unique_ptr<char[]> buffer;
  size_t pending = 0;
};

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t done = ::write(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

bool flushGathered(GatheringFile& file) {
  const size_t pending = file.pending;
  file.pending = 0;
  return writeAll(file.fd, file.buffer.get(), pending);
}

ssize_t gatheredWrite(void* cookie, const char* data, size_t size) {
  GatheringFile& file = *static_cast<GatheringFile*>(cookie);
  if (file.pending + size > kGatherSize && !flushGathered(file)) return -1;
  if (size >= kGatherSize) return writeAll(file.fd, data, size) ? static_cast<ssize_t>(size) : -1;
  std::memcpy(file.buffer.get() + file.pending, data, size);
  file.pending += size;
  return static_cast<ssize_t>(size);
}

// ftell comes here (SEEK_CUR, 0): the bytes gathered go out first, so the descriptor's
// position is the stream's. Every write of an appending stream lands at the end.
int gatheredSeek(void* cookie, off_t* offset, int whence) {
  GatheringFile& file = *static_cast<GatheringFile*>(cookie);
  if (!flushGathered(file)) return -1;
  if (file.append && whence == SEEK_CUR) {
    const off_t end = lseek(file.fd, 0, SEEK_END);
    if (end < 0) return -1;
    *offset += end;
    whence = SEEK_SET;
  }
  const off_t at = lseek(file.fd, *offset, whence);
  if (at < 0) return -1;
  *offset = at;
  return 0;
}

int gatheredClose(void* cookie) {
  std::unique_ptr<GatheringFile> file(static_cast<GatheringFile*>(cookie));
  bool ok = flushGathered(*file);
  const int reason = errno;
  if (::close(file->fd) != 0) ok = false;
  if (!ok && errno == 0) errno = reason;
  return ok ? 0 : -1;
}
#endif

// A stream over the open descriptor `fd`, as fdopen gives; the descriptor is closed when
// no stream can be made.
FILE* streamOver(int fd, const char* mode) {
#ifdef __EMSCRIPTEN__
  if (std::strchr(mode, '+') == nullptr && (mode[0] == 'w' || mode[0] == 'a')) {
    std::unique_ptr<GatheringFile> file(new (std::nothrow) GatheringFile{fd, mode[0] == 'a', nullptr});
    if (file != nullptr) file->buffer.reset(new (std::nothrow) char[kGatherSize]);
    if (file != nullptr && file->buffer != nullptr) {
      cookie_io_functions_t functions = {nullptr, gatheredWrite, gatheredSeek, gatheredClose};
      if (FILE* stream = fopencookie(file.get(), mode, functions)) {
        file.release();
        return stream;
      }
    }
    ::close(fd);
    return nullptr;
  }
#endif
  FILE* stream = fdopen(fd, mode);
  if (stream == nullptr) ::close(fd);
  return stream;
}

// fopen, with the streams of the WebAssembly build that only write gathering their bytes.
FILE* openStream(const std::string& path, const char* mode) {
#ifdef __EMSCRIPTEN__
  if (std::strchr(mode, '+') == nullptr && (mode[0] == 'w' || mode[0] == 'a')) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode[0] == 'a' ? O_APPEND : O_TRUNC);
    const int fd = open(path.c_str(), flags, 0666);
    return fd < 0 ? nullptr : streamOver(fd, mode);
  }
#endif
  return std::fopen(path.c_str(), mode);
}

}  // namespace

// Writes the text and, unless it already ends with one, a line end. stderr is
// unbuffered, so this never waits for a reader.
void showSystemMessage(MessageOwner, const char* text) {
  size_t length = std::strlen(text);
  std::fputs(text, stderr);
  if (length == 0 || text[length - 1] != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
}

// getcwd with a buffer that grows as needed; empty when the directory cannot be named
// (for example after it was removed).
std::string currentDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

std::string executablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return length > 0 ? std::string(buffer.data(), static_cast<size_t>(length)) : std::string();
}

bool isTerminal(FILE* stream) { return isatty(fileno(stream)) == 1; }

std::string resolveExistingName(const std::string& name) {
  if (name.empty()) return std::string();
  std::vector<std::string> parts = normalisedComponents(name);
  return resolveComponents(parts, parts.size());
}

std::string fullPath(const std::string& name) {
  if (name.empty()) return std::string();
  std::vector<std::string> parts = normalisedComponents(name);
  std::string existing = resolveComponents(parts, parts.size());
  if (existing.empty()) return joinComponents(parts, parts.size());
  // realpath resolves links and, since `existing` came from directory listings, keeps
  // each component spelled as stored on disk.
  char* real = realpath(existing.c_str(), nullptr);
  if (real == nullptr) return existing;
  std::string result = real;
  std::free(real);
  return result;
}

int openReadOnly(const std::string& name) {
  std::string existing = resolveExistingName(name);
  if (existing.empty()) return -1;
  const int fd = openRegular(existing);
  return fd >= 0 ? fd : -1;
}

FILE* openForReading(const std::string& name, const char* mode) {
  const int fd = openReadOnly(name);
  if (fd < 0) return nullptr;
  FILE* stream = fdopen(fd, mode);
  if (stream == nullptr) ::close(fd);
  return stream;
}

InputFile readInputFile(const std::string& name, size_t maxBytes, std::string& contents) {
  contents.clear();
  const int fd = openRegular(name);
  if (fd == -2) return InputFile::kNotRegular;
  if (fd < 0) return InputFile::kMissing;
  // The size first, so that a huge file is refused without being read; the reads stop
  // one byte past the limit in case the file grew meanwhile.
  struct stat info;
  if (fstat(fd, &info) == 0 && static_cast<uint64_t>(info.st_size) > maxBytes) {
    ::close(fd);
    return InputFile::kTooLarge;
  }
  const InputFile result = readBlocks(maxBytes, contents, [fd](char* buffer, size_t size) {
    ssize_t got;
    do got = ::read(fd, buffer, size);
    while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
  });
  const int reason = errno;
  ::close(fd);
  errno = reason;
  if (result != InputFile::kRead) contents.clear();
  return result;
}

bool deleteFile(const std::string& name) { return unlink(name.c_str()) == 0; }

FILE* openFile(const std::string& name, const char* mode) { return openStream(name, mode); }

FILE* openForWriting(const std::string& name, const char* mode) {
  std::string path = pathForWriting(name);
  return path.empty() ? nullptr : openStream(path, mode);
}

void writeToStream(FILE* stream, const char* data, size_t size) {
#ifdef __GLIBC__
  // What fits the stream's buffer is copied into it directly, as glibc's own putc_unlocked
  // does with these two pointers; the rest (a full buffer, an unbuffered or failed
  // stream) goes through fwrite.
  if (stream->_IO_write_ptr != nullptr &&
      static_cast<size_t>(stream->_IO_write_end - stream->_IO_write_ptr) > size) {
    std::memcpy(stream->_IO_write_ptr, data, size);
    stream->_IO_write_ptr += size;
    return;
  }
  fwrite_unlocked(data, 1, size, stream);
#else
  std::fwrite(data, 1, size, stream);
#endif
}

ReplacingFile::ReplacingFile(const std::string& name, const char* mode)
    : target_(pathForWriting(name)) {
  if (target_.empty()) return;
  removeStaleTemporaries(target_);
  // Beside the file, so the rename stays within one file system; O_EXCL makes the name
  // this run's own, and mode 0666 gives the permissions fopen would (the umask applies).
  const std::string stem = target_ + ".tmp" + std::to_string(getpid()) + "_";
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    std::string candidate = stem + std::to_string(attempt);
    int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;  // another file of this process for the same name
      return;
    }
    temporary_ = candidate;
    stream_ = streamOver(fd, mode);
    if (stream_ == nullptr) discard();
    return;
  }
}

void removeStaleTemporaries(const std::string& name) {
  const std::string target = pathForWriting(name);
  const size_t slash = target.rfind('/');
  if (target.empty() || slash == std::string::npos) return;
  const std::string directory = slash == 0 ? "/" : target.substr(0, slash);
  const std::string file = target.substr(slash + 1);
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> stale;
  const long self = static_cast<long>(getpid());
  while (const dirent* entry = readdir(listing)) {
    const long owner = temporaryNameOwner(entry->d_name, file);
    // This process has no such file open between runs: one of its id is a leftover.
    if (owner > 0 && (owner == self || !processRuns(owner))) stale.push_back(entry->d_name);
  }
  closedir(listing);
  for (const std::string& entry : stale) unlink((directory + "/" + entry).c_str());
}

bool moveFileOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace zq
