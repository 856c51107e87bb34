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
  if (result == 1)
    std::fprintf(listing, "%5d %s %04lX %s  %s", s.listingLineCount, depthPrefix.c_str(), address,
                 s.wordText.c_str(), line.c_str());
  else if (result == 2)
    std::fprintf(listing, "%5d %s   %s", s.listingLineCount, depthPrefix.c_str(), line.c_str());
  else if (result == 0 || result == resultEndOfSource)
    std::fprintf(listing, "%s              %s", depthPrefix.c_str(), line.c_str());
  else
    std::fprintf(listing, "%s %04lX ?? ?? ??   %s", depthPrefix.c_str(), address, line.c_str());
}

void writeSourceListingLine(AssemblerRun& run, const std::string& line, unsigned lineNumber,
                            int pass) {
  if (pass != 2) return;
  SourceState& s = run.source;
  // One "+" per level, padded with blanks to three characters.
  std::string depthPrefix(static_cast<size_t>(depthOf(s)), '+');
  if (depthPrefix.size() < 3) depthPrefix.append(3 - depthPrefix.size(), ' ');
  // An over-long line was cut inside its physical line and has no line end of its own;
  // one is supplied so that the next listing line (its diagnostics, or the rest of the
  // physical line) starts a line and the ".SYM" line numbers keep pointing at the right
  // listing lines.
  const char* end = line.empty() || line.back() != '\n' ? "\n" : "";
  if (FILE* listing = run.files.listing)
    std::fprintf(listing, "%04u%s%s%s", lineNumber, depthPrefix.c_str(), line.c_str(), end);
  ++s.listingLineCount;
}

}  // namespace zq
