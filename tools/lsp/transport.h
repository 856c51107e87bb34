// The transport layer of the language server: JSON-RPC messages framed by a
// "Content-Length: N" header block (RFC 822 style lines ending in CR LF, then an empty
// line) and N bytes of body, over a pair of byte streams.
#ifndef ZQASM_TOOLS_LSP_TRANSPORT_H_
#define ZQASM_TOOLS_LSP_TRANSPORT_H_

#include <cstddef>
#include <cstdio>
#include <string>

namespace zqlsp {

// Largest body taken; a larger one is skipped as malformed. Far above a 10 MB buffer
// sent whole.
constexpr size_t kMaxBody = size_t{64} << 20;
// Longest header line; a longer one makes the header block malformed.
constexpr size_t kMaxHeaderLine = 4096;

enum class ReadResult {
  kMessage,    // `body` holds one message
  kMalformed,  // a header block without a usable Content-Length, or a body too large
               // (read past); the stream goes on with the next header block
  kEnd,        // the stream ended (a body cut short counts as the end)
};

// Reads messages from a stream that nothing else reads.
class MessageReader {
 public:
  explicit MessageReader(FILE* in) : in_(in) {}
  ReadResult read(std::string& body);

 private:
  FILE* in_;
};

// The framed form of a body.
std::string frame(const std::string& body);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_TRANSPORT_H_
