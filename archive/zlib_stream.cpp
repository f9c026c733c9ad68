#include "archive/zlib_stream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "platform/error.h"

namespace vn {

struct ZlibInflater::State {
  z_stream z{};
  bool ended = false;
  std::vector<char> out;
};

ZlibInflater::ZlibInflater() : state_(std::make_unique<State>()) {
  if (inflateInit(&state_->z) != Z_OK) throw EFormatError("cannot start decompression");
  state_->out.resize(256 << 10);
}

ZlibInflater::~ZlibInflater() {
  inflateEnd(&state_->z);
}

void ZlibInflater::Reset() {
  inflateReset(&state_->z);
  state_->ended = false;
}

bool ZlibInflater::Ended() const {
  return state_->ended;
}

void ZlibInflater::Write(const char* data, size_t length,
                         const std::function<void(const char*, size_t)>& out) {
  z_stream& z = state_->z;
  std::vector<char>& buffer = state_->out;
  while (length > 0 && !state_->ended) {
    const uInt given = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = given;
    // until this piece is used up and nothing more is waiting to come out
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      const uInt in_before = z.avail_in;
      const int rc = inflate(&z, Z_NO_FLUSH);
      const size_t produced = buffer.size() - z.avail_out;
      if (produced > 0) out(buffer.data(), produced);
      if (rc == Z_STREAM_END) {
        state_->ended = true;
        break;
      }
      if (rc != Z_OK && rc != Z_BUF_ERROR) {
        throw EFormatError(std::string("compressed data is damaged (") + (z.msg ? z.msg : "zlib error") +
                           ")");
      }
      if (produced == 0 && z.avail_in == in_before) break;  // nothing more to do with this piece
    } while (z.avail_in > 0 || z.avail_out == 0);
    const size_t used = given - z.avail_in;
    data += used;
    length -= used;
    if (used == 0) break;
  }
}

void ZlibInflater::Finish() const {
  if (!state_->ended) throw EFormatError("compressed data is cut short");
}

void DecompressMemoryStream(TMemoryStream& stream) {
  // Content held in memory stays below 2 GiB, as the memory streams of the format's era did; a
  // hostile entry cannot make it grow without end.
  constexpr size_t kMaxContent = 0x7FFFFFFF;
  const std::string packed = stream.TakeBytes();
  std::string content;
  // a compressed entry usually grows a few times; the buffer doubles from there
  content.reserve(std::clamp<size_t>(packed.size() * 4, 4096, 64u << 20));
  ZlibInflater inflater;
  inflater.Write(packed.data(), packed.size(), [&](const char* bytes, size_t n) {
    if (n > kMaxContent - content.size()) throw EFormatError("compressed content is larger than 2 GiB");
    content.append(bytes, n);
  });
  inflater.Finish();
  stream = TMemoryStream(std::move(content));
}

int64_t InflateToStream(const char* data, size_t length, TStream& target) {
  // One inflater per thread for every call: setting one up each time would cost more than
  // inflating a small entry.
  thread_local ZlibInflater inflater;
  inflater.Reset();
  int64_t total = 0;
  inflater.Write(data, length, [&](const char* bytes, size_t n) {
    target.WriteBuffer(bytes, static_cast<int64_t>(n));
    total += static_cast<int64_t>(n);
  });
  inflater.Finish();
  return total;
}

namespace {

// One zlib stream of `length` bytes at the level of the index.
std::string Compress(const char* data, size_t length, int level_index) {
  static constexpr int kLevels[] = {0, 1, Z_DEFAULT_COMPRESSION, 9};
  if (level_index < 0 || level_index > 3) throw Exception("compression level index out of range");
  z_stream z{};
  if (deflateInit(&z, kLevels[level_index]) != Z_OK) throw Exception("cannot start compression");
  std::string packed(deflateBound(&z, static_cast<uLong>(length)), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z.avail_in = static_cast<uInt>(length);
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  const int rc = deflate(&z, Z_FINISH);
  const size_t packed_length = packed.size() - z.avail_out;
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw Exception("compression failed");
  packed.resize(packed_length);
  return packed;
}

}  // namespace

void CompressMemoryStream(TMemoryStream& stream, int level_index) {
  const std::string content = stream.TakeBytes();
  stream = TMemoryStream(Compress(content.data(), content.size(), level_index));
}

size_t CompressedLength(const char* data, size_t length, int level_index) {
  return Compress(data, length, level_index).size();
}

}  // namespace vn
