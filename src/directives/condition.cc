// Conditional assembly. Conditions are rewritten into a string of operator symbols
// (operator words such as .GT. become ">", blanks and brackets go), cut into terms at
// "&&" and "||", and the terms are combined strictly from left to right.
#include "directives/condition.h"

#include <vector>

#include "directives/directive.h"
#include "directives/macro.h"
#include "directives/segment.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/run.h"
#include "symbols/expression.h"
#include "symbols/label_table.h"
#include "symbols/local_labels.h"

namespace zq {

namespace {

constexpr int kErrSyntax = 20;
constexpr int kErrUnbalanced = 28;
constexpr int kErrTooDeep = 34;
constexpr int kErrBlankOutsideMacro = 54;
constexpr int kErrBlankNoName = 55;
constexpr int kErrBlankUnknownName = 56;
constexpr int kErrFieldTooLong = 72;

// ".PARAMCOUNT" and the character before it that ended the keyword.
constexpr size_t kParamCountPrefix = 12;
// A condition is copied, rebuilt and split over several times before its operands are
// evaluated: each of its characters counts this many steps of the evaluator
// (SourceState::evaluationSteps), which the work of macro expansions is bounded by.
constexpr uint64_t kConditionCharSteps = 8;

struct OperatorWord {
  const char* word;
  const char* symbol;
};
constexpr OperatorWord conditionOperators[] = {
    {"GT", ">"},  {"GE", ">="},  {"LT", "<"},  {"LE", "<="}, {"EQ", "="},
    {"NE", "<>"}, {"AND", "&&"}, {"OR", "||"}, {"NOT", "!"},
};

const char* operatorSymbol(const std::string& word) {
  for (const OperatorWord& entry : conditionOperators)
    if (word == entry.word) return entry.symbol;
  return nullptr;
}

bool endsCondition(char c) { return c == ';' || c == '\n'; }

// The macro whose expansion produced the current line, or nullptr for a file line.
const MacroRecord* expandingMacro(const AssemblerRun& run) {
  int context = run.source.macroContext;
  if (context < 0 || static_cast<size_t>(context) >= run.macros.macroTable.size()) return nullptr;
  return &run.macros.macroTable[static_cast<size_t>(context)];
}

// Builds the condition string: operator words become symbols, blanks, tabs and brackets
// are dropped. False when an operator word is missing or unknown.
bool buildConditionString(const std::string& text, std::string& out) {
  out.clear();
  size_t i = 0;
  while (i < text.size() && !endsCondition(text[i])) {
    char c = text[i];
    if (isBlank(c) || c == '(' || c == ')') {
      ++i;
    } else if (c == '.') {
      size_t j = i + 1;
      std::string word;
      while (j < text.size() && isLetter(text[j])) word.push_back(toUpper(text[j++]));
      const char* symbol = word.empty() ? nullptr : operatorSymbol(word);
      if (symbol == nullptr) return false;
      out += symbol;
      // The character that ends the word goes with it (".GT." and ".GT " alike), unless
      // it ends the condition.
      if (j < text.size() && !endsCondition(text[j])) ++j;
      i = j;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return true;
}

// Whether `name` is a label: value operands do not see labels, but a label is no
// undefined symbol. A macro-local name is asked without findLabel, which would mark the
// node used.
bool isLabel(AssemblerRun& run, std::string_view name) {
  return isMacroLocalName(run, name) == 1 || findLabel(run, name) >= 0;
}

// Warning 5 for an operand that failed because it names a symbol no table knows: the
// operand is taken as 0. The evaluator keeps the name it could not find.
void warnUndefinedOperand(AssemblerRun& run, const std::string& operand) {
  const std::string& name = run.diagnostics.unresolvedName;
  if (name.empty() || isLabel(run, name)) return;
  if (name == operand) {
    raiseWarningNoted(run, kWarnUndefinedInCondition, "undefined symbol '%s' taken as 0",
                      name.c_str());
  } else {
    raiseWarningNoted(run, kWarnUndefinedInCondition,
                      "undefined symbol '%s': the operand '%s' is taken as 0", name.c_str(),
                      operand.c_str());
  }
}

// Value of one operand of a term: 16 bits, a failed evaluation counting as 0; "!X" is 1
// when X is 0. Pass 0: the evaluator raises nothing. With `warn` (pass 2 of IF or ELSEIF)
// the trap warnings the host asked for: 5 for an operand that fails on an undefined
// symbol, 7 to 9 for one that evaluates. `bracketed`: the condition was written with
// brackets, which are gone from `operand`; its grouping is then not known here, and
// warning 9 is not raised.
uint32_t operandValue(AssemblerRun& run, const std::string& operand, int32_t& rawValue, bool warn,
                      bool bracketed) {
  const bool negate = operand[0] == '!';
  const std::string evaluated = negate ? operand.substr(1) : operand;
  const bool warnUndefined = warn && trapWarningOn(kWarnUndefinedInCondition);
  if (warnUndefined) run.diagnostics.unresolvedName.clear();
  if (warn && run.source.operandChecks) {
    OperandFindings findings;
    rawValue = evaluateOperandSilently(run, evaluated, kClassValue, findings);
    if (bracketed) findings.mixed.clear();
    if (rawValue >= 0) raiseOperandFindings(run, findings, false);
  } else {
    rawValue = evaluateOperand(run, evaluated, 0, kClassValue);
  }
  if (rawValue < 0 && warnUndefined) warnUndefinedOperand(run, evaluated);
  uint32_t value = rawValue < 0 ? 0 : static_cast<uint32_t>(rawValue) & 0xFFFF;
  if (negate) value = value == 0 ? 1 : 0;
  return value;
}

bool termTruth(const ComparisonTerm& t, int code) {
  switch (t.op) {
    case kOpGt:
      return t.left > t.right;
    case kOpGe:
      return t.left >= t.right;
    case kOpLt:
      return t.left < t.right;
    case kOpLe:
      return t.left <= t.right;
    case kOpEq:
      return t.left == t.right;
    case kOpNe:
      return t.left != t.right;
    default:
      break;
  }
  // A lone operand: IFDEF/IFNDEF ask whether it evaluates at all (a value of 0 counts).
  if (code == kDirIfDef || code == kDirIfNDef) return t.left != 0 || t.rawValue == 0;
  return t.left != 0;
}

// Sum of the character codes of a quoted item, quotes included.
int32_t characterSum(const std::string& item) {
  int32_t sum = 0;
  for (char c : item) sum += static_cast<unsigned char>(c);
  return sum;
}

// Pushes a level: `parentOn` says whether assembling was on when it opened. A level of
// file lines remembers the line that opened it.
void pushLevel(AssemblerRun& run, ConditionStack& stack, int32_t& active, bool parentOn,
               int condition) {
  const size_t level = static_cast<size_t>(++stack.depth);
  stack.parentOn[level] = parentOn ? 1 : 0;
  stack.states[level] = static_cast<uint8_t>(condition);
  stack.branchOn[level] = static_cast<uint8_t>(parentOn && condition);
  active = stack.branchOn[level];
  const SourceState& s = run.source;
  if (s.macroContext < 0 && s.includeLevel >= 0 && s.includeLevel <= kMaxIncludeLevel) {
    stack.openFile[level] = s.includeFileNames[static_cast<size_t>(s.includeLevel)];
    stack.openLine[level] = s.currentLineNumber;
  }
}

}  // namespace

int evaluateComparison(AssemblerRun& run, const std::string& text, ComparisonTerm& term, bool warn,
                       bool bracketed) {
  term = ComparisonTerm{};
  std::string operand;
  bool hasOperator = false;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    uint8_t op = kOpNone;
    if ((c == '>' || c == '<') && next == c) {
      // ">>" and "<<" are shifts of the evaluator, part of the operand.
      operand.append(2, c);
      i += 2;
      continue;
    }
    if (c == '>') {
      op = next == '=' ? kOpGe : kOpGt;
    } else if (c == '<') {
      op = next == '=' ? kOpLe : next == '>' ? kOpNe : kOpLt;
    } else if (c == '=') {
      op = kOpEq;
    }
    if (op == kOpNone) {
      operand.push_back(c);
      ++i;
      continue;
    }
    // ">=", "<=", "<>" and "==" take two characters.
    const size_t length = op == kOpGe || op == kOpLe || op == kOpNe || next == '=' ? 2 : 1;
    if (operand.empty()) return -1;
    // A second operator in one term starts over from its left operand.
    term.left = operandValue(run, operand, term.rawValue, warn, bracketed);
    term.op = op;
    hasOperator = true;
    operand.clear();
    i += length;
  }
  if (!operand.empty()) {
    uint32_t value = operandValue(run, operand, term.rawValue, warn, bracketed);
    (hasOperator ? term.right : term.left) = value;
  }
  return 1;
}

int evaluateCondition(AssemblerRun& run, const std::string& arguments, int code, int pass) {
  run.source.evaluationSteps += arguments.size() * kConditionCharSteps;
  // Terms are evaluated silently, as in pass 0. IFDEF and IFNDEF ask whether a symbol is
  // defined, so only IF and ELSEIF draw the trap warnings.
  if (arguments.empty()) return -1;
  const bool warn = pass == 2 && (code == kDirIf || code == kDirElseIf);
  std::string text = arguments;
  if (const MacroRecord* macro = expandingMacro(run)) {
    // ".PARAMCOUNT" stands right after the keyword's blank: the first twelve characters
    // give way to the argument count, wherever the name was found.
    std::string copy = upperCase(arguments);
    if (copy.find(".PARAMCOUNT") != std::string::npos) {
      copy.replace(0, kParamCountPrefix, std::to_string(macro->argumentCount));
      text = copy;
    }
  }

  std::string condition;
  if (!buildConditionString(text, condition) || condition.empty()) return -1;
  const bool bracketed =
      warn && text.substr(0, text.find_first_of(";\n")).find_first_of("()") != std::string::npos;

  std::vector<ComparisonTerm> terms;
  size_t start = 0;
  auto addTerm = [&](size_t end, uint8_t connector) {
    if (terms.size() >= kMaxComparisonTerms) return false;
    ComparisonTerm term;
    if (evaluateComparison(run, condition.substr(start, end - start), term, warn, bracketed) < 0)
      return false;
    term.connector = connector;
    terms.push_back(term);
    return true;
  };
  for (size_t i = 0; i + 1 < condition.size();) {
    const char c = condition[i];
    if ((c == '&' || c == '|') && condition[i + 1] == c) {
      if (i == start || !addTerm(i, c == '&' ? kConnectAnd : kConnectOr)) return -1;
      i += 2;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < condition.size() && !addTerm(condition.size(), 0)) return -1;
  if (terms.empty()) return -1;

  // Strictly left to right: (A && B) || C, and A || B && C is (A || B) && C.
  bool result = termTruth(terms[0], code);
  for (size_t i = 1; i < terms.size(); ++i) {
    const bool truth = termTruth(terms[i], code);
    result = terms[i - 1].connector == kConnectOr ? (result || truth) : (result && truth);
  }
  return result ? 1 : 0;
}

int compareOperands(AssemblerRun& run, const std::string& arguments, int code, int pass) {
  run.source.evaluationSteps += arguments.size() * kConditionCharSteps;
  std::string copy;
  if (stripBlanks(run, arguments, copy, pass) == 0) return -1;
  const std::vector<std::string> items = splitList(copy);
  // Refused alike in both passes, so that pass 1 opens no level that pass 2 does not.
  if (items.size() != 2) {
    if (pass == 2) raiseError(run, kErrSyntax);
    return -1;
  }
  int32_t values[2] = {0, 0};
  for (size_t k = 0; k < 2; ++k) {
    // Items live in field buffers of 255 characters; a longer one is cut, and said so.
    if (items[k].size() > kMaxFieldLength && pass == 2) raiseError(run, kErrFieldTooLong);
    const std::string item = items[k].substr(0, kMaxFieldLength);
    if (item[0] == '"' || item[0] == '\'') {
      values[k] = characterSum(item);
    } else {
      values[k] = evaluateOperand(run, item, pass, kClassValue);
      if (values[k] < 0) return -1;
    }
  }
  const bool same = values[0] == values[1];
  return (code == kDirIfSame ? same : !same) ? 1 : 0;
}

int testBlankParameter(AssemblerRun& run, const std::string& arguments, int code, int pass) {
  const MacroRecord* macro = expandingMacro(run);
  if (macro == nullptr) {
    if (pass == 2) raiseError(run, kErrBlankOutsideMacro);
    return -1;
  }
  std::string name;
  for (char c : arguments) {
    if (c == ';') break;
    if (!isBlank(c) && c != '\n') name.push_back(c);
  }
  if (name.empty()) {
    if (pass == 2) raiseError(run, kErrBlankNoName);
    return 1;
  }
  size_t k = 0;
  while (k < kMaxParameters && !macro->parameterNames[k].empty() &&
         !equalsNoCase(macro->parameterNames[k], name))
    ++k;
  if (k >= kMaxParameters || macro->parameterNames[k].empty()) {
    if (pass == 2) raiseError(run, kErrBlankUnknownName);
    return 1;
  }
  const bool blank = static_cast<int>(k) + 1 > macro->argumentCount || macro->arguments[k].empty();
  return (code == kDirIfBlank ? blank : !blank) ? 1 : 0;
}

int handleConditional(AssemblerRun& run, int code, const std::string& arguments, int pass) {
  SourceState& s = run.source;
  const bool inExpansion = s.macroContext >= 0;
  ConditionStack& stack =
      inExpansion ? run.conditions.macroConditions : run.conditions.sourceConditions;
  int32_t& active = inExpansion ? s.macroAssemblingOn : s.assemblingOn;
  const size_t top = static_cast<size_t>(stack.depth);

  if (code == kDirElse || code == kDirElseIf || code == kDirEndIf) {
    // The directive processor answers these at depth 0 itself.
    if (stack.depth <= 0 || stack.depth > kMaxConditionDepth) return 0;
    if (code == kDirEndIf) {
      --stack.depth;
      active = stack.depth == 0 ? 1 : stack.branchOn[top - 1];
      return 0;
    }
    if (code == kDirElse) {
      stack.branchOn[top] = stack.parentOn[top] && stack.states[top] == 0;
      active = stack.branchOn[top];
      return 0;
    }
    // ELSEIF: evaluated only while no branch of an assembled level has been taken.
    if (!stack.parentOn[top] || stack.states[top] != 0) {
      stack.branchOn[top] = 0;
      active = 0;
      return 0;
    }
    const int condition = evaluateCondition(run, arguments, code, pass);
    if (condition < 0) {
      // The line lies in a branch that is off, where nothing else would report it.
      if (pass == 2) raiseError(run, kErrSyntax);
      return resultNotDirective;
    }
    stack.states[top] = stack.branchOn[top] = static_cast<uint8_t>(condition);
    active = condition;
    return 0;
  }

  // IF family.
  if (stack.depth >= kMaxConditionDepth) {
    if (pass == 2) raiseError(run, kErrTooDeep);
    return 0;
  }
  // In a skipped region nothing is evaluated; the level stays off through all its
  // branches, so each ELSE, ELSEIF and ENDIF acts on its own conditional.
  if (!active) {
    pushLevel(run, stack, active, false, 0);
    return 0;
  }
  int condition;
  if (code == kDirIfSame || code == kDirIfDiff) {
    condition = compareOperands(run, arguments, code, pass);
  } else if (code == kDirIfBlank || code == kDirIfNBlank) {
    condition = testBlankParameter(run, arguments, code, pass);
  } else {
    condition = evaluateCondition(run, arguments, code, pass);
  }
  if (condition < 0) return resultNotDirective;
  if (code == kDirIfNDef) condition = !condition;
  pushLevel(run, stack, active, true, condition);
  return 0;
}

void reportOpenConditionals(AssemblerRun& run, int pass) {
  if (pass != 2) return;
  ConditionStack& stack = run.conditions.sourceConditions;
  const int depth = stack.depth < kMaxConditionDepth ? stack.depth : kMaxConditionDepth;
  for (int level = 1; level <= depth; ++level) {
    raiseError(run, kErrUnbalanced);
    flushLineDiagnosticsAt(run, stack.openFile[static_cast<size_t>(level)],
                           stack.openLine[static_cast<size_t>(level)]);
  }
}

}  // namespace zq
