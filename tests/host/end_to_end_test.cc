// End-to-end cases: each folder of tests/cases holds a source program (with its include
// files), a case.ini naming the block settings, and the expected output files written by
// hand. The test copies the folder into a temporary directory, fills a real parameter
// block, calls Run44Assembler from there and compares whole files. "$DIR" in an expected
// text stands for the temporary directory's real path. Every image a case writes is read
// back by zqdis and assembled again, which must give the same image.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/round_trip.h"
#include "zqasm/assembler.h"

namespace fs = std::filesystem;

namespace {

struct CaseSettings {
  std::string source = "main.asm";
  int romTop = 0xFFF;
  int tableTop = -1;
  int caseSensitive = 0;
  int result = 1;
  std::vector<std::string> includes;
  std::string maskOptions;
  int codeEnd = -1;      // checked when set
  int tableUsed = -1;    // checked when set
  std::string warnings;  // for ZqasmSetWarnings before the run; none when empty
};

CaseSettings readSettings(const std::string& path) {
  CaseSettings s;
  std::istringstream in(zqtest::readFile(path));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    auto trim = [](std::string t) {
      while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
      size_t b = t.find_first_not_of(" \t");
      return b == std::string::npos ? std::string() : t.substr(b);
    };
    std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
    int number = static_cast<int>(std::strtol(value.c_str(), nullptr, 0));
    if (key == "source") s.source = value;
    else if (key == "rom-top") s.romTop = number;
    else if (key == "table-top") s.tableTop = number;
    else if (key == "case-sensitive") s.caseSensitive = number;
    else if (key == "result") s.result = number;
    else if (key == "include") s.includes.push_back(value);
    else if (key == "mask-options") s.maskOptions = value;
    else if (key == "code-end") s.codeEnd = number;
    else if (key == "table-used") s.tableUsed = number;
    else if (key == "warnings") s.warnings = value;
  }
  return s;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Builds the expected object image from "header NAME", "fill XX", "words N" and
// "ADDR WORD" lines (hexadecimal).
std::string expectedObject(const std::string& description) {
  std::istringstream in(description);
  std::string line, header;
  unsigned fill = 0, words = 0x1000;
  std::map<unsigned, unsigned> placed;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key.empty() || key[0] == '#') continue;
    if (key == "header") fields >> header;
    else if (key == "fill") fields >> std::hex >> fill;
    else if (key == "words") fields >> std::hex >> words;
    else {
      unsigned word = 0;
      fields >> std::hex >> word;
      placed[static_cast<unsigned>(std::stoul(key, nullptr, 16))] = word;
    }
  }
  std::string bytes(2 * words, static_cast<char>(fill));
  for (auto [address, word] : placed) {
    bytes[2 * address] = static_cast<char>(word & 0xFF);
    bytes[2 * address + 1] = static_cast<char>(word >> 8);
  }
  return header + bytes;
}

std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(zqtest::casesDir()))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class EndToEnd : public ::testing::TestWithParam<std::string> {};

TEST_P(EndToEnd, OutputsMatch) {
  const std::string caseDir = zqtest::casesDir() + "/" + GetParam();
  zqtest::TempDir temp;
  fs::copy(caseDir, temp.path(), fs::copy_options::recursive);
  char real[PATH_MAX];
  ASSERT_NE(realpath(temp.path().c_str(), real), nullptr);
  const std::string dir = real;
  const CaseSettings settings = readSettings(caseDir + "/case.ini");

  auto params = zqtest::makeParams(settings.source, settings.romTop, settings.tableTop);
  params->labelCaseSensitive = settings.caseSensitive;
  std::snprintf(params->maskOptionPath, sizeof params->maskOptionPath, "%s",
                settings.maskOptions.c_str());
  for (size_t i = 0; i < settings.includes.size(); ++i) {
    std::string path = dir + "/" + settings.includes[i];
    char* slot = i == 0 ? params->includeDir1
                 : i == 1 ? params->includeDir2
                          : params->includeDirs[i - 2];
    std::snprintf(slot, ZQASM_PATH_SLOT, "%s", path.c_str());
  }

  // The assembler resolves relative names against the current directory.
  char previous[PATH_MAX];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const std::string base = dir + "/" + fs::path(settings.source).stem().string();
  ASSERT_EQ(ZqasmSetWarnings(settings.warnings.c_str()), 0) << settings.warnings;
  const zqtest::Assembly assembly = zqtest::assemble(*params, base + ".OBJ");
  ZqasmSetWarnings("");
  ASSERT_EQ(chdir(previous), 0);

  EXPECT_EQ(assembly.result, settings.result);
  EXPECT_STREQ(params->versionText, "Assembler Version 4.6.1");
  if (settings.codeEnd >= 0) {
    EXPECT_EQ(params->codeEnd, settings.codeEnd);
  }
  if (settings.tableUsed >= 0) {
    EXPECT_EQ(params->tableRomUsed, settings.tableUsed);
  }

  for (const char* ext : {"LST", "ERR", "SYM", "MAP", "RAM", "TAB", "EQU", "LBL"}) {
    const std::string expectedPath = caseDir + "/expected." + ext;
    if (!zqtest::fileExists(expectedPath)) continue;
    std::string expected = replaceAll(zqtest::readFile(expectedPath), "$DIR", dir);
    EXPECT_EQ(zqtest::readFile(base + "." + ext), expected) << "file ." << ext;
  }
  const std::string objPath = caseDir + "/expected.OBJ";
  if (zqtest::fileExists(objPath)) {
    std::string objText = zqtest::readFile(objPath);
    if (objText.rfind("absent", 0) == 0) {
      EXPECT_FALSE(zqtest::fileExists(base + ".OBJ")) << ".OBJ must not be written";
    } else {
      EXPECT_EQ(assembly.object, expectedObject(objText)) << "file .OBJ";
      zqtest::TempDir again;
      EXPECT_EQ(zqtest::roundTrip(again.path(), assembly), "");
    }
  }
}

std::string caseTestName(const ::testing::TestParamInfo<std::string>& param) {
  return param.param;
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd, ::testing::ValuesIn(caseNames()), caseTestName);

}  // namespace
