// Shared assembly state: the per-line and per-pass values that the pass loop, the
// statement router and nearly every handler read and write. One instance lives in the
// run object; the driver resets it at the start of the run and of every pass.
#ifndef ZQASM_SOURCE_SOURCE_STATE_H_
#define ZQASM_SOURCE_SOURCE_STATE_H_

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zq {

// Statement results that travel between handlers, the router and the pass loop.
// Negative values are failures or stops; the rest say how a line is to be listed.
constexpr int resultNotDirective = -1;
constexpr int resultUnknownMnemonic = -9901;  // encoder: mnemonic not in the chip table
constexpr int resultBadOperandCount = -9902;  // encoder: no form takes that many operands
constexpr int resultEndOfSource = -9991;      // END, or a handler that stops the file
constexpr int resultFatal = -9993;            // the run stops
constexpr int resultNotLabel = -9998;         // the first word is a mnemonic
constexpr int resultReserved = 1;             // DS advanced the location counter
constexpr int resultConstantDefined = 2;
constexpr int resultStringDefined = 7;
constexpr int resultExitMacro = 11;
constexpr int resultRomOverflow = 22;
constexpr int resultMacroDone = 6601;
constexpr int resultListedDirective = 6602;
constexpr int resultListedTable = 6603;
constexpr int resultOrgLine = 10001;

constexpr int kMaxIncludeLevel = 8;      // levels 0 (main source) to 8
constexpr int kMaxFields = 32;           // statement fields, mnemonic included
constexpr size_t kMaxFieldLength = 255;  // a field buffer holds 255 characters
constexpr size_t kMaxLineLength = 1024;  // characters processed per line

// Bounds of the include files read in one pass, far above any real program.
constexpr int kMaxIncludeFiles = 1000;               // include files opened
constexpr size_t kMaxIncludeText = size_t{1} << 24;  // characters of their lines

// A text of at most N characters held in place, so that setting it (once or more per
// statement) never allocates: the field buffers of the splitters and the code texts. It
// reads as a std::string_view; str() makes a std::string of it.
template <size_t N>
class FixedText {
 public:
  FixedText() { text_[0] = '\0'; }
  FixedText(std::string_view text) { assign(text); }  // NOLINT: a text stands for it
  FixedText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }
  // Keeps the first N characters of `text`.
  void assign(std::string_view text) {
    // The length is kept in a local: a store to text_ could be a store to length_.
    const size_t length = text.size() < N ? text.size() : N;
    if (length > 0) std::memcpy(text_, text.data(), length);
    text_[length] = '\0';
    length_ = length;
  }
  void clear() { assign(std::string_view()); }

  size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  const char* data() const { return text_; }
  const char* c_str() const { return text_; }
  // Index `size()` reads the terminating NUL.
  char operator[](size_t index) const { return text_[index]; }
  std::string_view view() const { return std::string_view(text_, length_); }
  operator std::string_view() const { return view(); }
  std::string str() const { return std::string(text_, length_); }

  friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(std::string_view a, const FixedText& b) { return a == b.view(); }
  friend bool operator!=(const FixedText& a, std::string_view b) { return a.view() != b; }
  friend bool operator!=(std::string_view a, const FixedText& b) { return a != b.view(); }

 private:
  char text_[N + 1];
  size_t length_ = 0;
};

// One field buffer: at most kMaxFieldLength characters.
using FieldText = FixedText<kMaxFieldLength>;

