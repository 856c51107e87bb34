// Whole-run benchmark near the assembler's limits: 8,192 labels and 11,517 instructions
// (every address of three banks outside the bank convert areas and the bank ends), each
// instruction a jump to a label. Run: build/bench/zqasm_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "zqasm/assembler.h"

namespace {

// Writes the program: code from 0000h to 2FFEh except each bank's 100h-1FFh area and
// its last word; the first 8,192 instructions carry labels.
std::string writeProgram(const std::string& dir) {
  std::string path = dir + "/big.asm";
  std::ofstream out(path);
  out << "        .CHIP   ZQ4460\n";
  int labels = 0, instructions = 0;
  for (int bank = 0; bank < 3; ++bank) {
    for (int start : {0x000, 0x200}) {
      int end = start == 0 ? 0x0FF : 0xFFE;
      char org[32];
      std::snprintf(org, sizeof org, "        ORG     %XH\n", bank * 0x1000 + start);
      out << org;
      for (int a = start; a <= end; ++a, ++instructions) {
        if (labels < 8192) out << "L" << labels++ << ":";
        out << "     JMP     L" << (instructions * 7919) % 8192 << "\n";
      }
    }
  }
  return path;
}

void BM_AssembleLargeProgram(benchmark::State& state) {
  char pattern[] = "/tmp/zqasm-bench-XXXXXX";
  std::string dir = mkdtemp(pattern);
  std::string source = writeProgram(dir);
  for (auto _ : state) {
    AssemblerParams params;
    std::memset(&params, 0, sizeof params);
    std::snprintf(params.sourcePath, sizeof params.sourcePath, "%s", source.c_str());
    std::snprintf(params.chipDirectory, sizeof params.chipDirectory, "%s", ZQASM_BENCH_CHIP_DIR);
    params.programRomTop = 0x2FFF;
    params.tableRomTop = -1;
    benchmark::DoNotOptimize(Run44Assembler(&params));
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_AssembleLargeProgram)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
