// zqcoe: compiles the text form of a chip description into its binary ".COE" file, and
// dumps a ".COE" file back to text. See chip_text.h for the text form.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/chip_text.h"
#include "platform/platform.h"

namespace {

const char kUsage[] =
    "usage: zqcoe compile IN.txt OUT.COE\n"
    "       zqcoe dump IN.COE [OUT.txt]\n"
    "IN must be a regular file of at most 16 MiB.\n"
    "Exit status: 0 done, 1 bad input or a file that cannot be read or written, 2 usage.\n";

// Largest input taken: a chip file of 32767 records is 640 KiB, its text form a few MiB.
constexpr size_t kMaxInputBytes = 16u << 20;

// Reads a file as bytes (text or chip image alike). False, with the reason on standard
// error, when it cannot be read, is no regular file (a device such as /dev/zero, a pipe)
// or is larger than kMaxInputBytes.
bool readWholeFile(const char* name, std::string& content) {
  errno = 0;
  switch (zq::readInputFile(name, kMaxInputBytes, content)) {
    case zq::InputFile::kRead:
      return true;
    case zq::InputFile::kNotRegular:
      std::fprintf(stderr, "zqcoe: %s: not a regular file\n", name);
      return false;
    case zq::InputFile::kTooLarge:
      std::fprintf(stderr, "zqcoe: %s: larger than 16 MiB\n", name);
      return false;
    default:
      std::fprintf(stderr, "zqcoe: cannot read %s: %s\n", name,
                   std::strerror(errno != 0 ? errno : EIO));
      return false;
  }
}

bool writeWholeFile(const char* name, const void* data, size_t size) {
  FILE* out = std::fopen(name, "wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(data, 1, size, out) == size;
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

int compile(const char* input, const char* output) {
  std::string text;
  if (!readWholeFile(input, text)) return 1;
  zq::ChipDescription chip;
  zq::ChipTextError error;
  if (!zq::parseChipText(text, chip, error)) {
    std::fprintf(stderr, "%s:%d: %s\n", input, error.line, error.message.c_str());
    return 1;
  }
  std::vector<uint8_t> image = zq::encodeChipImage(chip);
  if (!writeWholeFile(output, image.data(), image.size())) {
    std::fprintf(stderr, "zqcoe: cannot write %s\n", output);
    // A partial chip file would be taken as up to date by the build; leave none.
    std::remove(output);
    return 1;
  }
  return 0;
}

int dump(const char* input, const char* output) {
  std::string bytes;
  if (!readWholeFile(input, bytes)) return 1;
  zq::ChipDescription chip;
  zq::ChipTextError error;
  if (!zq::decodeChipImage(std::vector<uint8_t>(bytes.begin(), bytes.end()), chip, error)) {
    std::fprintf(stderr, "%s: %s\n", input, error.message.c_str());
    return 1;
  }
  std::string text = zq::formatChipText(chip);
  if (output == nullptr) {
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (!writeWholeFile(output, text.data(), text.size())) {
    std::fprintf(stderr, "zqcoe: cannot write %s\n", output);
    return 1;
  }
  return 0;
}

}  // namespace

// Exit status: 0 done, 1 bad input or a file that cannot be read or written, 2 usage.
int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "compile") == 0) return compile(argv[2], argv[3]);
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "dump") == 0)
    return dump(argv[2], argc == 4 ? argv[3] : nullptr);
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}
