// CRC-32 of the archive checksums (reflected polynomial 0xEDB88320, the checksum of zlib and
// ISO-HDLC). On the hot path of every verify, pack and install, so it comes from the fastest library
// the build has: ISA-L (folds with the widest carry-less multiplication the processor has), else
// libdeflate, else zlib (the Windows build).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vn {

// Continues a checksum: start with crc = 0 and feed the bytes in order, in pieces of any size.
// Crc32Update(0, "123456789", 9) == 0xCBF43926.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);

// The library Crc32Update uses ("ISA-L", "libdeflate" or "zlib").
const char* Crc32Library();

}  // namespace vn
