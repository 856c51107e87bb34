// The Windows services the assembler was built around: MessageBoxA for messages, full
// names as GetFullPathNameA gives them, MoveFileEx, and the current directory. Names come
// in and go out as 8-bit text in the ANSI code page; every file is reached through the
// wide functions with the "\\?\" form of its full name (see extendedName), so that no name
// the parameter block admits is refused for its length. File names on Windows ignore case
// already, so names are used as given; streams are opened in the callers' modes, which
// makes "w" and "r" streams text streams (CR LF line ends).
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zq {

extern const char kPathSeparator = '\\';

namespace {

// Names tried for a temporary file before giving up.
constexpr int kTemporaryAttempts = 100;

// Caption of every message box: a single blank.
const char kMessageCaption[] = " ";
// The question-mark icon, the style every message of the run is shown with.
constexpr UINT kMessageStyle = MB_ICONQUESTION;

// Calls `get(size, buffer)`, which returns the length written or, when the buffer is too
// small, the size needed; grows the buffer until the text fits. Empty on failure.
template <typename Get>
std::wstring askForText(Get get) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD length = get(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(static_cast<size_t>(length) + 1);
  }
  return std::wstring();
}

// Sources and chip files are read only from files on disk: a device (NUL, CON) or a pipe
// may never end, or block the reader.
bool isDiskFile(int descriptor) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
}

// errno for the last system error, so that callers name the reason as elsewhere.
void setErrnoFromSystem() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      errno = ENOENT;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      errno = EEXIST;
      break;
    default:
      errno = EACCES;
  }
}

// The name in UTF-16 as the ANSI functions would read it (the ANSI code page).
std::wstring wideName(const std::string& name) {
  if (name.empty() || name.size() > 32767) return std::wstring();
  const int size = static_cast<int>(name.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), size, &wide[0], length);
  return wide;
}

// A stream mode ("r", "wb", "a") for the wide functions; modes are plain ASCII.
std::wstring wideMode(const char* mode) {
  std::wstring wide;
  for (const char* c = mode; *c != '\0'; ++c) wide.push_back(static_cast<wchar_t>(*c));
  return wide;
}

std::string narrowName(const wchar_t* name) {
  const int length = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, name, -1, &narrow[0], length, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(length) - 1);
  return narrow;
}

// A name the system takes literally: "\\?\" and "\\.\" (a device such as \\.\NUL, which
// GetFullPathNameW also gives for a bare device name).
bool isLiteralName(const std::wstring& name) {
  return name.compare(0, 4, L"\\\\?\\") == 0 || name.compare(0, 4, L"\\\\.\\") == 0;
}

// The absolute form of `wide`, "/", "." and ".." resolved. GetFullPathNameW, unlike its
// ANSI form, works beyond MAX_PATH. Empty on failure.
std::wstring fullWideName(const std::wstring& wide) {
  if (wide.empty()) return std::wstring();
  return askForText([&wide](DWORD size, wchar_t* buffer) {
    return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
  });
}

