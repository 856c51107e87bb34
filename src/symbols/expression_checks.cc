// Checks of an operand for the trap warnings 7, 8 and 9. The value of an operand always
// comes from the text rewrite; these checks only look at how it came about:
//   7  a result or a number beyond the evaluator's 32 bits, a negative number beyond the
//      8 bits it is read in (-200 is 38h), a whole negative number stored wider than a
//      byte (.DW -1 is 00FFh);
//   8  a negative intermediate result, or a negative number inside an expression, that
//      the next reduction reads back as 8 bits (10h-20h+30h is 120h, -3*2 is 506);
//   9  operators of different kinds whose fixed order ("*/%<>&|^+-", every level left
//      to right) gives another value than C's precedence (4+4&3 is 4, not 0).
// Warning 9 compares the two groupings with ordinary 64-bit arithmetic on the same
// numbers, so that a difference made by the 8-bit read-back alone (warning 8) is not
// blamed on the grouping; it is raised when the value the evaluator made also differs.
#include "symbols/expression_checks.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/persistent_settings.h"
#include "source/numbers.h"

namespace zq {

namespace {

// The text of an operator as the source writes it.
const char* operatorText(char op) {
  switch (op) {
    case '<':
      return "<<";
    case '>':
      return ">>";
    case '*':
      return "*";
    case '/':
      return "/";
    case '%':
      return "%";
    case '&':
      return "&";
    case '|':
      return "|";
    case '^':
      return "^";
    case '+':
      return "+";
    default:
      return "-";
  }
}

// How tightly each binary operator binds (0: not one). The language reduces the levels
// in the order of "*/%<>&|^+-", '+' and '-' together; C has '*', '/' and '%' together,
// then '+' and '-', the shifts, '&', '^' and '|'.
int languagePower(char op) {
  switch (op) {
    case '*':
      return 9;
    case '/':
      return 8;
    case '%':
      return 7;
    case '<':
      return 6;
    case '>':
      return 5;
    case '&':
      return 4;
    case '|':
      return 3;
    case '^':
      return 2;
    case '+':
    case '-':
      return 1;
    default:
      return 0;
  }
}

int usualPower(char op) {
  switch (op) {
    case '*':
    case '/':
    case '%':
      return 9;
    case '+':
    case '-':
      return 8;
    case '<':
    case '>':
      return 7;
    case '&':
      return 6;
    case '^':
      return 5;
    case '|':
      return 4;
    default:
      return 0;
  }
}

// One binary operation with ordinary arithmetic: 64 bits, wrapping; shift counts are
// taken mod 32 as the language takes them. False for a zero divisor.
bool computeWide(char op, int64_t l, int64_t r, int64_t& result) {
  const uint64_t ul = static_cast<uint64_t>(l);
  const uint64_t ur = static_cast<uint64_t>(r);
  const unsigned count = static_cast<unsigned>(ur % 32u);
  switch (op) {
    case '*':
      result = static_cast<int64_t>(ul * ur);
      return true;
    case '/':
      if (r == 0) return false;
      result = r == -1 ? static_cast<int64_t>(0u - ul) : l / r;
      return true;
    case '%':
      if (r == 0) return false;
      result = r == -1 ? 0 : l % r;
      return true;
    case '<':
      result = static_cast<int64_t>(ul << count);
      return true;
    case '>':
      result = l >= 0 ? static_cast<int64_t>(ul >> count) : static_cast<int64_t>(~(~ul >> count));
      return true;
    case '&':
      result = static_cast<int64_t>(ul & ur);
      return true;
    case '|':
      result = static_cast<int64_t>(ul | ur);
      return true;
    case '^':
      result = static_cast<int64_t>(ul ^ ur);
      return true;
    case '+':
      result = static_cast<int64_t>(ul + ur);
      return true;
    case '-':
      result = static_cast<int64_t>(ul - ur);
      return true;
    default:
      return false;
  }
}

// True when the digits of a number token (no sign) make more than the evaluator's
// signed 32 bits, which parseNumber wraps. A token that is no number gives false; the
// evaluator has refused it already.
bool widerThan32Bits(std::string_view token) {
  if (token.empty()) return false;
  uint32_t radix = 10;
  size_t start = 0, end = token.size();
  if (token[0] == '$') {
    radix = 16;
    start = 1;
  } else {
    switch (toUpper(token.back())) {
      case 'B':
        radix = 2;
        --end;
        break;
      case 'D':
        --end;
        break;
      case 'H':
        radix = 16;
        --end;
        break;
      default:
        break;
    }
  }
  uint64_t value = 0;
  for (size_t i = start; i < end; ++i) {
    const char c = toUpper(token[i]);
    const uint32_t digit = isDigit(c)               ? static_cast<uint32_t>(c - '0')
                           : (c >= 'A' && c <= 'F') ? static_cast<uint32_t>(c - 'A' + 10)
                                                    : radix;
    if (digit >= radix) return false;
    value = value * radix + digit;
    if (value > INT32_MAX) return true;
  }
  return false;
}

struct Token {
  char kind;              // 'n' a number, '(' or ')', or the operator ('<', '>' the shifts)
  std::string_view text;  // as written
};

// Splits an expression as the evaluator does: numbers (or symbols) run up to the next
// operator or parenthesis. Leading '+' characters are skipped as the evaluator skips
// them. False for a text with '~', whose forms (a 16-bit complement as a whole operand,
// an 8-bit one inside, "complement of the difference" between two operands) have no
// usual reading.
bool tokenise(std::string_view text, std::vector<Token>& tokens) {
  size_t i = 0;
  while (i < text.size() && text[i] == '+') ++i;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '~') return false;
    if (c == '(' || c == ')' || isOperatorChar(c)) {
      size_t length = 1;
      if ((c == '<' || c == '>') && i + 1 < text.size() && text[i + 1] == c) length = 2;
      tokens.push_back({c, text.substr(i, length)});
      i += length;
      continue;
    }
    size_t end = i;
    while (end < text.size() && text[end] != '(' && text[end] != ')' && !isOperatorChar(text[end]))
      ++end;
    tokens.push_back({'n', text.substr(i, end - i)});
    i = end;
  }
  return true;
}

