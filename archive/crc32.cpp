#include "archive/crc32.h"

#if defined(VN_CRC_ISAL)
#include <isa-l/crc.h>
#elif defined(VN_CRC_LIBDEFLATE)
#include <libdeflate.h>
#else
#include <zlib.h>

#include <algorithm>
#endif

namespace vn {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) {
#if defined(VN_CRC_ISAL)
  return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), length);
#elif defined(VN_CRC_LIBDEFLATE)
  return libdeflate_crc32(crc, data, length);
#else
  // zlib takes a 32-bit length
  const auto* p = static_cast<const unsigned char*>(data);
  while (length > 0) {
    const uInt n = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, p, n));
    p += n;
    length -= n;
  }
  return crc;
#endif
}

const char* Crc32Library() {
#if defined(VN_CRC_ISAL)
  return "ISA-L";
#elif defined(VN_CRC_LIBDEFLATE)
  return "libdeflate";
#else
  return "zlib";
#endif
}

}  // namespace vn
