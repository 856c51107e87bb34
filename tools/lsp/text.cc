// Text conversions of the language server.
#include "text.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace zqlsp {

namespace {

// Length of the UTF-8 sequence that `lead` starts, 0 for a byte that starts none.
size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// A sequence is taken only when it is complete and its continuation bytes are right;
// anything else is one "?" for its lead byte, and decoding goes on with the next byte.
std::string bytesFromUtf8(std::string_view utf8) {
  std::string bytes;
  bytes.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    size_t length = sequenceLength(lead);
    bool valid = length > 0 && i + length <= utf8.size();
    uint32_t code = length == 1   ? lead
                    : length == 2 ? lead & 0x1Fu
                    : length == 3 ? lead & 0x0Fu
                                  : lead & 0x07u;
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3Fu);
    }
    if (!valid) {
      bytes.push_back('?');
      ++i;
      continue;
    }
    if (code <= 0xFF) {
      bytes.push_back(static_cast<char>(code));
    } else {
      // One "?" per UTF-16 unit: two for a character beyond the first plane.
      bytes.append(code > 0xFFFF ? 2 : 1, '?');
    }
    i += length;
  }
  return bytes;
}

std::string utf8FromBytes(std::string_view bytes) {
  std::string utf8;
  utf8.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8.push_back(c);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | byte >> 6));
      utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return utf8;
}

std::string pathFromUri(const std::string& uri) {
  const std::string scheme = "file://";
  if (uri.compare(0, scheme.size(), scheme) != 0) return "";
  std::string path;
  size_t start = scheme.size();
  // An authority other than an empty one (or localhost) names another machine.
  const size_t slash = uri.find('/', start);
  if (slash == std::string::npos) return "";
  const std::string authority = uri.substr(start, slash - start);
  if (!authority.empty() && authority != "localhost") return "";
  for (size_t i = slash; i < uri.size(); ++i) {
    char c = uri[i];
    if (c == '?' || c == '#') break;
    if (c == '%' && i + 2 < uri.size() && hexValue(uri[i + 1]) >= 0 && hexValue(uri[i + 2]) >= 0) {
      c = static_cast<char>(hexValue(uri[i + 1]) * 16 + hexValue(uri[i + 2]));
      i += 2;
    }
    path.push_back(c);
  }
#ifdef _WIN32
  // "/c:/x" names the drive: the slash before it goes.
  if (path.size() >= 3 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
#endif
  return path;
}

// Everything but letters, digits, "-._~" and "/" is percent-encoded, as editors encode
// it (so "C:" becomes "C%3A", a blank "%20").
std::string uriFromPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  if (path.empty() || (path[0] != '/' && path[0] != '\\')) uri += '/';
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') c = '/';
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') ||
                       std::string_view("-._~/").find(c) != std::string_view::npos;
    if (plain || c == '/') {
      uri.push_back(c);
    } else {
      uri += '%';
      uri.push_back(kHex[byte >> 4]);
      uri.push_back(kHex[byte & 15]);
    }
  }
  return uri;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

size_t offsetOf(const std::string& text, int line, int character, bool utf8) {
  size_t at = 0;
  for (int row = 0; row < line; ++row) {
    const size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) return text.size();
    at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  for (int units = 0; at < text.size() && text[at] != '\r' && text[at] != '\n';) {
    size_t length = 1;
    int width = 1;
    if (utf8) {
      length = sequenceLength(static_cast<unsigned char>(text[at]));
      if (length == 0) length = 1;  // a stray byte: one unit, as the editor counts it
      width = length == 4 ? 2 : 1;
      length = std::min(length, text.size() - at);
    }
    // A position inside a surrogate pair stands before its character.
    if (units + width > character) break;
    units += width;
    at += length;
  }
  return at;
}

void applyChange(std::string& text, int startLine, int startCharacter, int endLine,
                 int endCharacter, const std::string& replacement, bool utf8) {
  size_t start = offsetOf(text, startLine, startCharacter, utf8);
  size_t end = offsetOf(text, endLine, endCharacter, utf8);
  if (end < start) std::swap(start, end);
  text.replace(start, end - start, replacement);
}

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '?' || c == '\\';
}

}  // namespace zqlsp
