#include "tools/vnkit/read_ahead_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/error.h"

namespace vn::cli {

int64_t ReadAheadStream::Write(const void*, int64_t) {
  throw EWriteError(Describe() + ": opened for reading only");
}

int64_t ReadAheadStream::CopyFrom(TBigStream&, int64_t count) {
  return Write(nullptr, count);
}

int64_t ReadAheadStream::WriteFromStream(TStream&, int64_t count) {
  return Write(nullptr, count);
}

void ReadAheadStream::SetPosition(int64_t position) {
  position_ = std::clamp<int64_t>(position, 0, size_);
}

bool ReadAheadStream::Buffer(int64_t count) {
  const int64_t end = start_ + static_cast<int64_t>(buffer_.size());
  if (position_ >= start_ && position_ + count <= end) return true;
  // what was read ahead served the read before this one: read further ahead; otherwise less
  read_size_ = position_ == end ? std::min(read_size_ * 2, kLargest) : kSmallest;
  const int64_t want = std::min(std::max(read_size_, count), size_ - position_);
  buffer_.resize(static_cast<size_t>(want));
  source_.SetPosition(position_);
  const int64_t got = source_.Read(buffer_.data(), want);
  buffer_.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  start_ = position_;
  return got >= count;
}

template <typename FromSource, typename FromBuffer>
int64_t ReadAheadStream::Transfer(int64_t count, FromSource from_source, FromBuffer from_buffer) {
  count = std::min(count, size_ - position_);
  if (count <= 0) return 0;
  if (count > kLargest / 2 || !Buffer(count)) {
    source_.SetPosition(position_);
    const int64_t got = from_source(count);
    position_ += std::max<int64_t>(got, 0);
    return got;
  }
  from_buffer(Buffered(), count);
  position_ += count;
  return count;
}

int64_t ReadAheadStream::Read(void* buffer, int64_t count) {
  return Transfer(
      count, [&](int64_t n) { return source_.Read(buffer, n); },
      [&](const char* bytes, int64_t n) { std::memcpy(buffer, bytes, static_cast<size_t>(n)); });
}

int64_t ReadAheadStream::ReadToStream(TStream& target, int64_t count) {
  return Transfer(
      count, [&](int64_t n) { return source_.ReadToStream(target, n); },
      [&](const char* bytes, int64_t n) { target.WriteBuffer(bytes, n); });
}

}  // namespace vn::cli
