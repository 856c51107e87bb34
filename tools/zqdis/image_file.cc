// Reading ".OBJ" and Intel HEX images; see image_file.h.
#include "zqdis/image_file.h"

#include <cstdarg>
#include <cstdio>

#include "platform/printf_format.h"

namespace zqdis {

namespace {

constexpr int kData = 0x00, kEnd = 0x01, kSegment = 0x02, kSegmentStart = 0x03, kLinear = 0x04,
              kLinearStart = 0x05;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

ZQ_PRINTF_FORMAT(1, 2) std::string format(const char* pattern, ...) {
  char text[160];
  va_list args;
  va_start(args, pattern);
  if (std::vsnprintf(text, sizeof text, pattern, args) < 0) text[0] = '\0';
  va_end(args);
  return text;
}

// The bytes of one record line (after its ":"); false when a character is no digit or
// the digits do not pair up.
bool recordBytes(const std::string& line, std::vector<uint8_t>& bytes) {
  if (line.size() < 2 || line[0] != ':' || line.size() % 2 == 0) return false;
  bytes.clear();
  for (size_t i = 1; i < line.size(); i += 2) {
    const int high = hexDigit(line[i]), low = hexDigit(line[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

}  // namespace

bool isIntelHex(const std::string& bytes) { return !bytes.empty() && bytes[0] == ':'; }

bool readIntelHexBytes(const std::string& text, ByteImage& image, std::string& error) {
  // Bytes given so far, with a flag each.
  std::vector<uint8_t>& given = image.given;
  std::vector<uint8_t>& bytes = image.bytes;
  given.assign(2 * kMaxImageWords, 0);
  bytes.assign(2 * kMaxImageWords, 0);
  image.warnings.clear();
  uint32_t base = 0;  // from the last extended address record
  bool ended = false, anyData = false;
  unsigned lineNumber = 0;
  std::vector<uint8_t> record;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.pop_back();
    if (line.empty()) continue;
    const std::string where = format("line %u: ", lineNumber);
    if (ended) {
      error = where + "a record after the end record";
      return false;
    }
    if (!recordBytes(line, record) || record.size() < 5 || record.size() != record[0] + 5u) {
      error = where + "not an Intel HEX record";
      return false;
    }
    unsigned sum = 0;
    for (uint8_t byte : record) sum += byte;
    if (sum % 256 != 0) {
      const unsigned expected = (record.back() - sum) & 0xFF;
      error = where + format("bad checksum %02Xh (the record's bytes call for %02Xh)",
                             static_cast<unsigned>(record.back()), expected);
      return false;
    }
    const unsigned count = record[0], type = record[3];
    const uint32_t offset = static_cast<uint32_t>(record[1] << 8 | record[2]);
    const uint32_t value = count >= 2 ? static_cast<uint32_t>(record[4] << 8 | record[5]) : 0;
    if (type == kData) {
      int64_t againFirst = -1, againLast = -1;  // bytes of this record given before
      for (unsigned i = 0; i < count; ++i) {
        // The offset wraps within its 64 KiB segment, as the format says.
        const uint32_t at = base + ((offset + i) & 0xFFFF);
        if (at >= bytes.size()) {
          error = where + format("data at byte %Xh, beyond the largest program ROM (%Xh words)",
                                 static_cast<unsigned>(at), static_cast<unsigned>(kMaxImageWords));
          return false;
        }
        if (given[at]) {
          if (againFirst < 0) againFirst = at;
          againLast = at;
        }
        bytes[at] = record[4 + i];
        given[at] = 1;
        anyData = true;
      }
      if (againFirst >= 0)
        image.warnings.push_back(where + format("gives again bytes %04Xh-%04Xh given before",
                                                static_cast<unsigned>(againFirst),
                                                static_cast<unsigned>(againLast)));
    } else if (type == kEnd && count == 0) {
      ended = true;
    } else if ((type == kSegment || type == kLinear) && count == 2) {
      base = type == kSegment ? value << 4 : value << 16;
    } else if ((type == kSegmentStart || type == kLinearStart) && count == 4) {
      // A start address means nothing to a program ROM image.
    } else {
      error = where + format("unsupported record type %02Xh with %u data bytes", type, count);
      return false;
    }
  }
  if (!ended) {
    error = "no end record (the file may be cut short)";
    return false;
  }
  if (!anyData) {
    error = "no data records: the image is empty";
    return false;
  }
  return true;
}

bool readIntelHex(const std::string& text, ProgramImage& image, std::string& error) {
  ByteImage read;
  if (!readIntelHexBytes(text, read, error)) return false;
  const std::vector<uint8_t>& given = read.given;
  const std::vector<uint8_t>& bytes = read.bytes;
  image.warnings = read.warnings;
  size_t words = 0;
  for (size_t w = 0; w < kMaxImageWords; ++w) {
    if (given[2 * w] != given[2 * w + 1]) {
      error = format("word %04Xh is given only its %s byte", static_cast<unsigned>(w),
                     given[2 * w] ? "low" : "high");
      return false;
    }
    if (given[2 * w]) words = w + 1;
  }
  image.words.assign(words, 0);
  image.written.assign(words, 0);
  for (size_t w = 0; w < words; ++w) {
    image.words[w] = static_cast<uint16_t>(bytes[2 * w] | bytes[2 * w + 1] << 8);
    image.written[w] = given[2 * w];
  }
  return true;
}

int matchHeader(const std::string& bytes, const std::vector<std::string>& names) {
  int best = -1;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (name.empty() || bytes.compare(0, name.size(), name) != 0) continue;
    if (best < 0 || name.size() > names[static_cast<size_t>(best)].size())
      best = static_cast<int>(i);
  }
  return best;
}

bool readObject(const std::string& bytes, size_t headerLength, ProgramImage& image,
                std::string& error) {
  const size_t body = bytes.size() > headerLength ? bytes.size() - headerLength : 0;
  if (body == 0) {
    error = "no program words after the header: the image is empty";
    return false;
  }
  if (body % 2 != 0) {
    error = format("cut short: %u bytes after the header end in half a word",
                   static_cast<unsigned>(body));
    return false;
  }
  if (body / 2 > kMaxImageWords) {
    error = format("%u words, more than the largest program ROM (%Xh words)",
                   static_cast<unsigned>(body / 2), static_cast<unsigned>(kMaxImageWords));
    return false;
  }
  image.words.resize(body / 2);
  image.written.clear();
  for (size_t w = 0; w < image.words.size(); ++w) {
    const auto low = static_cast<uint8_t>(bytes[headerLength + 2 * w]);
    const auto high = static_cast<uint8_t>(bytes[headerLength + 2 * w + 1]);
    image.words[w] = static_cast<uint16_t>(low | high << 8);
  }
  return true;
}

}  // namespace zqdis
