// Expression evaluator. All arithmetic is done on uint32_t so that overflow wraps the
// way the 32-bit values of the language do, without undefined behaviour; results are
// handed on as int32_t. The rewritten texts are std::strings; the working limits of the
// language (kMaxExpressionText) are applied where the text is built. Splices are not
// limited: each one replaces an operator and its two operands (three characters at
// least) by at most eleven, so a text can only grow a few times over.
//
// Failure codes of evaluateExpression are negated diagnostic numbers, so that
// evaluateOperand can raise them as they come; reductions fail with -1, which is
// error 1 "ILLEGAL OPCODE".
#include "symbols/expression.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/run.h"
#include "source/numbers.h"
#include "symbols/expression_checks.h"
#include "symbols/label_table.h"
#include "symbols/substitution.h"

namespace zq {

namespace {

constexpr int kErrorOperand = 6;         // "OPRAND ERROR"
constexpr int kErrorValueTooLarge = 25;  // "VALUE TOO LARGE"

constexpr int kFailUndefined = -12;
constexpr int kFailMissingClose = -19;
constexpr int kFailMissingOpen = -18;
constexpr int kFailSyntax = -20;
constexpr int kFailReduction = -1;  // raised as error 1 "ILLEGAL OPCODE"

constexpr int kMaxOperandValue = 65535;

// What a reduction costs beyond the characters it scans and moves (reading the operands,
// computing, writing the result), counted in steps of SourceState::evaluationSteps, and
// what the text evaluator costs beyond its characters.
constexpr uint64_t kReductionSteps = 16;
constexpr uint64_t kRewriteSteps = 32;
// A symbol lookup, which pass 2 may also tell a run observer of (a language server keeps
// every use it is told of).
constexpr uint64_t kLookupSteps = 1024;

bool isHexLetter(char c) {
  char u = toUpper(c);
  return u >= 'A' && u <= 'F';
}

// Characters an operand of a reduction may be made of (besides a sign at index 0).
bool isOperandChar(char c) {
  return isDigit(c) || isHexLetter(c) || toUpper(c) == 'H' || c == '$' || c == '~';
}

bool isAddSub(char c) { return c == '+' || c == '-'; }

// '+' and '-' are one level: reducing either reduces both, left to right.
bool matchesOperator(char found, char wanted) {
  if (isAddSub(wanted)) return isAddSub(found);
  return found == wanted;
}

int32_t toSigned(uint32_t value) { return static_cast<int32_t>(value); }

// Reads a whole text of the form [+|-]digits as a 32-bit value (wrapping). False when
// the text holds anything else.
bool readSignedDecimal(const std::string& text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && isAddSub(text[i])) negative = text[i++] == '-';
  if (i == text.size()) return false;
  uint32_t v = 0;
  for (; i < text.size(); ++i) {
    if (!isDigit(text[i])) return false;
    v = v * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  value = toSigned(negative ? 0u - v : v);
  return true;
}

// Arithmetic right shift without relying on the implementation's signed shift.
int32_t shiftRightArithmetic(int32_t value, unsigned count) {
  uint32_t u = static_cast<uint32_t>(value);
  if (value >= 0) return toSigned(u >> count);
  return toSigned(~(~u >> count));
}

// One binary operation on two re-read operands. False for a zero divisor. Shift counts
// are taken mod 32 and shifts are done unsigned, so every input is defined.
bool compute(char op, int32_t l, int32_t r, int32_t& result) {
  uint32_t ul = static_cast<uint32_t>(l);
  uint32_t ur = static_cast<uint32_t>(r);
  switch (op) {
    case '*':
      result = toSigned(ul * ur);
      return true;
    case '/':
      if (r == 0) return false;
      // INT32_MIN / -1 does not fit: it wraps to INT32_MIN as the other operators do.
      result = (r == -1) ? toSigned(0u - ul) : l / r;
      return true;
    case '%':
      if (r == 0) return false;
      result = (r == -1) ? 0 : l % r;  // INT32_MIN % -1 is 0, not a trap
      return true;
    case '&':
      result = toSigned(ul & ur);
      return true;
    case '|':
      result = toSigned(ul | ur);
      return true;
    case '^':
      result = toSigned(ul ^ ur);
      return true;
    case '<':
      result = toSigned(ul << (ur % 32u));
      return true;
    case '>':
      result = shiftRightArithmetic(l, ur % 32u);
      return true;
    case '+':
      result = toSigned(ul + ur);
      return true;
    case '-':
      result = toSigned(ul - ur);
      return true;
    case '~':
      // Between two operands '~' is an 8-bit "complement of the difference".
      result = toSigned(~(ul - ur) & 0xFFu);
      return true;
    default:
      return false;
  }
}

// The character before a binary operator must end a number: a digit, or a radix
// suffix H/B/D that itself follows a digit or a hexadecimal letter. Letters of either case
// count, as everywhere else in a number, so 0ffh+1 is 256 like 0FFH+1.
bool endsNumber(const std::string& e, size_t p) {
  char before = e[p - 1];
  if (isDigit(before)) return true;
  char u = toUpper(before);
  if (u != 'H' && u != 'B' && u != 'D') return false;
  return p >= 2 && (isDigit(e[p - 2]) || isHexLetter(e[p - 2]));
}

// The character after any operator must start an operand.
bool startsOperand(char c) { return isDigit(c) || c == '-' || c == '$' || c == '~'; }

// Replaces the whole text by the decimal text of its value as one number. A malformed
// text becomes "-99999", which the final read rejects as negative.
void normaliseNumber(std::string& e) {
  e = std::to_string(parseNumber(e, static_cast<int>(e.size()) - 1));
}

// The failure of a symbol found in no table, which is kept for the note of error 12.
int unresolved(AssemblerRun& run, std::string_view name) {
  run.diagnostics.unresolvedName.assign(name.data(), name.size());
  return kFailUndefined;
}

bool namesEqual(const AssemblerRun& run, std::string_view a, std::string_view b) {
  return run.source.labelCaseSensitive ? a == b : equalsNoCase(a, b);
}

// Kind of a pending token, fixed by its first letter, '_', '?' or digit. Characters
// such as '$' before it leave it open, so $1F is a number and $FF a symbol.
enum class TokenKind { kOpen, kSymbol, kNumber };

// Appends the pending token to `r`: a symbol is replaced by its value, or read as a
// letter-initial hexadecimal number (FFH) when no table knows it; numbers and open
// tokens are copied as written. 0 or the failure code of evaluateExpression.
int flushToken(AssemblerRun& run, const std::string& token, TokenKind kind, int symbolClass,
               std::string& r) {
  if (kind == TokenKind::kSymbol) {
    int value = lookupSymbol(run, token, symbolClass);
    if (value == -1) value = parseLetterHex(token);
    if (value == -1) return unresolved(run, token);
    r += std::to_string(value);
  } else {
    r += token;
  }
  return r.size() > kMaxExpressionText ? kFailSyntax : 0;
}

// A whole text that tokenises as one symbol: it starts as a symbol does and holds no
// operator or parenthesis.
bool isLoneSymbol(std::string_view text) {
  if (text.empty() || text.size() > kMaxExpressionText) return false;
  if (!isLetter(text[0]) && text[0] != '_' && text[0] != '?') return false;
  for (char c : text)
    if (kOperatorTable.endsSymbol[static_cast<unsigned char>(c)]) return false;
  return true;
}

// Parenthesis and character checks of the rewritten text, in the order that decides
// which code a text with several faults gets; 0 or a failure code.
int checkRewrittenText(const std::string& r) {
  for (size_t i = 0; i < r.size(); ++i) {
    if (r[i] == '(' && i > 0 && isDigit(r[i - 1])) return kFailSyntax;
    if (r[i] == ')' && i + 1 < r.size() && isDigit(r[i + 1])) return kFailSyntax;
  }
  long opens = 0, closes = 0;
  for (char c : r) {
    if (c == '(') ++opens;
    if (c == ')') ++closes;
  }
  if (opens > closes) return kFailMissingClose;
  if (closes > opens) return kFailMissingOpen;
  // Balanced in number but a ')' comes before its '(': the group scan could not pair
  // them, so this is rejected as a syntax error.
  long depth = 0;
  for (char c : r) {
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0) return kFailSyntax;
  }
  for (char c : r) {
    char u = toUpper(c);
    if (isDigit(u) || u == '$' || u == 'H' || (u >= 'A' && u <= 'F') || u == '(' || u == ')' ||
        isOperatorChar(u)) {
      continue;
    }
    return kFailSyntax;
  }
  return 0;
}

// Reduces innermost groups until none is left but empty ones "()". The group found is
// the last '(' before the first ')' after the scan start; every reduction restarts the
// scan from the beginning. 0 or kFailReduction.
// kTraced: each reduction is checked for the trap warnings 7 and 8 into `trace`
// (evaluateExpressionChecked); the usual evaluation is compiled without the checks.
template <bool kTraced>
int reduceFlatWith(std::string& e, OperandFindings* trace, uint64_t& steps);

template <bool kTraced>
int reduceGroups(std::string& r, OperandFindings* trace, uint64_t& steps) {
  size_t scan = 0;
  for (;;) {
    size_t open = r.find('(', scan);
    if (open == std::string::npos) return 0;
    size_t close = r.find(')', open);
    if (close == std::string::npos) return 0;  // excluded by checkRewrittenText
    size_t inner = r.rfind('(', close);
    // The scans from the start, the group's copy and the splice.
    steps += r.size() + close - scan + kReductionSteps;
    if (close == inner + 1) {
      // An empty group is passed over; the number parser rejects it later.
      scan = close + 1;
      continue;
    }
    std::string content = r.substr(inner + 1, close - inner - 1);
    if (reduceFlatWith<kTraced>(content, trace, steps) < 0) return kFailReduction;
    spliceText(r, content, inner, close);
    scan = 0;
  }
}

// Answer of evaluateSum for a text of another form.
constexpr int kNotASum = INT_MIN;

// Characters of a number token that the text evaluator accepts and reads back unchanged:
// digits, hexadecimal letters and the suffix H (any case).
bool isSumNumberChar(char c) { return isHexDigit(c) || c == 'H' || c == 'h'; }

// The usual expression, symbols and numbers joined by "+" and "-" (CHAR-LIMIT-50),
// worked out without the text rewrite, with the rewrite's arithmetic: the operators are
// applied left to right; each intermediate result becomes the left operand as the
// rewrite would read it back, a negative one as its 8-bit two's complement; when both
// "+" and "-" occur the final result is read back once more the same way (the level of
// '-' finds one number left and normalises it), otherwise a negative one fails.
// Returns the value, a failure code as evaluateExpressionText gives it, or kNotASum for
// every other form (parentheses, other operators, a sign in front, an empty operand,
// a number with other characters, a symbol with a negative value), which the text
// evaluator then takes.
int evaluateSum(AssemblerRun& run, std::string_view text, int symbolClass) {
  // At most 23 operands of at most 10 digits each: the rewritten text stays within its
  // limit, so no syntax error for length can come up on the way.
  constexpr size_t kMaxSumText = 46;
  constexpr size_t kMaxOperands = kMaxSumText / 2 + 1;
  size_t begin = 0;
  while (begin < text.size() && text[begin] == '+') ++begin;
  text.remove_prefix(begin);
  if (text.empty() || text.size() > kMaxSumText) return kNotASum;

  struct Operand {
    std::string_view text;
    bool symbol;
    char op;  // the operator in front of it ('\0' for the first)
  };
  Operand operands[kMaxOperands];
  size_t count = 0;
  bool plus = false, minus = false;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool last = i == text.size();
    const char c = last ? '\0' : text[i];
    if (!last && (c == '(' || c == ')' || (isOperatorChar(c) && c != '+' && c != '-')))
      return kNotASum;
    if (!last && c != '+' && c != '-') continue;
    if (i == start || count == kMaxOperands) return kNotASum;
    Operand& operand = operands[count];
    operand.text = text.substr(start, i - start);
    operand.op = count == 0 ? '\0' : text[start - 1];
    const char first = operand.text[0];
    operand.symbol = isLetter(first) || first == '_' || first == '?';
    if (!operand.symbol) {
      if (!isDigit(first)) return kNotASum;
      for (char d : operand.text)
        if (!isSumNumberChar(d)) return kNotASum;
    }
    if (!last) (c == '+' ? plus : minus) = true;
    ++count;
    start = i + 1;
  }
  if (count < 2) return kNotASum;

