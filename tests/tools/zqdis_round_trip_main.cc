// zqdis_round_trip [SECONDS [SEED]]: generated programs of every bundled chip, banked and
// not, round-tripped through zqdis for SECONDS (default 60) from SEED (default: the
// time). Prints each failure with its program, and "N passed, M failed" at the end; the
// status is 1 when any failed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/chip_text.h"
#include "round_trip.h"
#include "test_support.h"

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 60;
  // A seed given again replays the same programs.
  const auto now = std::chrono::system_clock::now().time_since_epoch().count();
  const unsigned seed = static_cast<unsigned>(argc > 2 ? std::strtoul(argv[2], nullptr, 10)
                                                       : static_cast<unsigned long>(now));
  std::vector<std::string> chips;
  for (const auto& entry : std::filesystem::directory_iterator(ZQASM_TEST_CHIP_SOURCES_DIR))
    if (entry.path().extension() == ".txt" && entry.path().stem() != "CMakeLists")
      chips.push_back(zqtest::readFile(entry.path().string()));
  // And a chip of our own, read from a directory of its own.
  zqtest::TempDir dir;
  const std::string oddChips = dir.file("chips");
  std::filesystem::create_directory(oddChips);
  zq::ChipDescription odd;
  zq::ChipTextError error;
  if (zq::parseChipText(zqtest::kOddFormsChip, odd, error)) {
    const std::vector<uint8_t> image = zq::encodeChipImage(odd);
    zqtest::writeFile(oddChips + "/" + odd.name + ".COE", std::string(image.begin(), image.end()));
    chips.push_back(zqtest::kOddFormsChip);
  }
  std::printf("zqdis round trip: %zu chips, seed %u, %ld s\n", chips.size(), seed, seconds);
  std::fflush(stdout);
  std::mt19937 random(seed);
  long passed = 0, failed = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (size_t n = 0; !chips.empty() && std::chrono::steady_clock::now() < end; ++n) {
    const std::string& chip = chips[n % chips.size()];
    const std::string failure = zqtest::roundTripGenerated(
        dir.path(), random, chip, (n / 7) % 2 == 1, chip == zqtest::kOddFormsChip ? oddChips : "");
    if (failure.empty()) {
      ++passed;
    } else {
      ++failed;
      std::printf("FAILED (program %zu of seed %u):\n%s\n", n, seed, failure.c_str());
      std::fflush(stdout);
    }
  }
  std::printf("%ld passed, %ld failed\n", passed, failed);
  return failed > 0 ? 1 : 0;
}