// One reading of (part of) an expression.
struct Reading {
  int64_t value = 0;
  std::string text;  // fully parenthesised, for the note of warning 9
  // A sign applied to this magnitude is the whole reading (-3, -(5)); 0 when not.
  int64_t signedMagnitude = 0;
};

// Reads a token list with one operator order: every level left to right, a sign binding
// tightest. `findings` (for the language's order only) collects what the numbers and
// signs hold for warnings 7 and 8.
class ExpressionReader {
 public:
  ExpressionReader(const std::vector<Token>& values, const std::vector<Token>& names,
                   int (*power)(char), OperandFindings* findings)
      : values_(values), names_(names), power_(power), findings_(findings) {}

  // False when the tokens do not make one expression.
  bool read(Reading& out) {
    if (!expression(1, out, 0)) return false;
    return position_ == values_.size();
  }
  // A division by zero of this reading (the evaluator's own operands had none).
  bool failed() const { return failed_; }

 private:
  // Nesting is bounded by the length of the text; the bound only guards the stack.
  static constexpr int kMaxDepth = 600;

  bool at(char kind) const { return position_ < values_.size() && values_[position_].kind == kind; }

  bool expression(int minPower, Reading& out, int depth) {
    if (depth > kMaxDepth || !operand(out, depth)) return false;
    while (position_ < values_.size()) {
      const char op = values_[position_].kind;
      const int power = op == 'n' ? 0 : power_(op);
      if (power == 0 || power < minPower) break;
      const std::string_view opText = names_[position_].text;
      ++position_;
      Reading right;
      if (!expression(power + 1, right, depth + 1)) return false;
      combine(out, op, opText, right);
    }
    return true;
  }

  // A number, a group, or either with a sign in front.
  bool operand(Reading& out, int depth) {
    if (at('+')) ++position_;
    if (!at('-')) return primary(out, depth);
    const std::string_view sign = names_[position_].text;
    ++position_;
    Reading magnitude;
    if (!primary(magnitude, depth)) return false;
    // The number syntax reads a sign as the 8-bit two's complement: -1 is 255.
    const uint32_t byte = (0u - static_cast<uint32_t>(magnitude.value)) & 0xFFu;
    out.text = std::string(sign) + magnitude.text;
    out.value = byte;
    out.signedMagnitude = magnitude.value;
    if (findings_ != nullptr && (magnitude.value > 128 || magnitude.value < 0) &&
        findings_->truncated.empty())
      findings_->truncated = out.text + " is cut to 8 bits: " + std::to_string(byte) + " (" +
                             hexNumberText(byte) + ")";
    return true;
  }

  bool primary(Reading& out, int depth) {
    if (at('(')) {
      ++position_;
      if (!expression(1, out, depth + 1) || !at(')')) return false;
      ++position_;
      return true;
    }
    if (!at('n')) return false;
    const std::string_view number = values_[position_].text;
    const int value = parseNumber(number, static_cast<int>(number.size()) - 1);
    if (value == kMalformedNumber) return false;
    out.value = value;
    out.text = std::string(names_[position_].text);
    if (findings_ != nullptr && findings_->truncated.empty() && widerThan32Bits(number))
      findings_->truncated = out.text + " does not fit 32 bits: read as " + std::to_string(value);
    ++position_;
    return true;
  }

  // A signed number that is an operand of an operator is read unsigned there.
  void noteSigned(const Reading& operand) {
    if (findings_ == nullptr || operand.signedMagnitude <= 0 || operand.signedMagnitude > 128 ||
        !findings_->negativeRead.empty())
      return;
    findings_->negativeRead =
        operand.text + " is read back unsigned as " + std::to_string(operand.value);
  }

