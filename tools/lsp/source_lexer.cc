// Lexing of one source line.
#include "source_lexer.h"

#include <algorithm>

#include "text.h"

namespace zqlsp {

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// Keywords that follow a name without a prefix (X EQU 1, S DEFSTR t, R DN 2, ORG 100h).
bool isBareKeyword(const std::string& word) {
  static const char* const kWords[] = {"EQU", "EQUAL", "DEFSTR", "DEFSTRING", "DN", "ORG", "END"};
  const std::string u = upper(word);
  return std::any_of(std::begin(kWords), std::end(kWords), [&u](const char* w) { return u == w; });
}

}  // namespace

const std::vector<std::string>& directiveKeywords() {
  static const std::vector<std::string> kKeywords = {
      "BYTE",          "DEFINE",      "DB",          "DW",       "DS",        "DSU",
      "ELSE",          "ELSEIF",      "END",         "ENDIF",    "ENDM",      "ENDMAC",
      "ENDMACRO",      "EXITMAC",     "EXITMACRO",   "IF",       "IFDEF",     "IFDIFF",
      "IFNDEF",        "IFSAME",      "MAC",         "MACRO",    "WORD",      "CHIP",
      "CHIPNAME",      "DATA",        "ENDD",        "ENDDATA",  "TABLE",     "ENDT",
      "ENDTAB",        "ENDTABLE",    "CODE",        "ENDC",     "HEAD",      "ENDH",
      "LOCALLABEL",    "ERROR",       "IFBLANK",     "IFNBLANK", "DNOVERLAP", "BANKCONVERTAREA",
      "SORTLABELFILE", "SORTEQUFILE", "SORTRAMFILE", "INCLUDE",  "EQU",       "EQUAL",
      "DEFSTR",        "DEFSTRING",   "DN",          "ORG",      "PARAMCOUNT"};
  return kKeywords;
}

// Left to right, one token at a time: a ";" outside quotes ends the line; a quote runs to
// its mate; "." or "#" and letters make a directive only when the keyword is one (".5"
// or a file extension is nothing); a digit, or "$" and a hexadecimal digit, starts a
// number, which runs over letters too (0FFh, 1010B).
std::vector<Token> lexLine(const std::string& line) {
  std::vector<Token> tokens;
  const int size = static_cast<int>(line.size());
  int i = 0;
  while (i < size) {
    const char c = line[i];
    if (c == ';') {
      tokens.push_back(Token{TokenKind::kComment, i, size, ""});
      break;
    }
    if (c == '"' || c == '\'') {
      int end = i + 1;
      while (end < size && line[end] != c) ++end;
      if (end < size) ++end;
      tokens.push_back(Token{TokenKind::kString, i, end, ""});
      i = end;
      continue;
    }
    if ((c == '.' || c == '#') && i + 1 < size && isLetter(line[i + 1])) {
      int end = i + 1;
      while (end < size && isNameChar(line[end])) ++end;
      const std::string word = upper(line.substr(i + 1, end - i - 1));
      const auto& keywords = directiveKeywords();
      if (std::find(keywords.begin(), keywords.end(), word) != keywords.end())
        tokens.push_back(Token{TokenKind::kDirective, i, end, word});
      i = end;
      continue;
    }
    if (isDigit(c) || (c == '$' && i + 1 < size && isHex(line[i + 1]))) {
      int end = i + 1;
      while (end < size && (isLetter(line[end]) || isDigit(line[end]))) ++end;
      tokens.push_back(Token{TokenKind::kNumber, i, end, ""});
      i = end;
      continue;
    }
    if (isLetter(c) || c == '_' || c == '?') {
      int end = i + 1;
      while (end < size && isNameChar(line[end])) ++end;
      const std::string word = line.substr(i, end - i);
      if (isBareKeyword(word)) {
        tokens.push_back(Token{TokenKind::kDirective, i, end, upper(word)});
      } else {
        tokens.push_back(Token{TokenKind::kName, i, end, word});
      }
      i = end;
      continue;
    }
    ++i;
  }
  return tokens;
}

}  // namespace zqlsp
