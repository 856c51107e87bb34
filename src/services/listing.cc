// Listing writers: the statement forms chosen by the result and the form of lines the
// pass loop lists as they stand.
#include "services/listing.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/output_line.h"
#include "platform/platform.h"
#include "services/diagnostics.h"
#include "services/run.h"

namespace zq {

namespace {

// Include depth shown by writeListingLine: at most three "+".
constexpr int kMaxDepthMarks = 3;

// includeLevel as a count of "+" marks (never negative).
int depthOf(const SourceState& s) { return s.includeLevel > 0 ? s.includeLevel : 0; }

// The forms of writeListingLine for an address of four digits, a listing line count that
// is not negative and a line that fits the local array, built there with a cursor of its
// own and written when `listing` is open. The characters of the line, or 0 (nothing
// written) for any other.
size_t writeUsualListingLine(FILE* listing, const SourceState& s, const std::string& line,
                           unsigned lineNumber, int result, int marks) {
  namespace f = line_fields;
  // "%s" ends the line at a NUL.
  const void* nul = std::memchr(line.data(), '\0', line.size());
  const std::string_view text(
      line.data(),
      nul ? static_cast<size_t>(static_cast<const char*>(nul) - line.data()) : line.size());
  // The widest columns: 10 digits, a blank, 10 digits, 3 marks, the address and code
  // texts with their blanks.
  constexpr size_t kColumns = 64;
  char buffer[kColumns + 1280];
  const auto address = static_cast<uint32_t>(s.statementAddress);
  if (address > 0xFFFF || s.listingLineCount < 0 || text.size() + 1 > sizeof buffer - kColumns)
    return 0;
  char* out = buffer;
  auto depth = [&]() {
    out = f::decimal(out, lineNumber, 5, '0');
    for (int k = 0; k < marks; ++k) *out++ = '+';
  };
  if (result == 1) {
    // "%5d %s %04lX %s  %s%s"
    out = f::decimal(out, static_cast<uint32_t>(s.listingLineCount), 5);
    *out++ = ' ';
    depth();
    *out++ = ' ';
    out = f::hex(out, address, 4);
    *out++ = ' ';
    out = f::text(out, s.wordText);
    out = f::text(out, "  ");
  } else if (result == 2) {
    // "%5d %s   %s%s"
    out = f::decimal(out, static_cast<uint32_t>(s.listingLineCount), 5);
    *out++ = ' ';
    depth();
    out = f::text(out, "   ");
  } else if (result == 0 || result == resultEndOfSource) {
    // "%s              %s%s"
    depth();
    out = f::text(out, "              ");
  } else {
    // "%s %04lX ?? ?? ??   %s%s"
    depth();
    *out++ = ' ';
    out = f::hex(out, address, 4);
    out = f::text(out, " ?? ?? ??   ");
  }
  out = f::text(out, text);
  if (line.empty() || line.back() != '\n') *out++ = '\n';
  const auto size = static_cast<size_t>(out - buffer);
  if (listing != nullptr) writeToStream(listing, buffer, size);
  return size;
}

}  // namespace

const char* listingLineEnd(const std::string& line) {
  return line.empty() || line.back() != '\n' ? "\n" : "";
}

void writeListingLine(AssemblerRun& run, const std::string& line, unsigned lineNumber, int result) {
  SourceState& s = run.source;
  // Counted also without a stream, so the ".SYM" line numbers stay right.
  ++s.listingLineCount;
  if (result == resultRomOverflow) raiseError(run, 22);
  // The line is made also without a stream: its characters count against the bound of
  // what macro expansions write.
  FILE* listing = run.files.listing;
  // The address prints as a 32-bit pattern, like the unsigned long it was.
  unsigned long address = static_cast<uint32_t>(s.statementAddress);
  // The depth column "%05u" and the "+" marks, 5 to 8 characters.
  const int marks = depthOf(s) < kMaxDepthMarks ? depthOf(s) : kMaxDepthMarks;
  if (const size_t written = writeUsualListingLine(listing, s, line, lineNumber, result, marks)) {
    s.outputTextBytes += written;
    return;
  }
  OutputLine out;
  auto depth = [&]() { out.decimalZeros(lineNumber, 5).repeat('+', static_cast<size_t>(marks)); };
  if (result == 1) {
    // "%5d %s %04lX %s  %s%s"
    out.decimal(s.listingLineCount, 5).text(" ");
    depth();
    out.text(" ").hex(address, 4).text(" ").text(s.wordText).text("  ");
  } else if (result == 2) {
    // "%5d %s   %s%s"
    out.decimal(s.listingLineCount, 5).text(" ");
    depth();
    out.text("   ");
  } else if (result == 0 || result == resultEndOfSource) {
    // "%s              %s%s"
    depth();
    out.text("              ");
  } else {
    // "%s %04lX ?? ?? ??   %s%s"
    depth();
    out.text(" ").hex(address, 4).text(" ?? ?? ??   ");
  }
  out.text(line).text(listingLineEnd(line));
  s.outputTextBytes += out.size();
  out.writeTo(listing);
}

void writeSourceListingLine(AssemblerRun& run, const std::string& line, unsigned lineNumber,
                            int pass) {
  if (pass != 2) return;
  SourceState& s = run.source;
  // One "+" per level, padded with blanks to three characters.
  size_t depth = static_cast<size_t>(depthOf(s));
  // "%04u%s%s%s"
  OutputLine out;
  out.decimalZeros(lineNumber, 4).repeat('+', depth).repeat(' ', depth < 3 ? 3 - depth : 0);
  out.text(line).text(listingLineEnd(line)).writeTo(run.files.listing);
  s.outputTextBytes += out.size();
  ++s.listingLineCount;
}

}  // namespace zq
