// libFuzzer harness for program images read back by the disassembler (see runImageInput).
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zqfuzz::runImageInput(data, size);
  return 0;
}
