// Streams with 64-bit sizes and positions for archives and installed data files, which can be far
// larger than the plain streams of the settings code were made for. A data file is stored as
// numbered part files of 1 GiB ("game.dat", "game.001", ...), read and written as one stream.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/stream.h"
#include "platform/file.h"

namespace vn {

// The extension of a path's last component, dot included, as Windows' file-name routines take it:
// from the name's last dot, so ".dat" is all extension (std::filesystem would see none).
std::string FileExtension(const std::filesystem::path& path);
// The path with that extension removed (or replaced by new_extension).
std::filesystem::path ChangeFileExtension(const std::filesystem::path& path,
                                          const std::string& new_extension);

// Copies count bytes (0: the whole source from its start) from source's position to target's
// position. Stops early at the end of the source; returns the number of bytes copied.
int64_t CopyStreamData(TStream& target, TStream& source, int64_t count);

class TBigStream {
 public:
  virtual ~TBigStream() = default;

  virtual int64_t GetSize() const = 0;
  virtual int64_t GetPosition() = 0;
  virtual void SetPosition(int64_t position) = 0;
  // Transfer at the current position and advance it; each returns the bytes moved. A stream that
  // cannot be written raises EWriteError.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Copy from source's position (advancing it); count 0 means the whole source from its start.
  // Both end at the end of the source.
  virtual int64_t CopyFrom(TBigStream& source, int64_t count) = 0;
  virtual int64_t WriteFromStream(TStream& source, int64_t count) = 0;
  // Copies count bytes (0: nothing) into target at its position; ends at the end of this stream.
  virtual int64_t ReadToStream(TStream& target, int64_t count) = 0;

  int64_t Size() const { return GetSize(); }
  int64_t Position() { return GetPosition(); }
  // Reads exactly count bytes or raises EReadError naming the stream.
  void ReadBuffer(void* buffer, int64_t count);
  // What the stream holds, for messages (a file stream: its file name).
  virtual std::string Describe() const { return "stream"; }
};

// Part `index` of the data file `file_name`, named as the split stream below names its parts.
std::filesystem::path PartFileOf(const std::filesystem::path& file_name, int index);
// Removes a data file with its part files (up to the first missing number); failures are ignored.
void RemoveDataFile(const std::filesystem::path& file_name);

// A data file kept as part files of PartSize bytes: part 0 is the file name itself, part i >= 1 is
// the name without its extension plus ".%.3d". Every part but the last is exactly PartSize long.
class TBigFileStream : public TBigStream {
 public:
  static constexpr int64_t kPartSize = 1073741824;
  // Open modes in the encoding of the platform's file-open call: the access in bits 0-3, the sharing
  // in bits 4-7; kCreate as a whole deletes the existing parts and starts empty.
  static constexpr uint16_t kRead = 0x20;       // read, others may not write
  static constexpr uint16_t kReadWrite = 0x22;  // read and write, others may not write
  static constexpr uint16_t kCreate = 0xFFFF;

  TBigFileStream(const std::filesystem::path& file_name, uint16_t mode)
      : TBigFileStream(file_name, mode, kPartSize) {}
  // Reads a data file from parts opened elsewhere (the files of a disc image), in order, by the
  // same rule as the files named: a part shorter than PartSize is the last one. `file_name` names
  // it in messages. Read-only.
  TBigFileStream(const std::filesystem::path& file_name, std::vector<File> parts);
  ~TBigFileStream() override;

  int64_t GetSize() const override;
  int64_t GetPosition() override { return position_; }
  void SetPosition(int64_t position) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t CopyFrom(TBigStream& source, int64_t count) override;
  int64_t WriteFromStream(TStream& source, int64_t count) override;
  int64_t ReadToStream(TStream& target, int64_t count) override;

  std::string Describe() const override;
  // Makes the file itself when nothing has been written to it yet (a data file of no bytes).
  void MakeFirstPart();
  // Forces the written parts to the device (before a directory that points into them is written).
  void Flush();
  // Cuts the data back to its first `size` bytes, removing the part files that then hold none (an
  // append that failed is taken back).
  void Truncate(int64_t size);

  int PartCount() const { return static_cast<int>(parts_.size()); }
  std::filesystem::path PartFileName(int index) const;
  const std::filesystem::path& FileName() const { return file_name_; }
  uint16_t Mode() const { return mode_; }
  int64_t PartSize() const { return part_size_; }

 protected:
  // Tests use small parts to exercise the splitting without gigabytes of data.
  TBigFileStream(const std::filesystem::path& file_name, uint16_t mode, int64_t part_size);