// The name under which a file is reached. The names of the block reach 257 characters;
// a relative one made absolute in a deep current folder, a name derived from one (NAME.LST
// for a source without an extension, NAME.TAB.HEX, a temporary name), an include file in
// a long folder or a chip file in a chip directory of 259 characters go beyond MAX_PATH,
// which the ANSI functions and the narrow C library calls refuse. The "\\?\" form of the
// full name has no such limit; it is used for every name, long or not, so that a file is
// reached the same way whatever the length of its name. That form is taken literally, so
// "/", "." and ".." are resolved first (which is all that GetFullPathNameA did to a name).
std::wstring extendedName(const std::string& name) {
  const std::wstring wide = wideName(name);
  if (wide.empty() || isLiteralName(wide)) return wide;
  const std::wstring full = fullWideName(wide);
  if (full.empty()) return wide;
  if (isLiteralName(full)) return full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool isExistingFile(const std::string& name) {
  DWORD attributes = GetFileAttributesW(extendedName(name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// True while process `id` exists.
bool processRuns(long id) {
  if (id <= 0) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

}  // namespace

// Without a display (a service, a test under wine) the box cannot be made and the call
// returns at once; it never waits for anything but the user.
void showSystemMessage(MessageOwner owner, const char* text) {
  HWND window = nullptr;
  if (owner == MessageOwner::kActiveWindow) window = GetActiveWindow();
  if (owner == MessageOwner::kFocusWindow) window = GetFocus();
  MessageBoxA(window, text, kMessageCaption, kMessageStyle);
}

std::string currentDirectory() {
  const std::wstring current =
      askForText([](DWORD size, wchar_t* buffer) { return GetCurrentDirectoryW(size, buffer); });
  return current.empty() ? std::string() : narrowName(current.c_str());
}

std::string executablePath() {
  char buffer[4096];
  DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

bool isTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

// The wide full name in the ANSI code page, which is what GetFullPathNameA gives where it
// works.
std::string fullPath(const std::string& name) {
  const std::wstring full = fullWideName(wideName(name));
  return full.empty() ? std::string() : narrowName(full.c_str());
}

std::string resolveExistingName(const std::string& name) {
  std::string full = fullPath(name);
  return !full.empty() && GetFileAttributesW(extendedName(full).c_str()) != INVALID_FILE_ATTRIBUTES
             ? full
             : std::string();
}

int openReadOnly(const std::string& name) {
  if (!isExistingFile(name)) return -1;
  int descriptor = _wopen(extendedName(name).c_str(), _O_RDONLY | _O_BINARY);
  if (descriptor >= 0 && !isDiskFile(descriptor)) {
    _close(descriptor);
    return -1;
  }
  return descriptor;
}

FILE* openForReading(const std::string& name, const char* mode) {
  if (!isExistingFile(name)) return nullptr;
  FILE* stream = openFile(name, mode);
  if (stream != nullptr && !isDiskFile(_fileno(stream))) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

InputFile readInputFile(const std::string& name, size_t maxBytes, std::string& contents) {
  contents.clear();
  const std::wstring wide = extendedName(name);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    setErrnoFromSystem();
    return InputFile::kMissing;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return InputFile::kNotRegular;
  const int descriptor = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY);
  if (descriptor < 0) return InputFile::kMissing;
  InputFile result = InputFile::kRead;
  if (!isDiskFile(descriptor)) {
    result = InputFile::kNotRegular;
  } else if (_filelengthi64(descriptor) > static_cast<int64_t>(maxBytes)) {
    result = InputFile::kTooLarge;
  } else {
    result = readBlocks(maxBytes, contents, [descriptor](char* buffer, size_t size) {
      return static_cast<long>(_read(descriptor, buffer, static_cast<unsigned>(size)));
    });
  }
  const int reason = errno;
  _close(descriptor);
  errno = reason;
  if (result != InputFile::kRead) contents.clear();
  return result;
}

bool deleteFile(const std::string& name) {
  if (DeleteFileW(extendedName(name).c_str()) != 0) return true;
  setErrnoFromSystem();
  return false;
}

FILE* openFile(const std::string& name, const char* mode) {
  const std::wstring wide = extendedName(name);
  if (wide.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  return _wfopen(wide.c_str(), wideMode(mode).c_str());
}

FILE* openForWriting(const std::string& name, const char* mode) {
  if (name.empty()) return nullptr;
  return openFile(name, mode);
}

void writeToStream(FILE* stream, const char* data, size_t size) {
  std::fwrite(data, 1, size, stream);
}

ReplacingFile::ReplacingFile(const std::string& name, const char* mode) : target_(name) {
  if (name.empty()) return;
  removeStaleTemporaries(name);
  // Beside the file, so the move in moveIntoPlace stays on one volume; CREATE_NEW makes
  // the name this run's own.
  const std::string stem = name + ".tmp" + std::to_string(GetCurrentProcessId()) + "_";
  const int translation = std::strchr(mode, 'b') != nullptr ? _O_BINARY : _O_TEXT;
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    const std::string candidate = stem + std::to_string(attempt);
    HANDLE handle = CreateFileW(extendedName(candidate).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;  // another file of this process
      setErrnoFromSystem();
      return;
    }
    temporary_ = candidate;
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | translation);
    if (descriptor < 0) {
      CloseHandle(handle);
      discard();
      return;
    }
    stream_ = _fdopen(descriptor, mode);
    if (stream_ == nullptr) {
      _close(descriptor);
      discard();
    }
    return;
  }
}

void removeStaleTemporaries(const std::string& name) {
  if (name.empty()) return;
  const size_t slash = name.find_last_of("\\/");
  const std::string directory = slash == std::string::npos ? "." : name.substr(0, slash);
  const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(extendedName(name + ".tmp*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::string> stale;
  const long self = static_cast<long>(GetCurrentProcessId());
  do {
    const std::string entry = narrowName(found.cFileName);
    const long owner = temporaryNameOwner(entry, file);
    // This process has no such file open between runs: one of its id is a leftover.
    if (owner > 0 && (owner == self || !processRuns(owner))) stale.push_back(entry);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const std::string& entry : stale) deleteFile(directory + "\\" + entry);
}

bool moveFileOver(const std::string& from, const std::string& to) {
  if (MoveFileExW(extendedName(from).c_str(), extendedName(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING) != 0)
    return true;
  setErrnoFromSystem();
  return false;
}

// Windows has no file size signal: a write beyond a quota fails with an error already.
void ignoreFileSizeSignal() {}

}  // namespace zq
