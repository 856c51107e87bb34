// The part of the platform layer that every system shares: the message sink and the
// formatting of messages, the load directory, whole-file and text-mode stream reading. The system
// services themselves are in platform_posix.cc or platform_windows.cc.
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace zq {

namespace {

struct SinkSetting {
  MessageSink sink = nullptr;
  void* context = nullptr;
};

// The one process-wide setting of this layer: where messages go.
SinkSetting& sinkSetting() {
  static SinkSetting setting;
  return setting;
}

void showFormatted(MessageOwner owner, const char* format, va_list args) {
  // vsnprintf cuts an over-long text at the buffer's end instead of writing past it.
  char text[kMaxMessageLength + 1];
  if (std::vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
  const SinkSetting& setting = sinkSetting();
  if (setting.sink != nullptr)
    setting.sink(text, setting.context);
  else
    showSystemMessage(owner, text);
}

}  // namespace

void setMessageSink(MessageSink sink, void* context) {
  sinkSetting().sink = sink;
  sinkSetting().context = sink ? context : nullptr;
}

void showMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  showFormatted(MessageOwner::kActiveWindow, format, args);
  va_end(args);
}

void showOwnedMessage(MessageOwner owner, const char* format, ...) {
  va_list args;
  va_start(args, format);
  showFormatted(owner, format, args);
  va_end(args);
}

const std::string& loadDirectory() {
  // Fixed by the first call; the library calls it while being loaded.
  static const std::string directory = [] {
    std::string current = currentDirectory();
    return current.empty() || current.size() > kMaxLoadDirectory ? std::string(".") : current;
  }();
  return directory;
}

std::string joinWithLoadDirectory(const std::string& name) {
  const std::string& directory = loadDirectory();
  char last = directory.empty() ? '\0' : directory.back();
  if (last == '\\' || last == '/') return directory + name;
  return directory + kPathSeparator + name;
}

bool readWholeFile(const std::string& name, std::string& contents) {
  FILE* in = openFile(name, "r");
  if (in == nullptr) return false;
  contents.clear();
  char buffer[8192];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0) contents.append(buffer, count);
  bool ok = !std::ferror(in);
  std::fclose(in);
  return ok;
}

ReplacingFile::~ReplacingFile() { discard(); }

void ReplacingFile::discard() {
  const int saved = errno;
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  closed_ = false;
  if (!temporary_.empty()) deleteFile(temporary_);
  temporary_.clear();
  errno = saved;
}

bool ReplacingFile::close() {
  if (stream_ == nullptr) return closed_;
  // A failed write may have left nothing in the buffer for the close to fail on, so the
  // stream's error flag is asked too.
  bool ok = std::ferror(stream_) == 0;
  ok = std::fclose(stream_) == 0 && ok;
  stream_ = nullptr;
  closed_ = ok;
  if (!ok) discard();
  return ok;
}

bool ReplacingFile::moveIntoPlace() {
  if (!closed_ || temporary_.empty()) return false;
  if (moveFileOver(temporary_, target_)) {
    temporary_.clear();
    closed_ = false;
    return true;
  }
  discard();
  return false;
}

long temporaryNameOwner(const std::string& entry, const std::string& file) {
  // FILE.tmp<process id>_<n>, both numbers decimal.
  static const char kMark[] = ".tmp";
  const size_t markLength = sizeof kMark - 1;
  if (file.empty() || entry.size() <= file.size() + markLength ||
      entry.compare(0, file.size(), file) != 0 ||
      entry.compare(file.size(), markLength, kMark) != 0)
    return -1;
  size_t at = file.size() + markLength;
  long owner = 0;
  const size_t ownerStart = at;
  while (at < entry.size() && entry[at] >= '0' && entry[at] <= '9' && at - ownerStart < 10)
    owner = owner * 10 + (entry[at++] - '0');
  if (at == ownerStart || at >= entry.size() || entry[at] != '_') return -1;
  const size_t attemptStart = ++at;
  while (at < entry.size() && entry[at] >= '0' && entry[at] <= '9') ++at;
  return at > attemptStart && at == entry.size() && at - attemptStart <= 10 ? owner : -1;
}

