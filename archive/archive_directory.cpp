#include "archive/archive_directory.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

#include "archive/seeded_random.h"
#include "platform/error.h"
#include "platform/system.h"

namespace vn {

namespace {

// Bytes of the tables that follow the names, per entry and once, for a version.
int64_t OffsetWidth(int32_t version) {
  return version >= 101 ? 8 : 4;
}
int64_t FlagBytesPerEntry(int32_t version) {
  if (version >= 102) return 1 + 4 + 4 + 1;
  if (version >= 101) return 1 + 4 + 4;
  return 0;
}

// XORs a name's bytes with the next bytes of the keystream, which runs on across all names of a
// directory; its own inverse.
void ScrambleName(char* bytes, size_t length, TSeededRandom& keys) {
  for (size_t i = 0; i < length; ++i)
    bytes[i] = static_cast<char>(bytes[i] ^ static_cast<char>(keys.Next() & 0xFF));
}

}  // namespace

void ScrambleOffsets(std::vector<int64_t>& offsets) {
  TSeededRandom keys(kArchiveSeed);
  for (int64_t& v : offsets) v ^= static_cast<int64_t>(keys.Next());  // sign-extended
}

// Reads one table (or the name records) from its own place in the source, a piece at a time.
class ArchiveDirectoryReader::Cursor {
 public:
  Cursor(TBigStream& source, int64_t position) : source_(source), next_read_(position) {}

  // False when the source ends first.
  bool Read(void* out, int64_t count) {
    char* to = static_cast<char*>(out);
    while (count > 0) {
      if (at_ == length_ && !Fill()) return false;
      const int64_t n = std::min(count, length_ - at_);
      std::memcpy(to, buffer_.data() + at_, static_cast<size_t>(n));
      to += n;
      at_ += n;
      count -= n;
    }
    return true;
  }

  template <typename T>
  bool Read(T& value) {
    if (length_ - at_ < static_cast<int64_t>(sizeof value)) return Read(&value, sizeof value);
    std::memcpy(&value, buffer_.data() + at_, sizeof value);  // the usual case, inlined
    at_ += static_cast<int64_t>(sizeof value);
    return true;
  }

  void Skip(int64_t count) {
    if (count <= length_ - at_) {
      at_ += count;
    } else {
      next_read_ += count - (length_ - at_);
      at_ = length_ = 0;
    }
  }

 private:
  static constexpr int64_t kPiece = 65536;

  bool Fill() {
    buffer_.resize(static_cast<size_t>(kPiece));
    source_.SetPosition(next_read_);
    const int64_t got = source_.Read(buffer_.data(), kPiece);
    if (got <= 0) return false;
    next_read_ += got;
    at_ = 0;
    length_ = got;
    return true;
  }