  // Every symbol is looked up before anything is computed, as the rewrite does.
  int32_t values[kMaxOperands];
  for (size_t k = 0; k < count; ++k) {
    if (!operands[k].symbol) continue;
    int value = lookupSymbol(run, operands[k].text, symbolClass);
    if (value == -1) value = parseLetterHex(operands[k].text);
    if (value == -1) return unresolved(run, operands[k].text);
    // A negative value would be written with its sign: the rewrite reads that otherwise.
    if (value < 0) return kNotASum;
    values[k] = value;
  }
  auto operandValue = [&](size_t k) {
    const std::string_view written = operands[k].text;
    return operands[k].symbol ? values[k]
                              : parseNumber(written, static_cast<int>(written.size()) - 1);
  };
  // The first operand must end as a number does (a symbol's value ends in a digit).
  const std::string_view first = operands[0].text;
  if (!operands[0].symbol) {
    const char end = first.back();
    const char before = first.size() >= 2 ? first[first.size() - 2] : '\0';
    const char u = toUpper(end);
    if (!isDigit(end) && !((u == 'H' || u == 'B' || u == 'D') && isHexDigit(before)))
      return kFailReduction;
  }
  int32_t left = operandValue(0);
  if (left == kMalformedNumber) return kFailReduction;
  int32_t result = left;
  for (size_t k = 1; k < count; ++k) {
    const int32_t right = operandValue(k);
    if (right == kMalformedNumber) return kFailReduction;
    compute(operands[k].op, left, right, result);
    // Read back as the next left operand: -4 comes back as 252.
    left = result >= 0 ? result : static_cast<int32_t>(static_cast<uint32_t>(result) & 0xFFu);
  }
  if (plus && minus) result = left;
  if (result < 0) run.diagnostics.negativeResult = result;
  return result < 0 ? kFailReduction : result;
}