struct SourceState {
  // Pass being run (0, 1, 2). Handlers get it as an argument; it is kept here only for
  // the lookups that get none (the macro-local label lookup).
  int pass = 0;
  // Pass 2 of a run whose host asked for any of the trap warnings 7 to 9: operands are
  // checked for them (set by beginPass, so that a run without them tests one flag).
  bool operandChecks = false;
  uint32_t lineNumber = 0;         // line in the current file; 0 before and after the passes
  uint32_t currentLineNumber = 0;  // line number of the statement being processed
  int64_t passLineCount = 0;       // source and expanded lines of the pass; never wraps
  int32_t listingLineCount = 0;    // lines written to the listing in the pass
  // Characters of the statement, diagnostic and macro frame lines written in the pass
  // to the listing and the error file, counted also without the streams. What macro
  // expansions write of them is bounded (MacroState::expansionOutput).
  uint64_t outputTextBytes = 0;
  // Characters the expression evaluator scanned, copied and moved in the pass, counted
  // also on its ways that fail. What macro expansions cost of them is bounded
  // (MacroState::expansionSteps).
  uint64_t evaluationSteps = 0;
  int16_t includeLevel = 0;        // 0 for the main source, at most 8
  std::array<std::string, kMaxIncludeLevel + 1> includeFileNames;  // name per level
  int32_t includeFilesOpened = 0;  // include readings started in the pass
  size_t includeTextRead = 0;      // characters of include file lines read in the pass
  // Include names found in an earlier pass of the run, with the file found: a later pass
  // reads the same file without searching again (a name in another case than the file's
  // costs a directory listing). Names not found are searched again each pass.
  std::unordered_map<std::string, std::string> foundIncludes;

  int32_t locationCounter = 0;    // next program address
  int32_t statementAddress = 0;   // locationCounter when the statement began
  int32_t lastCodeAddress = 0;    // last ORG origin or last instruction address
  int32_t orgCount = 0;           // ORG statements accepted in the pass
  int32_t outOfRangeAddress = 0;  // last instruction address beyond programRomTop

  // Field buffers 1 to 33 (index 0 unused): splitFields fills 1..4, the statement
  // splitter 1..32 and marks a 33rd. Each holds at most kMaxFieldLength characters.
  // Fields beyond the count returned keep their earlier contents.
  std::array<FieldText, kMaxFields + 2> field;
  // The first field (its buffer number) that a split (splitFields, the statement
  // splitter) had to cut to its first kMaxFieldLength characters, 0 when none; cleared
  // when the next split begins. The handler that acts on the fields raises error 72 for
  // it in pass 2.
  int fieldCut = 0;
  // Field count of the instruction split made for the statement just routed (mnemonic
  // included), or -1 when the statement never reached the instruction handler. The pass
  // loop and the macro expander hand it to expandMacro.
  int lastFieldCount = -1;

  int32_t assemblingOn = 1;         // conditional state of lines read from files
  int32_t macroAssemblingOn = 1;    // conditional state of lines of a macro expansion
  int32_t macroContext = -1;        // -1 for a file line, else the expanding macro
  int32_t macroDefinitionOpen = 0;  // between a macro head and its end
  int32_t dataSegmentOpen = 0;      // inside DATA ... ENDD
  int32_t tableSegmentOpen = 0;     // inside TABLE ... ENDT
  int32_t chipState = 0;            // 0 no .CHIP yet, 1 chip loaded, -1 load failed
  int32_t fatalError = 0;           // the run ends with the fatal message
  bool stopRequested = false;       // the host's observer ended the run (with fatalError)

  int32_t programRomTop = 0;       // highest program address (from the block)
  bool bankedRom = false;          // programRomTop above 4096
  int32_t labelCaseSensitive = 0;  // from the block
  uint16_t lastConstantValue = 0;  // value of the last constant; listing column

  // Instruction code text: eleven blanks at the start of each statement, then
  // "LL HH" (low byte, high byte) from the encoder. The word text is "%04X".
  FixedText<15> codeText = std::string_view("           ");
  FixedText<15> wordText;

  // Moves locationCounter on by `words`. The counter stops at INT32_MAX instead of
  // overflowing: beyond programRomTop every statement is refused anyway (error 22).
  void advanceLocationCounter(uint32_t words) {
    int64_t next = int64_t{locationCounter} + words;
    locationCounter = next > INT32_MAX ? INT32_MAX : static_cast<int32_t>(next);
  }

  // Active conditional flag for the statement being processed, chosen by macroContext.
  bool conditionOn() const {
    return macroContext >= 0 ? macroAssemblingOn != 0 : assemblingOn != 0;
  }
};

}  // namespace zq

#endif  // ZQASM_SOURCE_SOURCE_STATE_H_
