// Reading many small entries that mostly lie one after another (the files of one folder): they come
// out of one larger read instead of a system call each. The read grows while the reads that follow
// land in what was read, and falls back to small when they do not (entries far apart), so scattered
// entries cost no more than before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/big_stream.h"

namespace vn::cli {

class ReadAheadStream : public TBigStream {
 public:
  // The source's size is taken now: the archive is not expected to change while it is read.
  explicit ReadAheadStream(TBigStream& source) : source_(source), size_(source.GetSize()) {}

  int64_t GetSize() const override { return size_; }
  int64_t GetPosition() override { return position_; }
  void SetPosition(int64_t position) override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t ReadToStream(TStream& target, int64_t count) override;
  // Reading only: each write raises EWriteError.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t CopyFrom(TBigStream& source, int64_t count) override;
  int64_t WriteFromStream(TStream& source, int64_t count) override;
  std::string Describe() const override { return source_.Describe(); }

 private:
  // Makes the next count bytes (at most kLargest / 2) available from the buffer; false when the
  // source has fewer.
  bool Buffer(int64_t count);
  const char* Buffered() const { return buffer_.data() + (position_ - start_); }
  // A read of count bytes at the position: straight from the source when large or past what the
  // buffer can hold, else out of the buffer.
  template <typename FromSource, typename FromBuffer>
  int64_t Transfer(int64_t count, FromSource from_source, FromBuffer from_buffer);

  static constexpr int64_t kSmallest = 16 << 10;
  static constexpr int64_t kLargest = 512 << 10;

  TBigStream& source_;
  int64_t size_;
  int64_t position_ = 0;
  std::vector<char> buffer_;  // bytes of the source from start_
  int64_t start_ = 0;
  int64_t read_size_ = kSmallest;
};

}  // namespace vn::cli
