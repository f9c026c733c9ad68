#include "archive/big_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>

#include "platform/error.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// Copy buffers: large enough that a copy runs at the speed of the disk, small enough to allocate.
constexpr int64_t kCopyBufferSize = 4 << 20;
constexpr int64_t kMaxCopyDataBuffer = 10485760;
constexpr int64_t kCopyDataBufferStep = 1048576;

std::vector<char> AllocateCopyBuffer(int64_t wanted) {
  // Smaller buffers are tried when memory is short, so a copy still goes ahead.
  int64_t size = std::max<int64_t>(1, wanted);
  for (;;) {
    try {
      return std::vector<char>(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
      if (size <= kCopyDataBufferStep) throw;
      size -= kCopyDataBufferStep;
    }
  }
}

// Moves up to count bytes from read(buffer, n) to write(buffer, n) through one buffer of at most
// buffer_size bytes; ends early when read yields nothing (the source has ended).
template <typename ReadFn, typename WriteFn>
int64_t Pump(int64_t count, int64_t buffer_size, ReadFn read, WriteFn write) {
  if (count <= 0) return 0;
  std::vector<char> buffer = AllocateCopyBuffer(std::min(count, buffer_size));
  const int64_t capacity = static_cast<int64_t>(buffer.size());
  int64_t done = 0;
  while (done < count) {
    const int64_t got = read(buffer.data(), std::min(count - done, capacity));
    if (got <= 0) break;
    write(buffer.data(), got);
    done += got;
  }
  return done;
}

}  // namespace

std::string FileExtension(const fs::path& path) {
  const std::string name = PathToUtf8(path.filename());
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

fs::path ChangeFileExtension(const fs::path& path, const std::string& new_extension) {
  // Cut in native characters (UTF-16 on Windows), where the extension's length is not its UTF-8 one.
  const fs::path::string_type& whole = path.native();
  const fs::path::string_type name = path.filename().native();
  const size_t dot = name.rfind('.');
  const size_t cut = dot == fs::path::string_type::npos ? 0 : name.size() - dot;
  fs::path result(whole.substr(0, whole.size() - cut));
  result += Utf8ToPath(new_extension);
  return result;
}

int64_t CopyStreamData(TStream& target, TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  if (count <= 0) return 0;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&source)) {
    // straight from the source's memory, no intermediate buffer
    const int64_t position = memory->GetPosition();
    const int64_t n = std::min(count, memory->GetSize() - position);
    if (n <= 0) return 0;
    target.WriteBuffer(memory->Memory() + position, n);
    memory->Seek(n, SeekOrigin::kCurrent);
    return n;
  }
  return Pump(
      count, kMaxCopyDataBuffer, [&](char* b, int64_t n) { return source.Read(b, n); },
      [&](const char* b, int64_t n) { target.WriteBuffer(b, n); });
}

void TBigStream::ReadBuffer(void* buffer, int64_t count) {
  if (count <= 0) return;
  const int64_t at = GetPosition();
  if (Read(buffer, count) != count) {
    throw EReadError(Describe() + ": stream read error: " + std::to_string(count) + " bytes wanted at " +
                     std::to_string(at) + ", the stream holds " + std::to_string(GetSize()));
  }
}

// --- TBigFileStream ------------------------------------------------------------------------------