template <bool kTraced>
int evaluateRewritten(AssemblerRun& run, std::string_view text, int symbolClass,
                      OperandFindings* trace, std::string* rewritten);

}  // namespace

void spliceText(std::string& text, const std::string& insert, size_t from, size_t to) {
  if (from > text.size()) from = text.size();
  size_t count = 0;
  if (to >= from && from < text.size()) count = std::min(to, text.size() - 1) - from + 1;
  text.replace(from, count, insert);
}

int parseLetterHex(std::string_view name) {
  if (name.empty() || toUpper(name.back()) != 'H') return -1;
  for (size_t i = 0; i + 1 < name.size(); ++i)
    if (!isHexDigit(name[i])) return -1;
  // Read as "0" and the name: the leading digit makes the text a number.
  std::string number = "0";
  number.append(name.data(), name.size());
  return parseNumber(number, static_cast<int>(number.size()) - 1);
}

// Branch targets see labels only; value operands see constants, DEFINE names and RAM
// names, in that order, and never labels. Constant and RAM names follow the case
// option; DEFINE names always compare with case. Stored names are cut to 64
// characters and compared as written, so a longer name is never found.
int lookupSymbol(AssemblerRun& run, std::string_view name, int symbolClass) {
  run.source.evaluationSteps += kLookupSteps;
  if (symbolClass == kClassBranch || symbolClass == kClassCallJump)
    return observedUse(run, ZQASM_SYMBOL_LABEL, name, findLabel(run, name));

  const int constant = findConstant(run, name);
  if (constant != -1) return observedUse(run, ZQASM_SYMBOL_CONSTANT, name, constant);

  int defined = findDefine(run, name, -1);
  if (defined != -1) return observedUse(run, ZQASM_SYMBOL_DEFINE, name, defined);

  SegmentState& segments = run.segments;
  if (!segments.ramNamesSorted) {
    indexRamNames(segments);
    const NameIndex& index =
        run.source.labelCaseSensitive ? segments.firstRamByName : segments.firstRamByFoldedName;
    const int32_t found = index.find(name);
    return found < 0 ? -1
                     : observedUse(run, ZQASM_SYMBOL_RAM, name,
                                   segments.ramNames[static_cast<size_t>(found)].first);
  }
  for (int32_t i = 1;
       i <= segments.ramNameCount && static_cast<size_t>(i) < segments.ramNames.size(); ++i) {
    const RamName& ram = segments.ramNames[static_cast<size_t>(i)];
    if (namesEqual(run, ram.name, name)) return observedUse(run, ZQASM_SYMBOL_RAM, name, ram.first);
  }
  return -1;
}

