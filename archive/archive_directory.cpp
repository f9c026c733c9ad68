#include "archive/archive_directory.h"

#include <cstring>
#include <limits>

#include "archive/seeded_random.h"
#include "platform/error.h"

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

template <typename T>
void AppendLE(std::string& out, T value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  out.append(bytes, sizeof value);
}

template <typename T>
std::vector<T> ReadTable(TBigStream& source, size_t count) {
  std::vector<T> table(count);
  source.ReadBuffer(table.data(), static_cast<int64_t>(count * sizeof(T)));
  return table;
}

}  // namespace

void ScrambleNames(std::vector<DataString>& names) {
  TSeededRandom keys(kArchiveSeed);
  for (DataString& name : names) {
    for (char& c : name.bytes()) c = static_cast<char>(c ^ static_cast<char>(keys.Next() & 0xFF));
  }
}

void ScrambleOffsets(std::vector<int64_t>& offsets) {
  TSeededRandom keys(kArchiveSeed);
  for (int64_t& v : offsets) v ^= static_cast<int64_t>(keys.Next());  // sign-extended
}

ArchiveDirectory ReadArchiveDirectory(TBigStream& source, int64_t data_end, const std::string& label) {
  const auto fault = [&](const std::string& what) -> EFormatError {
    return EFormatError(label + ": damaged archive directory: " + what);
  };
  const int64_t start = source.GetPosition();
  const int64_t available = source.GetSize() - start;
  int64_t used = 0;  // bytes of the directory consumed so far
  const auto take = [&](void* out, int64_t n, const char* what) {
    if (n > available - used || source.Read(out, n) != n) throw fault(std::string("it ends inside ") + what);
    used += n;
  };

  ArchiveDirectory dir;
  char magic[2] = {0, 0};
  if (available >= 2 && source.Read(magic, 2) == 2 && magic[0] == 'v' && magic[1] == 'f') {
    used = 2;
    take(&dir.version, 4, "the header");
  } else {
    // no magic: those two bytes already belong to the entry count
    source.SetPosition(start);
  }
  int32_t n = 0;
  take(&n, 4, "the header");
  if (n < 0) throw fault("negative entry count " + std::to_string(n));

  // Every entry needs at least its name length, its offset and its flags; a count that cannot fit
  // in the bytes that remain is refused before anything is sized from it.
  const int64_t width = OffsetWidth(dir.version);
  const int64_t flags = FlagBytesPerEntry(dir.version);
  const int64_t minimum = int64_t{n} * (4 + width + flags) + width;
  if (minimum > available - used) {
    throw fault("entry count " + std::to_string(n) + " does not fit in the " + std::to_string(available) +
                " bytes of the directory");
  }

  dir.names.resize(static_cast<size_t>(n));
  {
    TBuffBigStream names(source);
    for (int32_t i = 0; i < n; ++i) {
      int32_t length = 0;
      if (names.Read(&length, 4) != 4) throw fault("it ends inside the name of entry " + std::to_string(i));
      used += 4;
      if (length <= 0) continue;
      // what the rest of the directory needs at the least: the other name lengths and the tables
      const int64_t still_needed = (int64_t{n} - 1 - i) * 4 + (int64_t{n} + 1) * width + int64_t{n} * flags;
      if (length > available - used - still_needed) {
        throw fault("the name length " + std::to_string(length) + " of entry " + std::to_string(i) +
                    " runs past the end");
      }
      std::string& bytes = dir.names[static_cast<size_t>(i)].bytes();
      bytes.resize(static_cast<size_t>(length));
      if (names.Read(bytes.data(), length) != length) {
        throw fault("it ends inside the name of entry " + std::to_string(i));
      }
      used += length;
    }
  }
  if (dir.version >= 100) ScrambleNames(dir.names);

  const size_t count = static_cast<size_t>(n);
  const int64_t tables = (int64_t{n} + 1) * width + int64_t{n} * flags;
  if (tables > available - used) throw fault("its tables run past the end");
  if (source.GetPosition() != start + used) throw fault("it could not be read in order");

  if (width == 8) {
    dir.offsets = ReadTable<int64_t>(source, count + 1);
    ScrambleOffsets(dir.offsets);
  } else {
    auto raw = ReadTable<uint32_t>(source, count + 1);
    if (dir.version >= 100) {
      TSeededRandom keys(kArchiveSeed);
      for (uint32_t& v : raw) v ^= static_cast<uint32_t>(keys.Next());
    }
    dir.offsets.assign(raw.begin(), raw.end());  // widened without sign
  }
  if (dir.version >= 101) {
    dir.stored = ReadTable<uint8_t>(source, count);
    dir.time = ReadTable<int32_t>(source, count);
    dir.crc = ReadTable<uint32_t>(source, count);
  } else {
    dir.stored.assign(count, 0);
    dir.time.assign(count, 0);
    dir.crc.assign(count, 0);
  }
  dir.separate = dir.version >= 102 ? ReadTable<uint8_t>(source, count) : std::vector<uint8_t>(count, 0);

  for (size_t k = 0; k <= count; ++k) {
    if (dir.offsets[k] < 0) throw fault("entry " + std::to_string(k) + " has a negative offset");
    if (k > 0 && dir.offsets[k] < dir.offsets[k - 1]) {
      throw fault("the offset table is not ascending at entry " + std::to_string(k));
    }
  }
  if (dir.offsets[count] > data_end) {
    throw fault("the entries end at " + std::to_string(dir.offsets[count]) + ", past the end of the data (" +
                std::to_string(data_end) + " bytes)");
  }
  return dir;
}

int64_t EncodedDirectorySize(const ArchiveDirectory& dir) {
  int64_t size = 10;
  for (const DataString& name : dir.names) size += 4 + static_cast<int64_t>(name.size());
  const int64_t n = static_cast<int64_t>(dir.names.size());
  return size + 8 * (n + 1) + 10 * n;
}

std::string EncodeArchiveDirectory(const ArchiveDirectory& dir) {
  const size_t n = dir.names.size();
  std::string out;
  out.reserve(static_cast<size_t>(EncodedDirectorySize(dir)));
  out += "vf";
  AppendLE<int32_t>(out, kArchiveVersion);
  AppendLE<int32_t>(out, static_cast<int32_t>(n));
  std::vector<DataString> names = dir.names;
  ScrambleNames(names);
  for (const DataString& name : names) {
    AppendLE<int32_t>(out, static_cast<int32_t>(name.size()));
    out += name.bytes();
  }
  std::vector<int64_t> offsets = dir.offsets;
  offsets.resize(n + 1, 0);
  ScrambleOffsets(offsets);
  for (int64_t v : offsets) AppendLE<int64_t>(out, v);
  for (size_t i = 0; i < n; ++i) out += static_cast<char>(i < dir.stored.size() ? dir.stored[i] : 0);
  for (size_t i = 0; i < n; ++i) AppendLE<int32_t>(out, i < dir.time.size() ? dir.time[i] : 0);
  for (size_t i = 0; i < n; ++i) AppendLE<uint32_t>(out, i < dir.crc.size() ? dir.crc[i] : 0u);
  for (size_t i = 0; i < n; ++i) out += static_cast<char>(i < dir.separate.size() ? dir.separate[i] : 0);
  return out;
}

}  // namespace vn
