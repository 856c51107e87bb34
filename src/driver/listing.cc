// Listing writers: the statement forms chosen by the result and the form of lines the
// pass loop lists as they stand.
#include "driver/listing.h"

#include <cstdio>

#include "driver/diagnostics.h"
#include "driver/run.h"

namespace zq {

namespace {

// Include depth shown by writeListingLine: at most three "+".
constexpr int kMaxDepthMarks = 3;

// includeLevel as a count of "+" marks (never negative).
int depthOf(const SourceState& s) { return s.includeLevel > 0 ? s.includeLevel : 0; }

}  // namespace

const char* listingLineEnd(const std::string& line) {
  return line.empty() || line.back() != '\n' ? "\n" : "";
}

void writeListingLine(AssemblerRun& run, const std::string& line, unsigned lineNumber, int result) {
  SourceState& s = run.source;
  // "%05u" and the "+" marks; 5 to 8 characters.
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%05u", lineNumber);
  std::string depthPrefix = prefix;
  int marks = depthOf(s) < kMaxDepthMarks ? depthOf(s) : kMaxDepthMarks;
  depthPrefix.append(static_cast<size_t>(marks), '+');

  // Counted also without a stream, so the ".SYM" line numbers stay right.
  ++s.listingLineCount;
  if (result == resultRomOverflow) raiseError(run, 22);
  FILE* listing = run.files.listing;
  if (listing == nullptr) return;
  // The address prints as a 32-bit pattern, like the unsigned long it was.
  unsigned long address = static_cast<uint32_t>(s.statementAddress);
  const char* end = listingLineEnd(line);
  if (result == 1)
    std::fprintf(listing, "%5d %s %04lX %s  %s%s", s.listingLineCount, depthPrefix.c_str(), address,
                 s.wordText.c_str(), line.c_str(), end);
  else if (result == 2)
    std::fprintf(listing, "%5d %s   %s%s", s.listingLineCount, depthPrefix.c_str(), line.c_str(),
                 end);
  else if (result == 0 || result == resultEndOfSource)
    std::fprintf(listing, "%s              %s%s", depthPrefix.c_str(), line.c_str(), end);
  else
    std::fprintf(listing, "%s %04lX ?? ?? ??   %s%s", depthPrefix.c_str(), address, line.c_str(),
                 end);
}

void writeSourceListingLine(AssemblerRun& run, const std::string& line, unsigned lineNumber,
                            int pass) {
  if (pass != 2) return;
  SourceState& s = run.source;
  // One "+" per level, padded with blanks to three characters.
  std::string depthPrefix(static_cast<size_t>(depthOf(s)), '+');
  if (depthPrefix.size() < 3) depthPrefix.append(3 - depthPrefix.size(), ' ');
  if (FILE* listing = run.files.listing)
    std::fprintf(listing, "%04u%s%s%s", lineNumber, depthPrefix.c_str(), line.c_str(),
                 listingLineEnd(line));
  ++s.listingLineCount;
}

}  // namespace zq
