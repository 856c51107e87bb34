// Runs assembler jobs for bench/compare_outputs.sh and prints, per job, the host block's
// result words, the messages, what the run wrote to standard output and a hash of every
// file left in the run folder. Each job runs in a child process, so every run starts from
// the state of a fresh program.
//
//   gate_run WORK CHIPS < jobs
//
// WORK is a fixed folder (the listing and the map name files by their full paths), CHIPS
// the folder of the bundled chip files. One job per line, fields separated by tabs:
//   source  FILE                   an input of the source fuzz harness (control byte first)
//   chip    FILE                   an input of the chip fuzz harness (a .COE file)
//   case    LABEL DIR ROM TABLE CASE MASK WARNINGS SOURCE [INCLUDE...]
//                                  DIR copied into the run folder; includes relative to it;
//                                  WARNINGS for ZqasmSetWarnings, empty for none
// Only the public header is used, so the program builds against any version of the library
// (ZqasmSetWarnings is taken weakly: a library without it runs every job without warnings).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "zqasm/assembler.h"

#pragma weak ZqasmSetWarnings

namespace fs = std::filesystem;

namespace {

std::string work, chips;
FILE* record = nullptr;  // the real standard output

// The same chip models and sources as the fuzz harnesses (fuzz/fuzz_input.cc), so an input
// of their corpora means the same run here.
const char* const kModels[] = {"ZQ3915", "ZQ3947",  "ZQ4410", "ZQ4427",
                               "ZQ4460", "ZQ44V09", "ZQ44W05"};
const char kMaskOptions[] = "1.POWER SOURCE : 3.0V\n";
const char kChipSource[] =
    ".CHIP FUZZ\n        ORG 0\nstart:  NOP\n        STOP\n        HALT\n        CPHL\n"
    "        INC @HL\n        INC 3\n        LDA 5\n        MOV 45h, @HL\n        MOV 45h, 3\n"
    "        ST @HL, 5\n        ST 5, 45h\n        MOVR 75h, 12h\n        MOVW 70h, 3\n"
    "        SETB 0103h\n        ADC 2, 3\n        CALL sub\n        JMP start\n"
    "        JB0 start\n        JB1 next\n        JB2 start\n        JB3 next\n"
    "        JNZ start\n        JNC next\n        JZ start\n        JC next\n"
    "next:   SBR 12h\n        SF2 1\n        BOGUS 1, 2\nsub:    RETI\n        RET\n";
const char kBankedTail[] =
    "        ORG 0FFCh\n        CALL far\n        JMP far\n        NOP\n        NOP\n"
    "        NOP\nfar:    CALL start\n        JMP 1, far\n        RET\n";

std::string readAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

uint64_t fnv(const std::string& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

void clearRun() {
  std::error_code ignored;
  fs::remove_all(work + "/run", ignored);
  fs::create_directories(work + "/run", ignored);
}

void onMessage(const char* text, void*) { std::fprintf(record, "  message %s\n", text); }

void copySlot(char* slot, size_t size, const std::string& text) {
  std::snprintf(slot, size, "%s", text.c_str());
}

// One assembly from the run folder, then the record of what it left there.
void assemble(const std::string& source, const std::string& mask,
              const std::vector<std::string>& includes, const std::string& chipDir, int romTop,
              int tableTop, int caseSensitive) {
  AssemblerParams block;
  std::memset(&block, 0, sizeof block);
  copySlot(block.sourcePath, sizeof block.sourcePath, source);
  copySlot(block.maskOptionPath, sizeof block.maskOptionPath, mask);
  for (size_t i = 0; i < includes.size() && i < 2 + ZQASM_EXTRA_INCLUDE_DIRS; ++i) {
    char* slot = i == 0 ? block.includeDir1 : i == 1 ? block.includeDir2 : block.includeDirs[i - 2];
    copySlot(slot, ZQASM_PATH_SLOT, includes[i]);
  }
  copySlot(block.chipDirectory, sizeof block.chipDirectory, chipDir);
  block.programRomTop = romTop;
  block.tableRomTop = tableTop;
  block.labelCaseSensitive = caseSensitive;
  int result = Run44Assembler(&block);
  std::fflush(stdout);
  block.chipName[sizeof block.chipName - 1] = '\0';
  block.versionText[sizeof block.versionText - 1] = '\0';
  std::fprintf(record, "  result %d codeEnd %u tableRomUsed %u chip '%s' version '%s'\n", result,
               block.codeEnd, block.tableRomUsed, block.chipName, block.versionText);
  std::string out = readAll(work + "/stdout");
  std::fprintf(record, "  stdout %zu %016llx\n", out.size(), (unsigned long long)fnv(out));
  writeAll(work + "/stdout", "");
  std::vector<std::string> files;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(work + "/run", ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored))
    if (it->is_regular_file(ignored)) files.push_back(it->path().string());
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    std::string bytes = readAll(f);
    std::fprintf(record, "  file %s %zu %016llx\n", f.substr(work.size() + 5).c_str(), bytes.size(),
                 (unsigned long long)fnv(bytes));
  }
}

