#include "archive/zlib_stream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "platform/error.h"

namespace vn {

namespace {

class Inflater {
 public:
  Inflater(const char* data, size_t length) {
    if (inflateInit(&z_) != Z_OK) throw EFormatError("cannot start decompression");
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    remaining_ = length;
  }
  ~Inflater() { inflateEnd(&z_); }

  // Fills up to capacity bytes; returns the count, 0 once the zlib stream has ended.
  size_t Next(char* out, size_t capacity) {
    if (done_) return 0;
    z_.next_out = reinterpret_cast<Bytef*>(out);
    z_.avail_out = static_cast<uInt>(std::min<size_t>(capacity, std::numeric_limits<uInt>::max()));
    const uInt before = z_.avail_out;
    while (z_.avail_out > 0 && !done_) {
      if (z_.avail_in == 0 && remaining_ > 0) {
        z_.avail_in = static_cast<uInt>(std::min<size_t>(remaining_, 1u << 30));
        remaining_ -= z_.avail_in;
      }
      const uInt in_before = z_.avail_in, out_before = z_.avail_out;
      const int rc = inflate(&z_, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        done_ = true;
      } else if (rc == Z_OK || rc == Z_BUF_ERROR) {
        if (z_.avail_in == in_before && z_.avail_out == out_before) {
          // no progress: the input ran out before the zlib stream ended
          throw EFormatError("compressed data is cut short");
        }
      } else {
        throw EFormatError(std::string("compressed data is damaged (") + (z_.msg ? z_.msg : "zlib error") +
                           ")");
      }
    }
    return before - z_.avail_out;
  }

 private:
  z_stream z_{};
  size_t remaining_ = 0;
  bool done_ = false;
};

}  // namespace

void DecompressMemoryStream(TMemoryStream& stream) {
  // Content held in memory stays below 2 GiB, as the memory streams of the format's era did; a
  // hostile entry cannot make it grow without end.
  constexpr size_t kMaxContent = 0x7FFFFFFF;
  const std::string packed = stream.TakeBytes();
  Inflater inflater(packed.data(), packed.size());
  std::string content;
  // a compressed entry usually grows a few times; the buffer doubles from there
  content.resize(std::clamp<size_t>(packed.size() * 4, 4096, 64u << 20));
  size_t filled = 0;
  for (;;) {
    if (filled == content.size()) {
      if (content.size() >= kMaxContent) throw EFormatError("compressed content is larger than 2 GiB");
      content.resize(std::min(content.size() * 2, kMaxContent));
    }
    const size_t got = inflater.Next(content.data() + filled, content.size() - filled);
    if (got == 0) break;
    filled += got;
  }
  content.resize(filled);
  stream = TMemoryStream(std::move(content));
}

int64_t InflateToStream(const char* data, size_t length, TStream& target) {
  Inflater inflater(data, length);
  // One buffer per thread for every call: allocating and clearing a megabyte each time would cost
  // more than inflating a small entry.
  thread_local std::vector<char> chunk(1 << 20);
  int64_t total = 0;
  while (const size_t got = inflater.Next(chunk.data(), chunk.size())) {
    target.WriteBuffer(chunk.data(), static_cast<int64_t>(got));
    total += static_cast<int64_t>(got);
  }
  return total;
}

void CompressMemoryStream(TMemoryStream& stream, int level_index) {
  static constexpr int kLevels[] = {0, 1, Z_DEFAULT_COMPRESSION, 9};
  if (level_index < 0 || level_index > 3) throw Exception("compression level index out of range");
  const std::string content = stream.TakeBytes();
  z_stream z{};
  if (deflateInit(&z, kLevels[level_index]) != Z_OK) throw Exception("cannot start compression");
  std::string packed(deflateBound(&z, static_cast<uLong>(content.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  const int rc = deflate(&z, Z_FINISH);
  const size_t length = packed.size() - z.avail_out;
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw Exception("compression failed");
  packed.resize(length);
  stream = TMemoryStream(std::move(packed));
}

}  // namespace vn