// Reduces every occurrence of one operator level, left to right: find the operator,
// check its neighbours, take the operands around it, splice the result over them and
// start again from index 0. Operands are re-read with parseNumber, so a spliced
// negative intermediate such as -4 comes back as its 8-bit complement 252.
namespace {

template <bool kTraced>
int applyOperatorWith(std::string& e, char op, OperandFindings* trace, uint64_t& steps) {
  bool reduced = false;
  size_t scan = 0;
  for (;;) {
    size_t p = scan;
    while (p < e.size() && !matchesOperator(e[p], op)) ++p;
    steps += p - scan + 1;
    if (p >= e.size()) break;
    if (p == 0 && isAddSub(e[p])) {
      scan = 1;  // a sign, not an operator
      continue;
    }
    char found = e[p];
    // $1F+1 fails here: 'F' does not end a number.
    if (p > 0 && !endsNumber(e, p)) return -1;
    if (p + 1 >= e.size() || !startsOperand(e[p + 1])) return -1;

    // Left operand: operand characters, and a sign only at index 0 (a '+' there is
    // left in place).
    size_t left = p;
    while (left > 0) {
      char c = e[left - 1];
      if (isOperandChar(c) || (left - 1 == 0 && isAddSub(c))) {
        --left;
      } else {
        break;
      }
    }
    if (left == 0 && left < p && e[0] == '+') left = 1;

    // Right operand: operand characters, led by at most one '-'.
    size_t right = p + 1;
    if (e[right] == '-') ++right;
    while (right < e.size() && isOperandChar(e[right])) ++right;
    const std::string_view view(e);
    const std::string_view rightText = view.substr(p + 1, right - p - 1);
    int r = parseNumber(rightText, static_cast<int>(rightText.size()) - 1);
    if (r == kMalformedNumber) return -1;

    int32_t result;
    if (left == p) {
      // Operator at the start: a unary form; only '~' changes the value.
      result = (found == '~') ? toSigned(~static_cast<uint32_t>(r) & 0xFFu) : r;
    } else {
      const std::string_view leftText = view.substr(left, p - left);
      int l = parseNumber(leftText, static_cast<int>(leftText.size()) - 1);
      if (l == kMalformedNumber) return -1;
      if (!compute(found, l, r, result)) return -1;
      if constexpr (kTraced) traceReduction(*trace, found, l, r, result);
    }
    char digits[16];
    const auto written = std::to_chars(digits, digits + sizeof digits, result);
    e.replace(left, right - left, digits, static_cast<size_t>(written.ptr - digits));
    // The operands and the rest of the text, which the splice moves.
    steps += e.size() - left + kReductionSteps;
    // The only '-' a splice can bring in at index > 0 has a non-number before it, so
    // the next scan either skips a sign or fails: the loop always ends. The text before
    // `left` is as it was and holds no operator of this level (but a sign at index 0,
    // which a scan from 0 would skip again), so the scan goes on from the result.
    reduced = true;
    scan = left;
  }
  // Nothing but a sign: the text is still one number, written in any radix.
  if (!reduced) normaliseNumber(e);
  return 1;
}

// The operators present before any reduction are applied in list order; a level whose
// operators were all consumed by earlier levels only normalises the number.
template <bool kTraced>
int reduceFlatWith(std::string& e, OperandFindings* trace, uint64_t& steps) {
  steps += e.size();
  bool present[sizeof(kOperators) - 1] = {};
  bool any = false;
  for (char c : e) {
    const char* op = c != '\0' ? std::strchr(kOperators, c) : nullptr;
    if (op == nullptr) continue;
    present[op - kOperators] = true;
    any = true;
  }
  if (!any) {
    normaliseNumber(e);
    return 1;
  }
  for (size_t k = 0; k + 1 < sizeof(kOperators); ++k) {
    if (present[k] && applyOperatorWith<kTraced>(e, kOperators[k], trace, steps) < 0) return -1;
  }
  return 1;
}

}  // namespace

