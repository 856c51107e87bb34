// Intel HEX form of the images, for device programmers: written beside ".OBJ" and ".TAB"
// by the object writer when the host asks for it (ZqasmSetImageOutputs).
#ifndef ZQASM_CHIP_INTEL_HEX_H_
#define ZQASM_CHIP_INTEL_HEX_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace zq {

// Writes `size` bytes of `bytes` to `out` as Intel HEX text lines: only the bytes flagged
// in `written` (one flag per `unit` bytes), data records of at most 16 bytes within
// aligned 16-byte lines, an extended linear address record (type 04) before the first
// record of every 64 KiB above the first, and the end record. Each record is
// ":LLAAAATT<data>CC", CC the two's complement of the sum of the bytes before it. False
// when a write failed.
bool writeIntelHex(FILE* out, const uint8_t* bytes, size_t size,
                   const std::vector<uint8_t>& written, size_t unit);

}  // namespace zq

#endif  // ZQASM_CHIP_INTEL_HEX_H_
