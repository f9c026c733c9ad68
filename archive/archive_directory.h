// The directory of a "vf" archive as bytes: header, name records, offset table and the flag tables.
// Reading is kept apart from the collection so that every count and length can be checked against
// the bytes that remain before anything is allocated from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/big_stream.h"
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

// Reads a directory from source's position. Entry data must lie within the first data_end bytes
// counted from that position (the archive's own length, or the data file's for a side file).
// Raises EFormatError "<label>: <fault>" for a damaged directory; leaves source just past the tables.
ArchiveDirectory ReadArchiveDirectory(TBigStream& source, int64_t data_end, const std::string& label);

// The whole directory in the current version's form (names and offsets scrambled).
std::string EncodeArchiveDirectory(const ArchiveDirectory& directory);
// Length of the encoded directory: where the first entry's bytes begin.
int64_t EncodedDirectorySize(const ArchiveDirectory& directory);

// XORs each name byte with the keystream (one generator across all names) / each offset with one
// value sign-extended to 64 bits. Each is its own inverse.
void ScrambleNames(std::vector<DataString>& names);
void ScrambleOffsets(std::vector<int64_t>& offsets);

}  // namespace vn