int applyOperator(std::string& e, char op) {
  uint64_t steps = 0;
  return applyOperatorWith<false>(e, op, nullptr, steps);
}

int reduceFlat(std::string& e) {
  uint64_t steps = 0;
  return reduceFlatWith<false>(e, nullptr, steps);
}

// Tokenise (symbols become values), check the parentheses and characters, reduce the
// groups from the innermost out, reduce the rest and read it as a signed decimal.
int evaluateExpression(AssemblerRun& run, std::string_view text, int symbolClass) {
  run.source.evaluationSteps += text.size();
  // The usual operand, a lone symbol: a value of 0 or more is the result, as writing it
  // out in decimal and reading it back below would give.
  if (isLoneSymbol(text)) {
    int value = lookupSymbol(run, text, symbolClass);
    if (value == -1) value = parseLetterHex(text);
    if (value == -1) return unresolved(run, text);
    if (value >= 0) return value;
  }
  const int sum = evaluateSum(run, text, symbolClass);
  return sum != kNotASum ? sum : evaluateExpressionText(run, text, symbolClass);
}

int evaluateExpressionText(AssemblerRun& run, std::string_view text, int symbolClass) {
  return evaluateRewritten<false>(run, text, symbolClass, nullptr, nullptr);
}

int evaluateExpressionChecked(AssemblerRun& run, std::string_view text, int symbolClass,
                              OperandFindings& findings) {
  findings = OperandFindings();
  run.source.evaluationSteps += text.size();
  std::string rewritten;
  const int value = evaluateRewritten<true>(run, text, symbolClass, &findings, &rewritten);
  if (value >= 0) analyseOperand(text, rewritten, value, findings);
  return value;
}

