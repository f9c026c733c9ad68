// The directory of a "vf" archive as bytes: header, name records, offset table and the flag tables.
// Reading is kept apart from the collection so that every count and length can be checked against
// the bytes that remain before anything is allocated from it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/big_stream.h"
#include "archive/seeded_random.h"
#include "platform/error.h"
#include "platform/text.h"

namespace vn {

// The seed every reader and writer of the format scrambles names and offsets with.
constexpr int32_t kArchiveSeed = 1830465927;
// The version this system writes.
constexpr int32_t kArchiveVersion = 102;

struct ArchiveDirectory {
  int32_t version = 0;  // 0: no magic (the oldest form)
  std::vector<DataString> names;
  std::vector<int64_t> offsets;  // names.size() + 1 values, relative to the archive start
  std::vector<uint8_t> stored, separate;
  std::vector<int32_t> time;
  std::vector<uint32_t> crc;
};

// One entry as the directory holds it.
struct DirectoryEntry {
  DataString name;
  int64_t offset = 0;  // from the archive's start
  int64_t size = 0;    // stored length: the next entry's offset minus this one's
  bool stored = false;
  int32_t time = 0;
  uint32_t crc = 0;
  bool separate = false;
};

// A directory read entry by entry, so that an archive of any size is listed or checked in memory
// that does not grow with its entries. The whole directory is checked when the reader is made, as
// ReadArchiveDirectory checks it, so that no entry is handed out of a directory found damaged
// further on. The reader sets source's position as it reads; whoever else reads source sets its own.
class ArchiveDirectoryReader {
 public:
  // The directory at source's position; entry data must lie within data_end bytes of it. Raises
  // EFormatError "<label>: damaged archive directory: <fault>".
  ArchiveDirectoryReader(TBigStream& source, int64_t data_end, std::string label);
  ~ArchiveDirectoryReader();
  ArchiveDirectoryReader(const ArchiveDirectoryReader&) = delete;
  ArchiveDirectoryReader& operator=(const ArchiveDirectoryReader&) = delete;

  int32_t Version() const { return version_; }
  int32_t Count() const { return count_; }
  // The directory's position in source: the archive's start, which entry offsets count from.
  int64_t Start() const { return start_; }
  // Where the bytes of the first entry begin / the last entry's end (from the archive's start).
  int64_t FirstOffset() const { return first_offset_; }
  int64_t EndOffset() const { return end_offset_; }
  // source's position just past the tables.
  int64_t End() const { return end_; }

  // The next entry in directory order; false after the last one.
  bool Next(DirectoryEntry& entry);
  // Hands out the entries again from the first.
  void Rewind();
  // Hands every entry's name, in directory order, to visit(index, name), reading the name records
  // alone; what Next hands out next stays as it was.
  void ForEachName(const std::function<void(int32_t index, const DataString& name)>& visit);

 private:
  class Cursor;
  EFormatError Fault(const std::string& what) const;
  int64_t NextOffset();
  // The next name record through `names`, unscrambled with `keys`; `left` is what the name records
  // still hold. False when it is cut off.
  bool ReadName(Cursor& names, TSeededRandom& keys, int64_t& left, DataString& name) const;

  TBigStream& source_;
  std::string label_;
  int32_t version_ = 0;
  int32_t count_ = 0;
  int64_t start_ = 0;
  int64_t names_ = 0;   // position of the first name record
  int64_t tables_ = 0;  // position of the offset table
  int64_t end_ = 0;
  int64_t first_offset_ = 0;
  int64_t end_offset_ = 0;
  // reading state of Next
  int32_t next_ = 0;
  int64_t names_left_ = 0;  // bytes of name records not read yet
  int64_t offset_ = 0;      // the next entry's offset
  std::unique_ptr<Cursor> names_cursor_, offsets_cursor_, stored_cursor_, time_cursor_, crc_cursor_,
      separate_cursor_;
  TSeededRandom name_keys_, offset_keys_;
};

// Reads a directory from source's position. Entry data must lie within the first data_end bytes
// counted from that position (the archive's own length, or the data file's for a side file).
// Raises EFormatError "<label>: <fault>" for a damaged directory; leaves source just past the tables.
ArchiveDirectory ReadArchiveDirectory(TBigStream& source, int64_t data_end, const std::string& label);

// The whole directory in the current version's form (names and offsets scrambled).
std::string EncodeArchiveDirectory(const ArchiveDirectory& directory);

// The same, made entry by entry from wherever the entries are held, without a copy of their names.
class ArchiveDirectoryEncoder {
 public:
  // `count` entries with `name_bytes` bytes of names in all are expected (only to size the buffers).
  ArchiveDirectoryEncoder(size_t count, size_t name_bytes);
  void Add(const DataString& name, int64_t offset, bool stored, int32_t time, uint32_t crc, bool separate);
  // The directory's bytes; `end_offset` is where the last entry's bytes end.
  std::string Finish(int64_t end_offset);

 private:
  // Bytes written front to back into a buffer sized ahead (grown by doubling when it was not).
  struct Buffer {
    std::string bytes;
    size_t used = 0;
    char* Take(size_t n) {
      if (bytes.size() - used < n) bytes.resize(std::max(2 * bytes.size(), used + n));
      char* at = bytes.data() + used;
      used += n;
      return at;
    }
    template <typename T>
    void Put(T value) {
      std::memcpy(Take(sizeof value), &value, sizeof value);
    }
  };
  Buffer out_;  // header and name records
  Buffer offsets_, stored_, time_, crc_, separate_;
  TSeededRandom name_keys_{kArchiveSeed}, offset_keys_{kArchiveSeed};
  int32_t count_ = 0;
};
// Length of the encoded directory: where the first entry's bytes begin.
int64_t EncodedDirectorySize(const ArchiveDirectory& directory);

// XORs each offset with one value of the keystream sign-extended to 64 bits; its own inverse. (Name
// bytes are scrambled with a keystream of their own, which runs on across all names.)
void ScrambleOffsets(std::vector<int64_t>& offsets);

}  // namespace vn