namespace {

// Bytes that stand for themselves in a piece: all but line feed, CR, NUL and Ctrl-Z.
struct PlainBytes {
  bool plain[256] = {};
  constexpr PlainBytes() : plain() {
    for (int c = 0; c < 256; ++c) plain[c] = c != '\n' && c != '\r' && c != '\0' && c != 0x1A;
  }
};
constexpr PlainBytes kPlainBytes;
bool isPlainByte(char c) { return kPlainBytes.plain[static_cast<unsigned char>(c)]; }

// Nonzero when one of the eight bytes of `word` is below 20h (exact, as a test of the
// whole word). Every byte that is not plain is.
uint64_t anyControlByte(uint64_t word) {
  return (word - 0x2020202020202020ull) & ~word & 0x8080808080808080ull;
}

// The end of the run of plain bytes from `from`, at most `end`: eight bytes at a time
// while a whole word of them lies before `end` (a word with a control character, a tab
// say, is looked at byte by byte), then byte by byte.
size_t plainRunEnd(const char* bytes, size_t from, size_t end) {
  while (from + 8 <= end) {
    uint64_t word;
    std::memcpy(&word, bytes + from, sizeof word);
    if (const uint64_t control = anyControlByte(word)) {
      size_t first = from;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      // The lowest flag marks the first byte below 20h: its index is the top byte of
      // the flag's byte times 0102..08h, less one.
      const uint64_t firstFlag = (control & (0 - control)) >> 7;
      first += static_cast<size_t>((firstFlag * 0x0102030405060708ull) >> 56) - 1;
#endif
      for (size_t k = first; k < from + 8; ++k)
        if (!isPlainByte(bytes[k])) return k;
    }
    from += 8;
  }
  while (from < end && isPlainByte(bytes[from])) ++from;
  return from;
}

}  // namespace

// The next byte of the stream, from the current block; EOF at the end.
int PieceReader::nextByte() {
  constexpr size_t kBlockSize = 65536;  // few reads: each may be a call into a host
  if (blockPos_ == blockEnd_) {
    blockPos_ = 0;
    if (memory_ != nullptr) {
      // The whole text is the one block.
      blockEnd_ = memoryTaken_ ? 0 : memory_->size();
      block_ = memory_->data();
      memoryTaken_ = true;
    } else {
      if (!buffer_) buffer_.reset(new char[kBlockSize]);
      block_ = buffer_.get();
      blockEnd_ = std::fread(buffer_.get(), 1, kBlockSize, stream_);
    }
    if (blockEnd_ == 0) return EOF;
  }
  return static_cast<unsigned char>(block_[blockPos_++]);
}

// One character of the stream as a Windows text stream delivers it; EOF at the end.
int PieceReader::nextChar() {
  if (ended_ || !hasSource()) return EOF;
  int c = nextByte();
  // Ctrl-Z marks the end of a Windows text stream; whatever follows it is never read.
  if (c == EOF || c == 0x1A) {
    ended_ = true;
    endMark_ = c == 0x1A;
    return EOF;
  }
  // CR LF becomes LF before the piece is cut, so the pair may straddle two pieces
  // of the raw bytes and is still read as one line feed.
  if (c == '\r') {
    int following = nextByte();
    if (following == '\n') return '\n';
    if (following != EOF) --blockPos_;  // the byte is still in the block: read it again
    return '\r';
  }
  return c == '\0' ? ' ' : c;
}

void PieceReader::skipByteOrderMark() {
  if (ended_ || !hasSource() || blockPos_ != 0 || blockEnd_ != 0) return;
  if (nextByte() == EOF) return;
  // The first read fills a whole block unless the stream is shorter than the mark.
  static const char kMark[] = "\xEF\xBB\xBF";
  if (blockEnd_ >= 3 && std::equal(kMark, kMark + 3, block_)) {
    blockPos_ = 3;
  } else {
    blockPos_ = 0;
  }
}

bool PieceReader::textAfterEndMark() {
  if (!endMark_ || !hasSource()) return false;
  for (int c = nextByte(); c != EOF; c = nextByte())
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\0' && c != 0x1A) return true;
  return false;
}

// As fgets: up to capacity_ characters, ending after a line feed; a partial last line
// is returned as it is.
bool PieceReader::next(std::string& piece) {
  piece.clear();
  while (piece.size() < capacity_) {
    // Bytes that need no care are taken from the block in one go, with the line feed
    // that usually ends them.
    if (!ended_ && hasSource() && blockPos_ < blockEnd_) {
      size_t end = blockPos_ + std::min(capacity_ - piece.size(), blockEnd_ - blockPos_);
      const size_t plain = plainRunEnd(block_, blockPos_, end);
      const bool feed = plain < end && block_[plain] == '\n';
      piece.append(block_ + blockPos_, plain - blockPos_ + (feed ? 1 : 0));
      blockPos_ = plain + (feed ? 1 : 0);
      if (feed || piece.size() == capacity_) break;
    }
    int c = nextChar();
    if (c == EOF) break;
    piece.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !piece.empty();
}

InputFile readBlocks(size_t maxBytes, std::string& contents,
                     const std::function<long(char* buffer, size_t size)>& readBlock) {
  // Not cleared: only what a read filled is appended (clearing 64 KiB cost a short run
  // more than all of its reading).
  constexpr size_t kBlockSize = 65536;
  const std::unique_ptr<char[]> block(new char[kBlockSize]);
  for (;;) {
    const size_t wanted = std::min(kBlockSize, maxBytes + 1 - contents.size());
    const long got = readBlock(block.get(), wanted);
    if (got < 0) return InputFile::kFailed;
    if (got == 0) return InputFile::kRead;
    contents.append(block.get(), static_cast<size_t>(got));
    if (contents.size() > maxBytes) return InputFile::kTooLarge;
  }
}

}  // namespace zq