namespace {

// The text evaluator. kTraced: its reductions are checked into `trace` and the
// rewritten text, symbols replaced and nothing reduced yet, is handed back in `rewritten`.
template <bool kTraced>
int evaluateRewritten(AssemblerRun& run, std::string_view text, int symbolClass,
                      OperandFindings* trace, std::string* rewritten) {
  size_t i = 0;
  while (i < text.size() && text[i] == '+') ++i;

  // Tokenise into the rewritten text r: symbols become decimal values, "<<" and ">>"
  // become '<' and '>', everything else is copied.
  std::string r;
  std::string token;
  TokenKind kind = TokenKind::kOpen;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '(' || c == ')' || isOperatorChar(c)) {
      if (c == '<' || c == '>') {
        if (i + 1 >= text.size() || text[i + 1] != c) return kFailSyntax;
        ++i;
      }
      int failed = flushToken(run, token, kind, symbolClass, r);
      if (failed != 0) return failed;
      r += c;
      if (r.size() > kMaxExpressionText) return kFailSyntax;
      token.clear();
      kind = TokenKind::kOpen;
      continue;
    }
    if (token.size() >= kMaxExpressionText) return kFailSyntax;
    token += c;
    if (kind == TokenKind::kOpen) {
      if (isLetter(c) || c == '_' || c == '?') kind = TokenKind::kSymbol;
      if (isDigit(c)) kind = TokenKind::kNumber;
    }
  }
  int failed = flushToken(run, token, kind, symbolClass, r);
  if (failed != 0) return failed;

  // The tokens, the rewritten text and its checks.
  uint64_t& steps = run.source.evaluationSteps;
  steps += text.size() + r.size() + kRewriteSteps;
  failed = checkRewrittenText(r);
  if (failed != 0) return failed;
  if constexpr (kTraced) *rewritten = r;
  if (reduceGroups<kTraced>(r, trace, steps) < 0) return kFailReduction;
  if (reduceFlatWith<kTraced>(r, trace, steps) < 0) return kFailReduction;

  // A negative final value fails, although the same value as an intermediate result
  // would have been re-read as 8 bits.
  int32_t value;
  const bool read = readSignedDecimal(r, value);
  if (read && value < 0) run.diagnostics.negativeResult = value;
  if (!read || value < 0) return kFailReduction;
  return value;
}

}  // namespace

