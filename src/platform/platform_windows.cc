// The Windows services the assembler was built around: MessageBoxA for messages,
// GetFullPathNameA for full names, CopyFileA, MoveFileExA, and the current directory.
// File names on Windows ignore case already, so names are used as given; streams are
// opened in the callers' modes, which makes "w" and "r" streams text streams (CR LF line
// ends).
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zq {

namespace {

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

FILE* openForWriting(const std::string& name, const char* mode) {
  if (name.empty()) return nullptr;
  return std::fopen(name.c_str(), mode);
}

void writeToStream(FILE* stream, const char* data, size_t size) {
  std::fwrite(data, 1, size, stream);
}

ReplacingFile::ReplacingFile(const std::string& name, const char* mode) : target_(name) {
  if (name.empty()) return;
  // GetTempFileNameA creates a uniquely named file beside `name`, so the move in commit
  // stays on one volume and two runs never share it.
  size_t slash = name.find_last_of("\\/");
  std::string directory = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  char temporary[MAX_PATH];
  if (GetTempFileNameA(directory.c_str(), "zqa", 0, temporary) == 0) return;
  temporary_ = temporary;
  stream_ = std::fopen(temporary, mode);
  if (stream_ == nullptr) discard();
}

bool moveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// Windows has no file size signal: a write beyond a quota fails with an error already.
void ignoreFileSizeSignal() {}

}  // namespace zq
