// Writes "vf" archives of every version byte by byte, independently of the archive code, so that
// the reader is checked against the format rather than against our own writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vn::test {

constexpr int32_t kSeed = 1830465927;

struct BuildEntry {
  std::string name;   // stored name bytes (Shift-JIS)
  std::string bytes;  // the stored bytes (already compressed when !stored)
  bool stored = true;
  int32_t time = 0;
  uint32_t crc = 0;
  bool separate = false;
};

// An entry whose stored bytes are the zlib compression of content.
BuildEntry Compressed(std::string name, const std::string& content);
// A stored entry with its CRC-32 filled in.
BuildEntry StoredWithCrc(std::string name, std::string content);

struct BuildOptions {
  int version = 102;  // 0: no magic and no version field
  // Offsets count from here instead of from the end of the directory (side files use 0).
  int64_t first_offset = -1;
  bool directory_only = false;  // omit the entry data (a side file)
};

std::string BuildArchive(const std::vector<BuildEntry>& entries, const BuildOptions& options = {});
// exe + archive + the archive's start + "vd".
std::string WithExeTrailer(const std::string& exe, const std::string& archive);
// The data of the entries one after the other (what a side file's offsets point into).
std::string EntryData(const std::vector<BuildEntry>& entries);

std::string ZlibCompress(const std::string& content);
uint32_t ZlibCrc(const std::string& bytes);

}  // namespace vn::test
