// The words of a source line as an editor colours them, without the assembler: comments,
// quoted texts, numbers, directive keywords and names. The server gives the names their
// meaning from the facts of the runs.
#ifndef ZQASM_TOOLS_LSP_SOURCE_LEXER_H_
#define ZQASM_TOOLS_LSP_SOURCE_LEXER_H_

#include <string>
#include <vector>

namespace zqlsp {

enum class TokenKind {
  kComment,    // from ";" outside quotes to the end of the line
  kString,     // in double or single quotes (up to the closing quote or the line end)
  kNumber,     // 12, 0FFh, 1010B, $1F
  kDirective,  // a keyword of the directive table after "." or "#", or EQU, DEFSTR, DN, ORG
  kName,       // anything else that may name something
};

struct Token {
  TokenKind kind;
  int start;  // byte columns [start, end)
  int end;
  std::string text;  // the directive keyword upper-cased without its prefix; the name
};

std::vector<Token> lexLine(const std::string& line);

// The directive keywords, upper-case, without prefix.
const std::vector<std::string>& directiveKeywords();

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_SOURCE_LEXER_H_
