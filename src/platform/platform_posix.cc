// POSIX stand-ins for the Windows services the assembler was built around: the message
// box, GetFullPathNameA, case-insensitive file names, CopyFileA and the current directory.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"

namespace zq {

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

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Sources and chip files are read only from regular files: a device such as /dev/zero
// or a pipe may never end, or block the reader.
bool isRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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
std::string resolveComponents(const std::vector<std::string>& parts, size_t count) {
  std::string exact = joinComponents(parts, count);
  if (exists(exact)) return exact;
  std::string path = "/";
  for (size_t i = 0; i < count; ++i) {
    std::string entry = matchComponent(path, parts[i]);
    if (entry.empty()) return std::string();
    path = path == "/" ? "/" + entry : path + "/" + entry;
  }
  return path;
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
  if (existing.empty() || !isRegularFile(existing)) return -1;
  return open(existing.c_str(), O_RDONLY | O_CLOEXEC);
}

FILE* openForReading(const std::string& name, const char* mode) {
  std::string existing = resolveExistingName(name);
  if (existing.empty() || !isRegularFile(existing)) return nullptr;
  return std::fopen(existing.c_str(), mode);
}

FILE* openForWriting(const std::string& name, const char* mode) {
  if (name.empty()) return nullptr;
  std::vector<std::string> parts = normalisedComponents(name);
  if (parts.empty()) return nullptr;
  std::string directory = resolveComponents(parts, parts.size() - 1);
  // A missing directory makes the open fail below, with the name as written.
  if (directory.empty()) directory = joinComponents(parts, parts.size() - 1);
  std::string path = (directory == "/" ? directory : directory + "/") + parts.back();
  return std::fopen(path.c_str(), mode);
}

bool replaceFile(const std::string& name, const std::string& contents) {
  // Beside the file, so the rename stays within one file system; unique, so two runs
  // never share it.
  std::string temporary = name + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  FILE* out = fdopen(fd, "w");
  if (out == nullptr) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return false;
  }
  bool ok = std::fwrite(contents.data(), 1, contents.size(), out) == contents.size();
  if (std::fclose(out) != 0) ok = false;
  // mkstemp creates the file for the owner only; the listing keeps its own permissions.
  struct stat info;
  if (ok && stat(name.c_str(), &info) == 0) chmod(temporary.c_str(), info.st_mode & 07777);
  if (ok && std::rename(temporary.c_str(), name.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

FILE* createFileBeside(const std::string& name, const char* mode, std::string& temporary) {
  temporary = name + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  FILE* out = fd < 0 ? nullptr : fdopen(fd, mode);
  if (out == nullptr) {
    if (fd >= 0) {
      ::close(fd);
      ::unlink(temporary.c_str());
    }
    temporary.clear();
  }
  return out;
}

bool moveFileOver(const std::string& temporary, const std::string& name) {
  // mkstemp creates the file for the owner only; the replaced file keeps its permissions.
  struct stat info;
  if (stat(name.c_str(), &info) == 0) chmod(temporary.c_str(), info.st_mode & 07777);
  if (std::rename(temporary.c_str(), name.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

bool copyFile(const std::string& from, const std::string& to) {
  std::string source = resolveExistingName(from);
  if (source.empty() || isDirectory(source)) return false;
  // Opening the target for writing would empty a source that is the same file.
  std::string target = resolveExistingName(to);
  struct stat sourceInfo, targetInfo;
  if (!target.empty() && stat(source.c_str(), &sourceInfo) == 0 &&
      stat(target.c_str(), &targetInfo) == 0 && sourceInfo.st_dev == targetInfo.st_dev &&
      sourceInfo.st_ino == targetInfo.st_ino)
    return false;
  FILE* in = std::fopen(source.c_str(), "rb");
  if (in == nullptr) return false;
  FILE* out = target.empty() ? openForWriting(to, "wb") : std::fopen(target.c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    return false;
  }
  // Every write and the final close are checked: a full disk must not pass as a copy.
  bool ok = true;
  char buffer[8192];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, count, out) != count) {
      ok = false;
      break;
    }
  }
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

}  // namespace zq
