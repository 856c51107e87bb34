#include "test_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "chip/intel_hex.h"

namespace zqtest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zqasm-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  path_ = made ? made : pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string streamText(FILE* stream) {
  std::string text;
  if (stream == nullptr || std::fflush(stream) != 0) return text;
  std::rewind(stream);
  for (int c; (c = std::fgetc(stream)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

bool writeIntelHexFile(const std::string& path, const std::vector<uint8_t>& bytes,
                       const std::vector<uint8_t>& written, size_t unit) {
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return false;
  const bool ok = zq::writeIntelHex(out, bytes.data(), bytes.size(), written, unit);
  return std::fclose(out) == 0 && ok;
}

std::string chipDir() { return ZQASM_TEST_CHIP_DIR; }
std::string casesDir() { return ZQASM_TEST_CASES_DIR; }

std::unique_ptr<AssemblerParams> makeParams(const std::string& source, int romTop,
                                            int tableTop) {
  auto params = std::make_unique<AssemblerParams>();
  std::memset(params.get(), 0, sizeof(AssemblerParams));
  std::snprintf(params->sourcePath, sizeof params->sourcePath, "%s", source.c_str());
  std::snprintf(params->chipDirectory, sizeof params->chipDirectory, "%s", chipDir().c_str());
  params->programRomTop = romTop;
  params->tableRomTop = tableTop;
  return params;
}

}  // namespace zqtest
