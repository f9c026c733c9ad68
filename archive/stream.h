// Plain streams (32-bit era interface, 64-bit positions here): the base the settings file, the
// archive and the picture decoder read from, with a memory and a file implementation.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace vn {

enum class SeekOrigin { kBeginning, kCurrent, kEnd };

class TStream {
 public:
  virtual ~TStream() = default;

  // Transfers up to count bytes at the current position and advances it; returns the count done.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t GetSize();
  virtual void SetSize(int64_t size);

  int64_t GetPosition() { return Seek(0, SeekOrigin::kCurrent); }
  void SetPosition(int64_t position) { Seek(position, SeekOrigin::kBeginning); }
  // Bytes between the position and the end.
  int64_t Remaining();

  // All or nothing: EReadError "stream read error" / EWriteError when fewer bytes move.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);

  // Copies count bytes (0: the whole source from its start) from source; returns the count.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A growable block of memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;

  const char* Memory() const { return data_.data(); }
  char* Memory() { return data_.data(); }
  const std::string& Bytes() const { return data_; }
  std::string TakeBytes();
  void Clear();
  // Refuses, before reading, anything but a regular file of at most max_size bytes.
  void LoadFromFile(const std::filesystem::path& path, int64_t max_size = kAnyFileSize);
  void SaveToFile(const std::filesystem::path& path) const;

 private:
  std::string data_;
  int64_t position_ = 0;
};

// A file opened with the given access.
class TFileStream : public TStream {
 public:
  TFileStream(const std::filesystem::path& path, FileAccess access) : file_(path, access) {}
  explicit TFileStream(File file) : file_(std::move(file)) {}

  int64_t Read(void* buffer, int64_t count) override { return file_.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t GetSize() override { return file_.Size(); }
  void SetSize(int64_t size) override { file_.SetSize(size); }

  File& Handle() { return file_; }

 private:
  File file_;
};

// Little-endian scalars; a short read raises EReadError.
template <typename T>
T ReadLE(TStream& stream) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  stream.ReadBuffer(&value, sizeof value);
  return value;  // the formats are little-endian, as are the machines we build for
}

template <typename T>
void WriteLE(TStream& stream, T value) {
  static_assert(std::is_trivially_copyable_v<T>);
  stream.WriteBuffer(&value, sizeof value);
}

}  // namespace vn