TBigFileStream::TBigFileStream(const fs::path& file_name, uint16_t mode, int64_t part_size)
    : file_name_(file_name), mode_(mode), part_size_(part_size) {
  const int access = mode & 0xF;
  std::error_code ec;
  if (access == 0 || access == 2) {
    // Every part up to the first missing number; a part after a gap is not part of the file. Every
    // part but the last is exactly one part long, so a shorter one ends the file (a stray part file
    // beside it is not read), and a first part longer than that is one plain file of any size (an
    // executable of over 1 GiB carrying an archive).
    for (int i = 0; fs::is_regular_file(PartFileName(i), ec); ++i) {
      File part(PartFileName(i), access == 0 ? FileAccess::kRead : FileAccess::kReadWrite);
      if (i == 0 && access == 2) ClaimForWriting(part);
      if (!TakePart(std::move(part))) break;
    }
  } else {
    // a data file that another stream is writing is not taken from under it
    if (fs::is_regular_file(PartFileName(0), ec)) {
      File old(PartFileName(0), FileAccess::kReadWrite);
      ClaimForWriting(old);
    }
    for (int i = 0; fs::exists(PartFileName(i), ec); ++i) {
      RefuseToReplaceSpecialFile(PartFileName(i));
      if (!fs::remove(PartFileName(i), ec) || ec) {
        throw EWriteError(PathToUtf8(PartFileName(i)) + ": cannot delete the old part file: " + ec.message());
      }
    }
  }
}

TBigFileStream::TBigFileStream(const fs::path& file_name, std::vector<File> parts)
    : file_name_(file_name), mode_(kRead), part_size_(kPartSize) {
  for (File& part : parts) {
    if (!TakePart(std::move(part))) break;
  }
}

bool TBigFileStream::TakePart(File part) {
  parts_.push_back(std::move(part));
  part_sizes_.push_back(parts_.back().Size());
  if (part_sizes_.back() == part_size_) return true;
  if (parts_.size() == 1 && part_sizes_.back() > part_size_) part_size_ = std::numeric_limits<int64_t>::max();
  return false;
}

TBigFileStream::~TBigFileStream() {
  // The parts of a file being written reach the disk before the stream is gone (the data files
  // are written once and read by later runs); flushed and not written since, they are there.
  if (Writable() && !synced_) {
    for (File& part : parts_) {
      try {
        part.Sync();
      } catch (const std::exception&) {
        // a destructor cannot report; a failed sync of data already written is not a lost write
      }
    }
  }
}

std::string TBigFileStream::Describe() const {
  return PathToUtf8(file_name_);
}

void TBigFileStream::Flush() {
  for (File& part : parts_) part.Sync();
  synced_ = true;
}

void TBigFileStream::Truncate(int64_t size) {
  if (!Writable()) throw EWriteError(Describe() + ": cannot shorten: opened for reading");
  synced_ = false;
  size = std::clamp<int64_t>(size, 0, GetSize());
  // every part but the last stays full; the file's own name stays even when empty
  const size_t keep = size == 0 ? 1 : static_cast<size_t>((size - 1) / part_size_ + 1);
  while (parts_.size() > keep) {
    const fs::path name = PartFileName(static_cast<int>(parts_.size() - 1));
    parts_.back().Close();
    parts_.pop_back();
    part_sizes_.pop_back();
    std::error_code ec;
    if (!fs::remove(name, ec) || ec)
      throw EWriteError(PathToUtf8(name) + ": cannot delete the part file: " + ec.message());
  }
  if (!parts_.empty()) {
    const int64_t last = size - static_cast<int64_t>(keep - 1) * part_size_;
    parts_.back().SetSize(last);
    part_sizes_.back() = last;
  }
  position_ = std::min(position_, size);
}

bool TBigFileStream::Writable() const {
  const int access = mode_ & 0xF;
  return access == 1 || access == 2 || mode_ == kCreate;
}

fs::path PartFileOf(const fs::path& file_name, int index) {
  if (index == 0) return file_name;
  fs::path name = ChangeFileExtension(file_name, "");
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%.3d", index);
  name += suffix;
  return name;
}

void RemoveDataFile(const fs::path& file_name) {
  std::error_code ec;
  for (int i = 0; fs::exists(PartFileOf(file_name, i), ec); ++i) fs::remove(PartFileOf(file_name, i), ec);
}

fs::path TBigFileStream::PartFileName(int index) const {
  return PartFileOf(file_name_, index);
}

int64_t TBigFileStream::GetSize() const {
  int64_t total = 0;
  for (int64_t s : part_sizes_) total += s;
  return total;
}

