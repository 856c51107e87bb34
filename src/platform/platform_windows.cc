// The Windows services the assembler was built around: MessageBoxA for messages,
// GetFullPathNameA for full names, CopyFileA, MoveFileEx, and the current directory.
// File names on Windows ignore case already, so names are used as given; streams are
// opened in the callers' modes, which makes "w" and "r" streams text streams (CR LF line
// ends).
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
std::string askForText(Get get) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD length = get(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(static_cast<size_t>(length) + 1);
  }
  return std::string();
}

bool isExistingFile(const std::string& name) {
  DWORD attributes = GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
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

std::string narrowName(const wchar_t* name) {
  const int length = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, name, -1, &narrow[0], length, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(length) - 1);
  return narrow;
}

// The names of the block reach 257 characters, and the temporary name of an output, or
// NAME.TAB.HEX, goes beyond MAX_PATH, which the ANSI functions refuse (GetTempFileNameA
// refuses a folder longer than MAX_PATH - 14). Files that are replaced are therefore
// made, moved and removed through the wide functions with the "\\?\" form of the full
// name, which has no such limit. That form is taken literally, so "/", "." and ".." are
// resolved first.
std::wstring extendedName(const std::string& name) {
  const std::wstring wide = wideName(name);
  if (wide.empty() || wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0)
    return wide;
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  size = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
  if (size == 0 || size >= full.size()) return wide;
  full.resize(size);
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
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
  return askForText([](DWORD size, char* buffer) { return GetCurrentDirectoryA(size, buffer); });
}

std::string executablePath() {
  char buffer[4096];
  DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

bool isTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

std::string fullPath(const std::string& name) {
  if (name.empty()) return std::string();
  return askForText([&name](DWORD size, char* buffer) {
    return GetFullPathNameA(name.c_str(), size, buffer, nullptr);
  });
}

std::string resolveExistingName(const std::string& name) {
  std::string full = fullPath(name);
  return !full.empty() && GetFileAttributesA(full.c_str()) != INVALID_FILE_ATTRIBUTES
             ? full
             : std::string();
}

int openReadOnly(const std::string& name) {
  if (!isExistingFile(name)) return -1;
  int descriptor = _open(name.c_str(), _O_RDONLY | _O_BINARY);
  if (descriptor >= 0 && !isDiskFile(descriptor)) {
    _close(descriptor);
    return -1;
  }
  return descriptor;
}

FILE* openForReading(const std::string& name, const char* mode) {
  if (!isExistingFile(name)) return nullptr;
  FILE* stream = std::fopen(name.c_str(), mode);
  if (stream != nullptr && !isDiskFile(_fileno(stream))) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

InputFile readInputFile(const std::string& name, size_t maxBytes, std::string& contents) {
  contents.clear();
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    setErrnoFromSystem();
    return InputFile::kMissing;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return InputFile::kNotRegular;
  const int descriptor = _open(name.c_str(), _O_RDONLY | _O_BINARY);
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

FILE* openForWriting(const std::string& name, const char* mode) {
  if (name.empty()) return nullptr;
  return std::fopen(name.c_str(), mode);
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