void runJob(const std::vector<std::string>& f) {
  const std::string run = work + "/run";
  if (f[0] == "source" && f.size() == 2) {
    std::string input = readAll(f[1]);
    if (input.empty()) return;
    const unsigned char control = static_cast<unsigned char>(input[0]);
    std::string text = input.substr(1);
    if (control & 0x02) {
      std::string include;
      size_t nul = text.find('\0');
      if (nul != std::string::npos) {
        include = text.substr(nul + 1);
        text.erase(nul);
      }
      writeAll(run + "/INC.ASM", include);
    }
    if (control & 0x01)
      text = std::string(".CHIP ") + kModels[((control >> 2) & 0x07) % 7] + "\n" + text;
    writeAll(run + "/MAIN.ASM", text);
    assemble(run + "/MAIN.ASM", work + "/MASK.OPT", {run}, chips,
             (control & 0x40) ? 0x2FFF : 0x0FFF, (control & 0x80) ? 0xFF : -1,
             (control & 0x20) != 0);
  } else if (f[0] == "chip" && f.size() == 2) {
    writeAll(work + "/fuzzchips/FUZZ.COE", readAll(f[1]));
    writeAll(run + "/MAIN.ASM", kChipSource);
    assemble(run + "/MAIN.ASM", work + "/MASK.OPT", {run}, work + "/fuzzchips", 0x0FFF, 0xFF, 0);
    clearRun();
    writeAll(run + "/MAIN.ASM", std::string(kChipSource) + kBankedTail);
    assemble(run + "/MAIN.ASM", work + "/MASK.OPT", {run}, work + "/fuzzchips", 0x2FFF, -1, 0);
  } else if (f[0] == "case" && f.size() >= 9) {
    std::error_code ignored;
    fs::copy(f[2], run, fs::copy_options::recursive, ignored);
    std::vector<std::string> includes;
    for (size_t i = 9; i < f.size(); ++i) includes.push_back(run + "/" + f[i]);
    if (chdir(run.c_str()) != 0) return;
    // Each job runs in a child of its own, so the setting ends with it.
    if (!f[7].empty() && ZqasmSetWarnings != nullptr && ZqasmSetWarnings(f[7].c_str()) != 0)
      std::fprintf(record, "  warnings '%s' refused\n", f[7].c_str());
    assemble(f[8], f[6].empty() ? "" : run + "/" + f[6], includes, chips,
             static_cast<int>(std::strtol(f[3].c_str(), nullptr, 0)),
             static_cast<int>(std::strtol(f[4].c_str(), nullptr, 0)),
             static_cast<int>(std::strtol(f[5].c_str(), nullptr, 0)));
  } else {
    std::fprintf(record, "  bad job\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gate_run WORK CHIPS < jobs\n");
    return 2;
  }
  work = argv[1];
  chips = argv[2];
  std::error_code ignored;
  fs::create_directories(work + "/fuzzchips", ignored);
  fs::copy_file(chips + "/ZQ4427.COE", work + "/fuzzchips/ZQ4427.COE",
                fs::copy_options::overwrite_existing, ignored);
  writeAll(work + "/MASK.OPT", kMaskOptions);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.empty()) continue;
    std::printf("== %s\n", line.c_str());
    std::fflush(stdout);
    clearRun();
    pid_t child = fork();
    if (child == 0) {
      record = fdopen(dup(1), "w");
      int out = open((work + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      close(out);
      ZqasmSetMessageSink(onMessage, nullptr);
      alarm(60);
      runJob(fields);
      std::fflush(record);
      _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0) {
      std::printf("  fork failed\n");
    } else if (WIFSIGNALED(status)) {
      std::printf("  killed by signal %d\n", WTERMSIG(status));
    } else if (WEXITSTATUS(status) != 0) {
      std::printf("  exit %d\n", WEXITSTATUS(status));
    }
    std::fflush(stdout);
  }
  clearRun();
  return 0;
}