 private:
  bool Writable() const;
  // Adds the next part of a file being read; false when it is the last (shorter than a part, or a
  // first part longer than that: one plain file of any size).
  bool TakePart(File part);
  void ClaimForWriting(File& part);
  File& PartForWriting(size_t index);
  int64_t CopyFromParts(TBigFileStream& source, int64_t count);

  std::filesystem::path file_name_;
  uint16_t mode_;
  int64_t part_size_;
  int64_t position_ = 0;
  std::vector<File> parts_;
  std::vector<int64_t> part_sizes_;  // kept here so that GetSize costs no system call
  int64_t unsynced_ = 0;             // bytes copied since write-back was last started
  bool synced_ = false;              // Flush has forced every part to the device since the last change
};

// A memory stream with the big-stream interface.
class TBigMemoryStream : public TBigStream {
 public:
  TBigMemoryStream() = default;

  int64_t GetSize() const override { return static_cast<int64_t>(memory_.Bytes().size()); }
  int64_t GetPosition() override { return memory_.GetPosition(); }
  void SetPosition(int64_t position) override { memory_.SetPosition(position); }
  int64_t Write(const void* buffer, int64_t count) override { return memory_.Write(buffer, count); }
  int64_t Read(void* buffer, int64_t count) override { return memory_.Read(buffer, count); }
  int64_t CopyFrom(TBigStream& source, int64_t count) override;
  int64_t WriteFromStream(TStream& source, int64_t count) override;
  int64_t ReadToStream(TStream& target, int64_t count) override;

  void LoadFromFile(const std::filesystem::path& path, int64_t max_size = kAnyFileSize) {
    memory_.LoadFromFile(path, max_size);
  }
  TMemoryStream& Memory() { return memory_; }

 private:
  TMemoryStream memory_;
};

// A read-only stream over a resource of a module. On Linux a module's resource is an ELF section of
// the module file named ".rsrc.<TYPE>.<NAME>" (added with objcopy --add-section); on Windows it is the
// module's own resource. Type and name are matched without regard to case, as resource names are.
class TResourceStream : public TStream {
 public:
  // EFOpenError when the module cannot be read or has no such resource.
  TResourceStream(const std::filesystem::path& module, const std::string& name, const std::string& type);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;  // raises EWriteError
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t GetSize() override { return size_; }
  int64_t Length() const { return size_; }

 private:
  File file_;
  int64_t start_ = 0;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// Section name a resource is stored under (".rsrc.BINTYPE.DUMMY").
std::string ResourceSectionName(const std::string& name, const std::string& type);
// True when the file is an ELF module that this platform could load resources from.
bool IsLoadableModule(const std::filesystem::path& module);

class TBigResourceStream : public TBigStream {
 public:
  TBigResourceStream(const std::filesystem::path& module, const std::string& name, const std::string& type)
      : resource_(module, name, type), name_(name), type_(type) {}

  int64_t GetSize() const override { return resource_.Length(); }
  int64_t GetPosition() override { return resource_.GetPosition(); }
  void SetPosition(int64_t position) override { resource_.SetPosition(position); }
  int64_t Write(const void* buffer, int64_t count) override { return resource_.Write(buffer, count); }
  int64_t Read(void* buffer, int64_t count) override { return resource_.Read(buffer, count); }
  int64_t CopyFrom(TBigStream& source, int64_t count) override;
  int64_t WriteFromStream(TStream& source, int64_t count) override;
  int64_t ReadToStream(TStream& target, int64_t count) override;

  const std::string& ResourceName() const { return name_; }
  const std::string& ResourceType() const { return type_; }

 private:
  TResourceStream resource_;
  std::string name_;
  std::string type_;
};

// Buffered sequential reading of many small records (archive directories) from a big stream. On
// destruction the source is set back to just after the last byte handed out.
class TBuffBigStream {
 public:
  static constexpr int64_t kChunkSize = 102400;

  explicit TBuffBigStream(TBigStream& source) : source_(source) {}
  ~TBuffBigStream();
  TBuffBigStream(const TBuffBigStream&) = delete;
  TBuffBigStream& operator=(const TBuffBigStream&) = delete;

  // Hands out up to count bytes; fewer only at the end of the source.
  int32_t Read(void* buffer, int32_t count);

 private:
  TBigStream& source_;
  std::vector<char> buffer_;
  size_t buffer_position_ = 0;
};

}  // namespace vn
