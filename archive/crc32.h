// CRC-32 of the archive checksums (reflected polynomial 0xEDB88320, the checksum of zlib and
// ISO-HDLC). Our own code rather than zlib's: it is on the hot path of every verify and pack, so it
// folds with carry-less multiplication where the processor has it and slices by 16 elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vn {

// Continues a checksum: start with crc = 0 and feed the bytes in order, in pieces of any size.
// Crc32Update(0, "123456789", 9) == 0xCBF43926.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);

// The table-driven path alone (used by the tests to check the fast paths against it).
uint32_t Crc32UpdatePortable(uint32_t crc, const void* data, size_t length);

}  // namespace vn