void noteUndefinedSymbol(AssemblerRun& run) {
  const std::string& name = run.diagnostics.unresolvedName;
  noteCulpritAt(run, -kFailUndefined, name, "undefined symbol '%s'%s", name.c_str(),
                suggestSymbol(run, name).c_str());
}

namespace {

// The note of error 1 for an operand that does not reduce to a value, or reduces to a
// negative one (DiagnosticsState::negativeResult, set by the evaluation just failed).
void noteReduction(AssemblerRun& run, std::string_view text) {
  int32_t& negative = run.diagnostics.negativeResult;
  if (negative < 0)
    noteCulpritAt(run, -kFailReduction, text, "expression '%.*s' gives a negative value (%d)",
                  static_cast<int>(text.size()), text.data(), static_cast<int>(negative));
  else
    noteCulpritAt(run, -kFailReduction, text, "expression '%.*s' does not reduce to a value",
                  static_cast<int>(text.size()), text.data());
  negative = 0;
}

// The front door for operand fields. "$" and "*" are the statement's address, and
// "$+n", "*-n" offset it (the range test applies to n). Plain numbers go to
// parseNumber (error 6), everything else to evaluateExpression (its own number).
// Diagnostics are raised in pass 2 only; every negative return has one in pass 2.
// classifyOperand, called apart for the checked evaluation so that the usual one keeps
// it inline.
[[gnu::noinline]] int classifyCheckedOperand(std::string_view text) {
  return classifyOperand(text);
}

// kChecked: the operand is checked into `findings` as well (pass 2, or a condition's
// operand, which every pass evaluates as pass 0).
template <bool kChecked>
int evaluateOperandWith(AssemblerRun& run, std::string_view text, int pass, int symbolClass,
                        OperandFindings* findings) {
  bool report = pass == 2;
  std::string_view rest = text;
  bool haveBase = false;
  bool subtract = false;
  int32_t base = run.source.statementAddress;
  if (!rest.empty() && (rest[0] == '$' || rest[0] == '*')) {
    if (rest.size() == 1) return base;
    if (isAddSub(rest[1])) {
      haveBase = true;
      subtract = rest[1] == '-';
      rest.remove_prefix(2);
    }
  }

  int value;
  const int kind = kChecked ? classifyCheckedOperand(rest) : classifyOperand(rest);
  if (kind == -1 || kind == -100) {
    value = parseNumber(rest, static_cast<int>(rest.size()) - 1);
    if (value < 0) {
      if (report) {
        raiseError(run, kErrorOperand);
        noteCulpritAt(run, kErrorOperand, text, "operand '%.*s' is no number",
                      static_cast<int>(text.size()), text.data());
      }
      return value;
    }
    if constexpr (kChecked) checkPlainNumber(rest, *findings);
  } else {
    run.diagnostics.negativeResult = 0;
    if constexpr (kChecked) {
      value = evaluateExpressionChecked(run, rest, symbolClass, *findings);
    } else {
      value = evaluateExpression(run, rest, symbolClass);
    }
    if (value < 0) {
      if (report) raiseError(run, -value);
      if (report && value == kFailUndefined) noteUndefinedSymbol(run);
      if (report && value == kFailReduction) noteReduction(run, text);
      return -1;
    }
  }
  if (value > kMaxOperandValue) {
    if (report) raiseError(run, kErrorValueTooLarge);
    return -1;
  }
  if (!haveBase) return value;

  int64_t result = subtract ? int64_t{base} - value : int64_t{base} + value;
  if (result < 0) {
    // An address before 0 would reach callers as a silent failure (the encoder uses 0);
    // it is reported like any other unusable operand.
    if (report) {
      raiseError(run, kErrorOperand);
      noteCulpritAt(run, kErrorOperand, text, "operand '%.*s' is an address before 0",
                    static_cast<int>(text.size()), text.data());
    }
    return -1;
  }
  // "$+5" is a whole operand: the number is not negative, so nothing is stored as a byte.
  if constexpr (kChecked) findings->wholeByteNegative = 0;
  return static_cast<int>(result);
}

// The checked evaluation of an operand in pass 2. Without `findings` from the caller
// they are raised as soon as the operand evaluates. Apart from the usual path, which
// holds no findings.
[[gnu::noinline]] int evaluateOperandChecked(AssemblerRun& run, std::string_view text,
                                             int symbolClass, OperandFindings* findings) {
  if (findings != nullptr) {
    *findings = OperandFindings();
    return evaluateOperandWith<true>(run, text, 2, symbolClass, findings);
  }
  OperandFindings own;
  const int value = evaluateOperandWith<true>(run, text, 2, symbolClass, &own);
  if (value >= 0) raiseOperandFindings(run, own, false);
  return value;
}

}  // namespace

