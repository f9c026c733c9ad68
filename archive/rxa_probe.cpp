#include "archive/rxa_probe.h"

#include <algorithm>
#include <cstring>

namespace vn {

bool IsUncompressedRxa(TStream& stream) {
  char signature[7];
  if (stream.Read(signature, 7) != 7 || std::memcmp(signature, "Ruxa", 4) != 0) return false;
  int version = 0;
  for (int i = 4; i < 7; ++i) {
    if (signature[i] < '0' || signature[i] > '9') return false;
    version = version * 10 + (signature[i] - '0');
  }
  if (version < 103) return false;
  int32_t length = 0;
  if (stream.Read(&length, 4) != 4) return false;
  // The record is 40 bytes; a longer stored header is read only as far as the record goes.
  unsigned char record[40] = {};
  if (length > 0) stream.Read(record, std::min<int32_t>(length, sizeof record));
  return record[22] == 1;
}

}  // namespace vn
