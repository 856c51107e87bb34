// Content-Length framing.
#include "transport.h"

#include <cctype>

namespace zqlsp {

namespace {

// One header line without its CR LF. False at the end of the stream; `tooLong` when the
// line ran past kMaxHeaderLine (the rest of it is read and dropped).
bool readLine(FILE* in, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (line.size() < kMaxHeaderLine) {
      line.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
  }
  return false;
}

bool equalsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return i == a.size() && b[i] == '\0';
}

// The value of "Content-Length: N"; -1 when the text is no decimal number below 2^40.
long long contentLength(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  if (i == value.size()) return -1;
  long long length = 0;
  for (; i < value.size() && value[i] != ' ' && value[i] != '\t'; ++i) {
    if (value[i] < '0' || value[i] > '9') return -1;
    length = length * 10 + (value[i] - '0');
    if (length > (1LL << 40)) return -1;
  }
  return length;
}

}  // namespace

ReadResult MessageReader::read(std::string& body) {
  body.clear();
  std::string line;
  long long length = -1;
  bool malformed = false;
  bool any = false;
  // The header block: lines up to an empty one. Stray empty lines before it are skipped.
  for (;;) {
    bool tooLong = false;
    if (!readLine(in_, line, tooLong)) return ReadResult::kEnd;
    if (line.empty() && !tooLong) {
      if (!any) continue;
      break;
    }
    any = true;
    const size_t colon = line.find(':');
    if (tooLong || colon == std::string::npos) {
      malformed = true;
      continue;
    }
    if (equalsNoCase(line.substr(0, colon), "content-length")) {
      length = contentLength(line.substr(colon + 1));
      if (length < 0) malformed = true;
    }
  }
  if (malformed || length < 0) return ReadResult::kMalformed;
  if (length > static_cast<long long>(kMaxBody)) {
    // Too large to take: read past it, so that the next message is found.
    char block[8192];
    for (long long left = length; left > 0;) {
      const size_t n = std::fread(block, 1, left < 8192 ? static_cast<size_t>(left) : 8192, in_);
      if (n == 0) return ReadResult::kEnd;
      left -= static_cast<long long>(n);
    }
    return ReadResult::kMalformed;
  }
  body.resize(static_cast<size_t>(length));
  size_t got = 0;
  while (got < body.size()) {
    const size_t n = std::fread(&body[got], 1, body.size() - got, in_);
    if (n == 0) return ReadResult::kEnd;
    got += n;
  }
  return ReadResult::kMessage;
}

std::string frame(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace zqlsp