void TBigFileStream::SetPosition(int64_t position) {
  // A position beyond the end is not possible, so writing never leaves a hole.
  position_ = std::clamp<int64_t>(position, 0, GetSize());
}

void TBigFileStream::ClaimForWriting(File& part) {
  // Others may read the data file but not write it (the sharing of the open modes): two streams
  // appending to one data file would write over each other.
  if (!part.TryClaimForWriting())
    throw EFOpenError(Describe() + ": being written by another program; try again when it is done");
}

File& TBigFileStream::PartForWriting(size_t index) {
  synced_ = false;
  while (parts_.size() <= index) {
    parts_.emplace_back(PartFileName(static_cast<int>(parts_.size())), FileAccess::kCreate);
    part_sizes_.push_back(0);
    if (parts_.size() == 1) ClaimForWriting(parts_[0]);
  }
  return parts_[index];
}

void TBigFileStream::MakeFirstPart() {
  if (!Writable()) throw EWriteError(Describe() + ": cannot create: opened for reading");
  PartForWriting(0);
}

int64_t TBigFileStream::Write(const void* buffer, int64_t count) {
  const char* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (count > 0) {
    const size_t i = static_cast<size_t>(position_ / part_size_);
    const int64_t offset = position_ % part_size_;
    const int64_t n = std::min(part_size_ - offset, count);
    PartForWriting(i).WriteAt(offset, p, n);
    part_sizes_[i] = std::max(part_sizes_[i], offset + n);
    p += n;
    position_ += n;
    done += n;
    count -= n;
  }
  return done;
}

int64_t TBigFileStream::Read(void* buffer, int64_t count) {
  char* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (count > 0) {
    const size_t i = static_cast<size_t>(position_ / part_size_);
    if (i >= parts_.size()) break;
    const int64_t offset = position_ % part_size_;
    const int64_t n = std::min(part_sizes_[i] - offset, count);
    if (n <= 0) break;
    const int64_t got = parts_[i].ReadAt(offset, p, n);
    if (got <= 0) break;
    p += got;
    position_ += got;
    done += got;
    count -= got;
    if (got < n) break;  // the part shrank under us
  }
  return done;
}

int64_t TBigFileStream::WriteFromStream(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  if (auto* memory = dynamic_cast<TMemoryStream*>(&source)) {
    const int64_t position = memory->GetPosition();
    const int64_t n = std::clamp<int64_t>(memory->GetSize() - position, 0, count);
    Write(memory->Memory() + position, n);
    memory->Seek(n, SeekOrigin::kCurrent);
    return n;
  }
  return Pump(
      count, kCopyBufferSize, [&](char* b, int64_t n) { return source.Read(b, n); },
      [&](const char* b, int64_t n) { Write(b, n); });
}

int64_t TBigFileStream::ReadToStream(TStream& target, int64_t count) {
  count = std::min(count, GetSize() - position_);
  if (count <= 0) return 0;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&target)) {
    // read straight into the target's memory
    const int64_t at = memory->GetPosition();
    if (memory->GetSize() < at + count) memory->SetSize(at + count);
    const int64_t got = Read(memory->Memory() + at, count);
    if (got < count && memory->GetSize() == at + count) memory->SetSize(at + got);
    memory->SetPosition(at + got);
    return got;
  }
  return Pump(
      count, kCopyBufferSize, [&](char* b, int64_t n) { return Read(b, n); },
      [&](const char* b, int64_t n) { target.WriteBuffer(b, n); });
}

int64_t TBigFileStream::CopyFrom(TBigStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  if (auto* parts = dynamic_cast<TBigFileStream*>(&source); parts != nullptr && parts != this) {
    return CopyFromParts(*parts, count);
  }
  return Pump(
      count, kCopyBufferSize, [&](char* b, int64_t n) { return source.Read(b, n); },
      [&](const char* b, int64_t n) { Write(b, n); });
}