  TBigStream& source_;
  int64_t next_read_;  // where the piece after the buffered one begins
  std::vector<char> buffer_;
  int64_t at_ = 0;
  int64_t length_ = 0;
};

EFormatError ArchiveDirectoryReader::Fault(const std::string& what) const {
  return EFormatError(label_ + ": damaged archive directory: " + what);
}

ArchiveDirectoryReader::ArchiveDirectoryReader(TBigStream& source, int64_t data_end, std::string label)
    : source_(source), label_(std::move(label)), name_keys_(kArchiveSeed), offset_keys_(kArchiveSeed) {
  start_ = source.GetPosition();
  const int64_t available = source.GetSize() - start_;
  int64_t used = 0;  // bytes of the directory consumed so far
  const auto take = [&](void* out, int64_t n, const char* what) {
    if (n > available - used || source.Read(out, n) != n) throw Fault(std::string("it ends inside ") + what);
    used += n;
  };

  char magic[2] = {0, 0};
  if (available >= 2 && source.Read(magic, 2) == 2 && magic[0] == 'v' && magic[1] == 'f') {
    used = 2;
    take(&version_, 4, "the header");
  } else {
    // no magic: those two bytes already belong to the entry count
    source.SetPosition(start_);
  }
  int32_t n = 0;
  take(&n, 4, "the header");
  if (n < 0) throw Fault("negative entry count " + std::to_string(n));
  count_ = n;

  // Every entry needs at least its name length, its offset and its flags; a count that cannot fit
  // in the bytes that remain is refused before anything is sized from it.
  const int64_t width = OffsetWidth(version_);
  const int64_t flags = FlagBytesPerEntry(version_);
  const int64_t minimum = int64_t{n} * (4 + width + flags) + width;
  if (minimum > available - used) {
    throw Fault("entry count " + std::to_string(n) + " does not fit in the " + std::to_string(available) +
                " bytes of the directory");
  }

  // The name records: only their lengths now, to find the tables behind them.
  names_ = start_ + used;
  {
    Cursor names(source, names_);
    for (int32_t i = 0; i < n; ++i) {
      int32_t length = 0;
      if (!names.Read(length)) throw Fault("it ends inside the name of entry " + std::to_string(i));
      used += 4;
      if (length <= 0) continue;
      // what the rest of the directory needs at the least: the other name lengths and the tables
      const int64_t still_needed = (int64_t{n} - 1 - i) * 4 + (int64_t{n} + 1) * width + int64_t{n} * flags;
      if (length > available - used - still_needed) {
        throw Fault("the name length " + std::to_string(length) + " of entry " + std::to_string(i) +
                    " runs past the end");
      }
      names.Skip(length);
      used += length;
    }
  }
  const int64_t tables = (int64_t{n} + 1) * width + int64_t{n} * flags;
  if (tables > available - used) throw Fault("its tables run past the end");
  tables_ = start_ + used;
  end_ = tables_ + tables;

  // The offsets, checked through to the end before any entry is handed out.
  Rewind();
  for (int64_t k = 0; k <= n; ++k) {
    const int64_t offset = k == 0 ? offset_ : NextOffset();
    if (offset < 0) throw Fault("entry " + std::to_string(k) + " has a negative offset");
    if (k > 0 && offset < end_offset_)
      throw Fault("the offset table is not ascending at entry " + std::to_string(k));
    if (k == 0) first_offset_ = offset;
    end_offset_ = offset;
  }
  if (end_offset_ > data_end) {
    throw Fault("the entries end at " + std::to_string(end_offset_) + ", past the end of the data (" +
                std::to_string(data_end) + " bytes)");
  }
  Rewind();
  source.SetPosition(end_);
}

ArchiveDirectoryReader::~ArchiveDirectoryReader() = default;

int64_t ArchiveDirectoryReader::NextOffset() {
  if (OffsetWidth(version_) == 8) {
    int64_t v = 0;
    if (!offsets_cursor_->Read(v)) throw Fault("it ends inside the offset table");
    return v ^ static_cast<int64_t>(offset_keys_.Next());  // sign-extended
  }
  uint32_t v = 0;
  if (!offsets_cursor_->Read(v)) throw Fault("it ends inside the offset table");
  if (version_ >= 100) v ^= static_cast<uint32_t>(offset_keys_.Next());
  return v;  // widened without sign
}

void ArchiveDirectoryReader::Rewind() {
  const int64_t n = count_;
  const int64_t width = OffsetWidth(version_);
  names_cursor_ = std::make_unique<Cursor>(source_, names_);
  offsets_cursor_ = std::make_unique<Cursor>(source_, tables_);
  stored_cursor_ = std::make_unique<Cursor>(source_, tables_ + (n + 1) * width);
  time_cursor_ = std::make_unique<Cursor>(source_, tables_ + (n + 1) * width + n);
  crc_cursor_ = std::make_unique<Cursor>(source_, tables_ + (n + 1) * width + 5 * n);
  separate_cursor_ = std::make_unique<Cursor>(source_, tables_ + (n + 1) * width + 9 * n);
  name_keys_ = TSeededRandom(kArchiveSeed);
  offset_keys_ = TSeededRandom(kArchiveSeed);
  next_ = 0;
  names_left_ = tables_ - names_;
  offset_ = NextOffset();
}

bool ArchiveDirectoryReader::ReadName(Cursor& names, TSeededRandom& keys, int64_t& left, DataString& name) const {
  int32_t length = 0;
  // checked when the reader was made; a file changed since is not trusted with an allocation
  if (!names.Read(length) || int64_t{length} > left - 4) return false;
  left -= 4 + std::max(length, 0);
  std::string& bytes = name.bytes();
  bytes.resize(static_cast<size_t>(std::max(length, 0)));
  if (!names.Read(bytes.data(), static_cast<int64_t>(bytes.size()))) return false;
  if (version_ >= 100) ScrambleName(bytes.data(), bytes.size(), keys);
  return true;
}

void ArchiveDirectoryReader::ForEachName(const std::function<void(int32_t, const DataString&)>& visit) {
  Cursor names(source_, names_);
  TSeededRandom keys(kArchiveSeed);
  int64_t left = tables_ - names_;
  DataString name;
  for (int32_t i = 0; i < count_; ++i) {
    if (!ReadName(names, keys, left, name)) throw Fault("it ends inside entry " + std::to_string(i));
    visit(i, name);
  }
}

bool ArchiveDirectoryReader::Next(DirectoryEntry& entry) {
  if (next_ >= count_) return false;
  const auto ended = [&] { return Fault("it ends inside entry " + std::to_string(next_)); };
  if (!ReadName(*names_cursor_, name_keys_, names_left_, entry.name)) throw ended();
  entry.offset = offset_;
  offset_ = NextOffset();
  entry.size = offset_ - entry.offset;
  uint8_t stored = 0, separate = 0;
  entry.time = 0;
  entry.crc = 0;
  if (version_ >= 101 &&
      !(stored_cursor_->Read(stored) && time_cursor_->Read(entry.time) && crc_cursor_->Read(entry.crc))) {
    throw ended();
  }
  if (version_ >= 102 && !separate_cursor_->Read(separate)) throw ended();
  entry.stored = stored != 0;
  entry.separate = separate != 0;
  ++next_;
  return true;
}

ArchiveDirectory ReadArchiveDirectory(TBigStream& source, int64_t data_end, const std::string& label) {
  ArchiveDirectoryReader reader(source, data_end, label);
  ArchiveDirectory dir;
  dir.version = reader.Version();
  const size_t n = static_cast<size_t>(reader.Count());
  dir.names.reserve(n);
  dir.offsets.reserve(n + 1);
  dir.stored.reserve(n);
  dir.time.reserve(n);
  dir.crc.reserve(n);
  dir.separate.reserve(n);
  for (DirectoryEntry e; reader.Next(e);) {
    dir.names.push_back(e.name);
    dir.offsets.push_back(e.offset);
    dir.stored.push_back(e.stored ? 1 : 0);
    dir.time.push_back(e.time);
    dir.crc.push_back(e.crc);
    dir.separate.push_back(e.separate ? 1 : 0);
  }
  dir.offsets.push_back(reader.EndOffset());
  source.SetPosition(reader.End());
  return dir;
}

namespace {

// The encoded length of a directory of `count` entries whose names take `name_bytes` bytes: the
// header, each name with its length, the offsets (one more than the entries) and the flag tables.
size_t EncodedLength(size_t count, size_t name_bytes) {
  return 10 + 4 * count + name_bytes + 8 * (count + 1) + 10 * count;
}

size_t NameBytes(const ArchiveDirectory& dir) {
  size_t bytes = 0;
  for (const DataString& name : dir.names) bytes += name.size();
  return bytes;
}

}  // namespace

int64_t EncodedDirectorySize(const ArchiveDirectory& dir) {
  return static_cast<int64_t>(EncodedLength(dir.names.size(), NameBytes(dir)));
}

std::string EncodeArchiveDirectory(const ArchiveDirectory& dir) {
  const size_t n = dir.names.size();
  ArchiveDirectoryEncoder encoder(n, NameBytes(dir));
  const auto at = [](const auto& table, size_t i) {
    return i < table.size() ? table[i] : std::remove_cvref_t<decltype(table[i])>{};
  };
  for (size_t i = 0; i < n; ++i) {
    encoder.Add(dir.names[i], at(dir.offsets, i), at(dir.stored, i) != 0, at(dir.time, i), at(dir.crc, i),
                at(dir.separate, i) != 0);
  }
  return encoder.Finish(at(dir.offsets, n));
}

ArchiveDirectoryEncoder::ArchiveDirectoryEncoder(size_t count, size_t name_bytes) {
  // The whole directory's room in one buffer, the tables appended to it at the end.
  out_.bytes.reserve(EncodedLength(count, name_bytes));
  AdviseHugePages(out_.bytes.data(), out_.bytes.capacity());
  out_.bytes.resize(10 + 4 * count + name_bytes);
  std::memcpy(out_.Take(2), "vf", 2);
  out_.Put<int32_t>(kArchiveVersion);
  out_.Put<int32_t>(0);  // the count, once known
  offsets_.bytes.resize(8 * (count + 1));
  stored_.bytes.resize(count);
  time_.bytes.resize(4 * count);
  crc_.bytes.resize(4 * count);
  separate_.bytes.resize(count);
}

void ArchiveDirectoryEncoder::Add(const DataString& name, int64_t offset, bool stored, int32_t time,
                                  uint32_t crc, bool separate) {
  out_.Put<int32_t>(static_cast<int32_t>(name.size()));
  char* const to = out_.Take(name.size());
  std::memcpy(to, name.data(), name.size());
  ScrambleName(to, name.size(), name_keys_);
  offsets_.Put<int64_t>(offset ^ static_cast<int64_t>(offset_keys_.Next()));  // sign-extended
  stored_.Put<char>(stored ? 1 : 0);
  time_.Put<int32_t>(time);
  crc_.Put<uint32_t>(crc);
  separate_.Put<char>(separate ? 1 : 0);
  ++count_;
}

std::string ArchiveDirectoryEncoder::Finish(int64_t end_offset) {
  offsets_.Put<int64_t>(end_offset ^ static_cast<int64_t>(offset_keys_.Next()));
  std::memcpy(out_.bytes.data() + 6, &count_, 4);
  out_.bytes.resize(out_.used);
  for (const Buffer* table : {&offsets_, &stored_, &time_, &crc_, &separate_}) {
    out_.bytes.append(table->bytes.data(), table->used);
  }
  return std::move(out_.bytes);
}

}  // namespace vn
