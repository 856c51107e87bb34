// libFuzzer harness for source text (see runSourceInput for the layout of an input).
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zqfuzz::runSourceInput(data, size);
  return 0;
}
