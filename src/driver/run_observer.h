// The run observer of programs linked with the static library (zqasm/observer.h): the
// places that write diagnostics, open files and write the images tell it what happened,
// and the driver enters its defines at the start of every pass. Without an observer
// every call here does nothing.
#ifndef ZQASM_DRIVER_RUN_OBSERVER_H_
#define ZQASM_DRIVER_RUN_OBSERVER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zqasm/observer.h"

namespace zq {

struct AssemblerRun;

struct CulpritNote;

// True when an observer takes diagnostics (so the work of describing them can be skipped).
bool observingDiagnostics();
// Tells of one diagnostic (kind ZQASM_ERROR ... ZQASM_FATAL; number -1 when none), with
// the message naming its culprit when there is one.
void observeDiagnostic(int kind, const std::string& file, unsigned line, int number,
                       const std::string& text, const std::string& message = "");
// Tells of a diagnostic written for a source line, with its note (nullptr when none);
// `inStatement`: the line is the one being processed, within the macro expansions in
// progress, which the observer is told of.
void observeLineDiagnostic(const AssemblerRun& run, int kind, const char* file, unsigned line,
                           int number, const std::string& text, const CulpritNote* note,
                           bool inStatement);
// Tells of a file opened for reading (kind ZQASM_FILE_SOURCE ... ZQASM_FILE_MASK_OPTIONS).
void observeFileRead(const std::string& path, int kind);
// True when an observer wants the images (so the work of observeImage can be skipped).
bool observingImages();
// Tells of the images written; the flags are per word and per table cell; the RAM names
// defined and the nibbles they allocate.
void observeImage(const std::vector<uint8_t>& programBytes,
                  const std::vector<uint8_t>& programWritten, size_t programWords,
                  const std::vector<uint8_t>& tableBytes, const std::vector<uint8_t>& tableWritten,
                  size_t ramNames, size_t ramNibbles);
// Enters the observer's defines as DEFINE statements of `pass`; nothing they raise is
// reported (the host checked them with ZqasmCheckDefine).
void enterObserverDefines(AssemblerRun& run, int pass);

}  // namespace zq

#endif  // ZQASM_DRIVER_RUN_OBSERVER_H_
