// Intel HEX records of an image.
#include "chip/intel_hex.h"

#include <algorithm>

namespace zq {

namespace {

// One record with its checksum and line end.
bool writeRecord(FILE* out, unsigned type, unsigned address, const uint8_t* data, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  // ":" + count, address, type + 16 data bytes + checksum, two digits a byte, "\n".
  char line[1 + 2 * (4 + 16 + 1) + 1];
  size_t at = 0;
  unsigned sum = 0;
  auto put = [&](unsigned byte) {
    sum += byte;
    line[at++] = kDigits[(byte >> 4) & 0xF];
    line[at++] = kDigits[byte & 0xF];
  };
  line[at++] = ':';
  put(static_cast<unsigned>(count));
  put((address >> 8) & 0xFF);
  put(address & 0xFF);
  put(type);
  for (size_t i = 0; i < count; ++i) put(data[i]);
  put((0x100 - (sum & 0xFF)) & 0xFF);
  line[at++] = '\n';
  return std::fwrite(line, 1, at, out) == at;
}

}  // namespace

bool writeIntelHex(FILE* out, const uint8_t* bytes, size_t size,
                   const std::vector<uint8_t>& written, size_t unit) {
  if (unit == 0) return false;
  bool ok = true;
  unsigned upper = 0;  // the upper 16 bits of the address in force
  auto isWritten = [&](size_t at) { return at / unit < written.size() && written[at / unit]; };
  for (size_t line = 0; line < size && ok; line += 16) {
    size_t at = line;
    const size_t lineEnd = std::min(size, line + 16);
    while (at < lineEnd && ok) {
      if (!isWritten(at)) {
        ++at;
        continue;
      }
      size_t end = at;
      while (end < lineEnd && isWritten(end)) ++end;
      const unsigned high = static_cast<unsigned>(at >> 16);
      if (high != upper) {
        const uint8_t address[2] = {static_cast<uint8_t>(high >> 8),
                                    static_cast<uint8_t>(high & 0xFF)};
        ok = writeRecord(out, 4, 0, address, 2);
        upper = high;
      }
      ok = ok && writeRecord(out, 0, static_cast<unsigned>(at & 0xFFFF), bytes + at, end - at);
      at = end;
    }
  }
  return ok && writeRecord(out, 1, 0, nullptr, 0);
}

}  // namespace zq
