#include "archive/stream.h"

#include <algorithm>
#include <utility>

#include "platform/error.h"

namespace vn {

int64_t TStream::GetSize() {
  const int64_t here = Seek(0, SeekOrigin::kCurrent);
  const int64_t end = Seek(0, SeekOrigin::kEnd);
  Seek(here, SeekOrigin::kBeginning);
  return end;
}

void TStream::SetSize(int64_t) {
  throw EWriteError("stream cannot change its size");
}

int64_t TStream::Remaining() {
  return std::max<int64_t>(0, GetSize() - GetPosition());
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
  int64_t left = count;
  while (left > 0) {
    const int64_t chunk = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    left -= chunk;
  }
  return count;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t available = std::max<int64_t>(0, GetSize() - position_);
  const int64_t n = std::clamp<int64_t>(count, 0, available);
  if (n > 0) std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > GetSize()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = position_;
  if (origin == SeekOrigin::kEnd) base = GetSize();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
  position_ = std::min(position_, GetSize());
}

std::string TMemoryStream::TakeBytes() {
  position_ = 0;
  return std::exchange(data_, std::string());
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::filesystem::path& path, int64_t max_size) {
  data_ = ReadWholeFile(path, max_size);
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::filesystem::path& path) const {
  File f(path, FileAccess::kCreate);
  f.Write(data_.data(), static_cast<int64_t>(data_.size()));
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  file_.Write(buffer, count);
  return count;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = file_.Position();
  if (origin == SeekOrigin::kEnd) base = file_.Size();
  return file_.Seek(std::max<int64_t>(0, base + offset));
}

}  // namespace vn