  void combine(Reading& left, char op, std::string_view opText, const Reading& right) {
    noteSigned(left);
    noteSigned(right);
    int64_t value = 0;
    if (!computeWide(op, left.value, right.value, value)) failed_ = true;
    left.value = value;
    left.text = "(" + left.text + std::string(opText) + right.text + ")";
    left.signedMagnitude = 0;
  }

  const std::vector<Token>& values_;
  const std::vector<Token>& names_;
  int (*power_)(char);
  OperandFindings* findings_;
  size_t position_ = 0;
  bool failed_ = false;
};

}  // namespace

bool operandChecksOn() {
  constexpr uint32_t kBits = 1u << (kWarnValueTruncated - kFirstTrapWarning) |
                             1u << (kWarnNegativeUnsigned - kFirstTrapWarning) |
                             1u << (kWarnMixedOperators - kFirstTrapWarning);
  return (persistentSettings().trapWarnings & kBits) != 0;
}

void raiseOperandFindings(AssemblerRun& run, const OperandFindings& findings, bool byteStore) {
  if (!findings.truncated.empty()) {
    raiseWarningNoted(run, kWarnValueTruncated, "%s", findings.truncated.c_str());
  } else if (findings.wholeByteNegative != 0 && !byteStore) {
    const uint32_t byte = static_cast<uint32_t>(findings.wholeByteNegative) & 0xFFu;
    raiseWarningNoted(run, kWarnValueTruncated, "%" PRId32 " is read as 8 bits: %" PRIu32 " (%s)",
                      findings.wholeByteNegative, byte, hexNumberText(byte).c_str());
  }
  if (!findings.negativeRead.empty())
    raiseWarningNoted(run, kWarnNegativeUnsigned, "%s", findings.negativeRead.c_str());
  if (!findings.mixed.empty())
    raiseWarningNoted(run, kWarnMixedOperators, "%s", findings.mixed.c_str());
}

void traceReduction(OperandFindings& findings, char op, int32_t l, int32_t r, int32_t result) {
  const std::string reduction = std::to_string(l) + operatorText(op) + std::to_string(r);
  if (findings.truncated.empty() && trapWarningOn(kWarnValueTruncated)) {
    const uint32_t count = static_cast<uint32_t>(r);
    if ((op == '<' || op == '>') && count >= 32 && l != 0) {
      findings.truncated = reduction + " shifts by " + std::to_string(count) + ", taken as " +
                           std::to_string(count % 32u);
    } else if (op != '<' && op != '>') {
      int64_t wide = 0;
      if (computeWide(op, l, r, wide) && wide != result)
        findings.truncated = reduction + " is " + std::to_string(wide) +
                             ", cut to 32 bits: " + std::to_string(result);
    } else if (op == '<' && (static_cast<int64_t>(l) * (int64_t{1} << count)) != result) {
      findings.truncated = reduction + " is " +
                           std::to_string(static_cast<int64_t>(l) * (int64_t{1} << count)) +
                           ", cut to 32 bits: " + std::to_string(result);
    }
  }
  if (result < 0 && findings.negativeRead.empty() && trapWarningOn(kWarnNegativeUnsigned))
    findings.negativeRead = reduction + " gives " + std::to_string(result) +
                            ", read back unsigned as " +
                            std::to_string(static_cast<uint32_t>(result) & 0xFFu);
}

void analyseOperand(std::string_view source, std::string_view rewritten, int32_t value,
                    OperandFindings& findings) {
  std::vector<Token> values, names;
  if (!tokenise(rewritten, values)) return;
  // The operand as written names the numbers and symbols; a symbol whose value is
  // negative adds a sign to the rewritten text, and then the values name themselves.
  bool sameShape = tokenise(source, names) && names.size() == values.size();
  for (size_t i = 0; sameShape && i < values.size(); ++i)
    sameShape = names[i].kind == values[i].kind;
  if (!sameShape) names = values;

  Reading language;
  ExpressionReader languageReader(values, names, languagePower, &findings);
  if (!languageReader.read(language)) return;
  if (language.signedMagnitude > 0 && language.signedMagnitude <= 128)
    findings.wholeByteNegative = static_cast<int32_t>(-language.signedMagnitude);

  if (!trapWarningOn(kWarnMixedOperators) || languageReader.failed()) return;
  Reading usual;
  ExpressionReader usualReader(values, names, usualPower, nullptr);
  if (!usualReader.read(usual) || usualReader.failed()) return;
  if (usual.value == language.value || usual.value == value) return;
  findings.mixed = std::string(source) + " is " + std::to_string(value) +
                   " here; with the usual precedence " + usual.text + " it would be " +
                   std::to_string(usual.value);
}

void checkPlainNumber(std::string_view text, OperandFindings& findings) {
  findings = OperandFindings();
  analyseOperand(text, text, parseNumber(text, static_cast<int>(text.size()) - 1), findings);
}

}  // namespace zq