int64_t TBigFileStream::CopyFromParts(TBigFileStream& source, int64_t count) {
  // Part to part inside the system: the bytes move unchanged, so they need not pass through here.
  // Write-back of what was copied starts every few dozen megabytes, so that the sync at the end of a
  // merge finds little left to write.
  constexpr int64_t kWriteBackStep = 32 << 20;
  int64_t done = 0;
  while (count > 0) {
    const size_t i = static_cast<size_t>(position_ / part_size_);
    const int64_t offset = position_ % part_size_;
    const size_t j = static_cast<size_t>(source.position_ / source.part_size_);
    if (j >= source.parts_.size()) break;
    const int64_t source_offset = source.position_ % source.part_size_;
    const int64_t n =
        std::min({part_size_ - offset, source.part_sizes_[j] - source_offset, count, kWriteBackStep});
    if (n <= 0) break;
    File& part = PartForWriting(i);
    const int64_t got = part.CopyRangeFrom(source.parts_[j], source_offset, offset, n);
    part_sizes_[i] = std::max(part_sizes_[i], offset + got);
    position_ += got;
    source.position_ += got;
    done += got;
    count -= got;
    unsynced_ += got;
    if (unsynced_ >= kWriteBackStep) {
      part.StartWriteBack(0, 0);  // the whole part: earlier ranges are already on their way
      unsynced_ = 0;
    }
    if (got < n) break;  // the source part shrank under us
  }
  return done;
}

// --- TBigMemoryStream ----------------------------------------------------------------------------

int64_t TBigMemoryStream::CopyFrom(TBigStream& source, int64_t count) {
  auto* other = dynamic_cast<TBigMemoryStream*>(&source);
  return other ? CopyStreamData(memory_, other->memory_, count) : 0;
}

int64_t TBigMemoryStream::WriteFromStream(TStream& source, int64_t count) {
  return CopyStreamData(memory_, source, count);
}

int64_t TBigMemoryStream::ReadToStream(TStream& target, int64_t count) {
  return count > 0 ? CopyStreamData(target, memory_, count) : 0;
}

// --- TBigResourceStream --------------------------------------------------------------------------

int64_t TBigResourceStream::CopyFrom(TBigStream& source, int64_t count) {
  if (dynamic_cast<TBigResourceStream*>(&source) == nullptr) return 0;
  return resource_.Write(nullptr, count);  // raises the read-only error
}

int64_t TBigResourceStream::WriteFromStream(TStream&, int64_t count) {
  return resource_.Write(nullptr, count);
}

int64_t TBigResourceStream::ReadToStream(TStream& target, int64_t count) {
  return count > 0 ? CopyStreamData(target, resource_, count) : 0;
}

// --- TBuffBigStream ------------------------------------------------------------------------------

TBuffBigStream::~TBuffBigStream() {
  const size_t unread = buffer_.size() - buffer_position_;
  if (unread > 0) source_.SetPosition(source_.GetPosition() - static_cast<int64_t>(unread));
}

int32_t TBuffBigStream::Read(void* buffer, int32_t count) {
  char* p = static_cast<char*>(buffer);
  int32_t done = 0;
  while (count > 0) {
    if (buffer_position_ == buffer_.size()) {
      const int64_t k = std::min(source_.GetSize() - source_.GetPosition(), kChunkSize);
      buffer_.clear();
      buffer_position_ = 0;
      if (k <= 0) break;  // the source has ended: hand out what there was
      buffer_.resize(static_cast<size_t>(k));
      buffer_.resize(static_cast<size_t>(std::max<int64_t>(0, source_.Read(buffer_.data(), k))));
      if (buffer_.empty()) break;
    }
    const size_t b = std::min(static_cast<size_t>(count), buffer_.size() - buffer_position_);
    std::memcpy(p, buffer_.data() + buffer_position_, b);
    buffer_position_ += b;
    p += b;
    done += static_cast<int32_t>(b);
    count -= static_cast<int32_t>(b);
  }
  return done;
}

}  // namespace vn
