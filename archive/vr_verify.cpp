// Checksums: verifying an archive's entries, and the CRC-32 of streams.
#include <algorithm>
#include <vector>

#include "archive/crc32.h"
#include "archive/vr_files.h"

namespace vn {

namespace {
constexpr int64_t kCrcBufferSize = 1048576;
}

uint32_t RangeCRC32(TBigStream& stream, int64_t count, char* buffer, int64_t buffer_length) {
  uint32_t crc = 0;
  while (count > 0) {
    const int64_t n = std::min({stream.GetSize() - stream.GetPosition(), buffer_length, count});
    if (n <= 0) break;  // the stream ended early: the checksum covers what there was
    const int64_t got = stream.Read(buffer, n);
    if (got <= 0) break;
    crc = Crc32Update(crc, buffer, static_cast<size_t>(got));
    count -= got;
  }
  return crc;
}

uint32_t StreamCRC32(TStream& stream) {
  stream.SetPosition(0);
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    return Crc32Update(0, memory->Memory(), static_cast<size_t>(memory->GetSize()));
  }
  std::vector<char> buffer(kCrcBufferSize);
  uint32_t crc = 0;
  for (;;) {
    const int64_t got = stream.Read(buffer.data(), kCrcBufferSize);
    if (got <= 0) break;
    crc = Crc32Update(crc, buffer.data(), static_cast<size_t>(got));
  }
  return crc;
}

bool TVrFileCollection::CallProgress(TVrFile& item, int64_t size, int32_t index, int32_t total) {
  if (!OnProgress) return false;
  bool abort = false;
  OnProgress(*this, item, size, index, total, abort);
  return abort;
}

bool TVrFileCollection::Verify(int* bad_index) {
  if (bad_index != nullptr) *bad_index = -1;
  if (!stream_) return false;
  std::vector<char> buffer(kCrcBufferSize);
  for (int i = 0; i + 1 < Count(); ++i) {
    TVrFile& entry = (*this)[i];
    // A cancelled check is not a failed one: the caller knows it cancelled.
    if (i % 10 == 9 && CallProgress(entry, entry.Size, i, Count() - 1)) return true;
    // Entries without a checksum, and superseded ones (names beginning with '/'), are not checked.
    if (entry.CRC == 0 || (!entry.Name().empty() && entry.Name()[0] == '/')) continue;
    stream_->SetPosition(entry.Offset);
    if (RangeCRC32(*stream_, entry.Size, buffer.data(), kCrcBufferSize) != entry.CRC) {
      if (bad_index != nullptr) *bad_index = i;
      return false;
    }
  }
  return true;
}

}  // namespace vn