int evaluateOperand(AssemblerRun& run, std::string_view text, int pass, int symbolClass,
                    OperandFindings* findings) {
  if (pass == 2 && run.source.operandChecks)
    return evaluateOperandChecked(run, text, symbolClass, findings);
  return evaluateOperandWith<false>(run, text, pass, symbolClass, nullptr);
}

int evaluateOperandSilently(AssemblerRun& run, std::string_view text, int symbolClass,
                            OperandFindings& findings) {
  findings = OperandFindings();
  return evaluateOperandWith<true>(run, text, 0, symbolClass, &findings);
}

// 'A' becomes 65: the code of the first character between the quotes (the others are
// ignored), 0 for '' or a lone quote; a missing closing quote runs to the end.
void replaceCharConstants(std::string& text) {
  size_t scan = 0;
  for (;;) {
    size_t open = text.find('\'', scan);
    if (open == std::string::npos) return;
    size_t close = text.find('\'', open + 1);
    size_t end = (close == std::string::npos) ? text.size() : close;  // one past the chars
    unsigned code = 0;
    if (end > open + 1) code = static_cast<unsigned char>(text[open + 1]);
    std::string digits = std::to_string(code);
    spliceText(text, digits, open, close == std::string::npos ? text.size() - 1 : close);
    // The text before the insertion holds no quote any more.
    scan = open + digits.size();
  }
}

}  // namespace zq
