// Helpers shared by the tests: temporary directories, whole-file reads and writes, and a
// zeroed parameter block pointing at the bundled chips.
#ifndef ZQASM_TESTS_TEST_SUPPORT_H_
#define ZQASM_TESTS_TEST_SUPPORT_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "zqasm/assembler.h"

namespace zqtest {

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool fileExists(const std::string& path);
std::string readFile(const std::string& path);  // empty when missing
void writeFile(const std::string& path, const std::string& content);
// Everything written so far to a stream opened for update (std::tmpfile), from its start.
std::string streamText(FILE* stream);

// Writes `bytes` to `path` as the library writes Intel HEX (one flag in `written` per
// `unit` bytes). False when the file cannot be written.
bool writeIntelHexFile(const std::string& path, const std::vector<uint8_t>& bytes,
                       const std::vector<uint8_t>& written, size_t unit);

// Directory of the chip files built from chips/*.txt.
std::string chipDir();
// Directory of the end-to-end cases.
std::string casesDir();

// A zeroed block with the source path, the bundled chip directory and the ROM tops.
std::unique_ptr<AssemblerParams> makeParams(const std::string& source, int romTop = 0xFFF,
                                            int tableTop = -1);

}  // namespace zqtest

#endif  // ZQASM_TESTS_TEST_SUPPORT_H_
