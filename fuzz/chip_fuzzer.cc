// libFuzzer harness for chip description files (see runChipInput).
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zqfuzz::runChipInput(data, size);
  return 0;
}
