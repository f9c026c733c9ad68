// Test data for the archive benchmarks, written with the archive library:
//   make_archive stored OUT SIZE_MIB       an archive of stored entries with checksums (split into parts)
//   make_archive files DIR COUNT KIB       COUNT text-like files of about KIB KiB each under DIR
//   make_archive pack DIR OUT              the files under DIR as compressed entries (sorted names)
//   make_archive tiny DIR COUNT            COUNT tiny files (20 to 80 bytes) under DIR, 1000 to a folder
//   make_archive tiny-archive OUT COUNT    the same COUNT entries as an archive, without the files
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_directory.h"
#include "archive/crc32.h"
#include "archive/zlib_stream.h"
#include "platform/file.h"

namespace fs = std::filesystem;
using namespace vn;

namespace {

void WriteArchive(const fs::path& out, const std::vector<DataString>& names,
                  const std::vector<std::string>& data, const std::vector<uint8_t>& stored) {
  ArchiveDirectory dir;
  dir.names = names;
  const size_t n = names.size();
  dir.stored = stored;
  dir.time.assign(n, 0x5A2B1C0D);
  dir.separate.assign(n, 0);
  dir.offsets.assign(n + 1, 0);
  dir.crc.resize(n);
  int64_t at = EncodedDirectorySize(dir);
  for (size_t i = 0; i < n; ++i) {
    dir.offsets[i] = at;
    dir.crc[i] = Crc32Update(0, data[i].data(), data[i].size());
    at += static_cast<int64_t>(data[i].size());
  }
  dir.offsets[n] = at;
  TBigFileStream s(out, TBigFileStream::kCreate);
  const std::string head = EncodeArchiveDirectory(dir);
  s.Write(head.data(), static_cast<int64_t>(head.size()));
  for (const auto& d : data) s.Write(d.data(), static_cast<int64_t>(d.size()));
}

std::string Text(std::mt19937& rng, size_t size) {
  static const char* words[] = {"the ",         "scene ",  "girl ",   "rain ", "station ", "summer ",
                                "\xe3\x81\x82", "letter ", "night ",  "bg",    "001 ",     "voice ",
                                "\n",           "script ", "choice ", "end "};
  std::string s;
  while (s.size() < size) {
    s += words[rng() % 16];
    if (rng() % 7 == 0) s += std::to_string(rng() % 1000);
  }
  s.resize(size);
  return s;
}

// Entry i of the tiny sets: a picture-like name, numbered, so that the names share their first and
// second-to-last bytes as a game's files do; and a short text.
std::string TinyName(int i) {
  char name[64];
  std::snprintf(name, sizeof name, "scene%03d/bg%07d.txt", i / 1000, i);
  return name;
}
std::string TinyText(std::mt19937& rng) {
  return Text(rng, 20 + rng() % 60);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_archive stored OUT SIZE_MIB | files DIR COUNT KIB | pack DIR OUT\n");
    return 2;
  }
  const std::string mode = argv[1];
  std::mt19937 rng(42);
  if (mode == "stored") {
    // 32 MiB entries of random bytes: the data file the installer verifies
    const int64_t mib = std::atoll(argv[3]);
    TBigFileStream s(argv[2], TBigFileStream::kCreate);
    // the directory is sized first, the data streamed after it, the directory written last
    const int64_t entry = 32 << 20;
    const int64_t count = mib * (1 << 20) / entry;
    ArchiveDirectory dir;
    for (int64_t i = 0; i < count; ++i)
      dir.names.push_back(DataString("data\\chunk" + std::to_string(i) + ".bin"));
    dir.stored.assign(static_cast<size_t>(count), 1);
    dir.time.assign(static_cast<size_t>(count), 0x5A2B1C0D);
    dir.separate.assign(static_cast<size_t>(count), 0);
    dir.crc.assign(static_cast<size_t>(count), 0);
    dir.offsets.assign(static_cast<size_t>(count) + 1, 0);
    const int64_t start = EncodedDirectorySize(dir);
    std::string block(static_cast<size_t>(entry), '\0');
    const std::string placeholder(static_cast<size_t>(start), '\0');
    s.Write(placeholder.data(), start);
    for (int64_t i = 0; i < count; ++i) {
      for (size_t k = 0; k < block.size(); k += 4) {
        const uint32_t v = static_cast<uint32_t>(rng());
        std::copy_n(reinterpret_cast<const char*>(&v), 4, block.data() + k);
      }
      dir.offsets[static_cast<size_t>(i)] = start + i * entry;
      dir.crc[static_cast<size_t>(i)] = Crc32Update(0, block.data(), block.size());
      s.Write(block.data(), entry);
    }
    dir.offsets[static_cast<size_t>(count)] = start + count * entry;
    const std::string head = EncodeArchiveDirectory(dir);
    s.SetPosition(0);
    s.Write(head.data(), static_cast<int64_t>(head.size()));
    return 0;
  }
  if (mode == "files") {
    const fs::path dir = argv[2];
    const int count = std::atoi(argv[3]);
    const size_t kib = static_cast<size_t>(std::atoi(argv[4]));
    for (int i = 0; i < count; ++i) {
      const fs::path p = dir / ("folder" + std::to_string(i % 8)) / ("file" + std::to_string(i) + ".txt");
      fs::create_directories(p.parent_path());
      const std::string t = Text(rng, kib * 1024 / 2 + rng() % (kib * 1024));
      File(p, FileAccess::kCreate).Write(t.data(), static_cast<int64_t>(t.size()));
    }
    return 0;
  }
  if (mode == "pack") {
    const fs::path dir = argv[2];
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      if (e.is_regular_file()) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<DataString> names;
    std::vector<std::string> data;
    for (const auto& f : files) {
      std::string rel = fs::relative(f, dir).string();
      std::replace(rel.begin(), rel.end(), '/', '\\');
      names.emplace_back(rel);
      TMemoryStream m(ReadWholeFile(f, kAnyFileSize));
      CompressMemoryStream(m, 2);
      data.push_back(m.TakeBytes());
    }
    WriteArchive(argv[3], names, data, std::vector<uint8_t>(names.size(), 0));
    return 0;
  }
  if (mode == "tiny") {
    const fs::path dir = argv[2];
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
      const fs::path p = dir / TinyName(i);
      if (i % 1000 == 0) fs::create_directories(p.parent_path());
      const std::string t = TinyText(rng);
      File(p, FileAccess::kCreate).Write(t.data(), static_cast<int64_t>(t.size()));
    }
    return 0;
  }
  if (mode == "tiny-archive") {
    const int count = std::atoi(argv[3]);
    std::vector<DataString> names;
    std::vector<std::string> data;
    for (int i = 0; i < count; ++i) {
      std::string name = TinyName(i);
      std::replace(name.begin(), name.end(), '/', '\\');
      names.emplace_back(name);
      data.push_back(TinyText(rng));
    }
    WriteArchive(argv[2], names, data, std::vector<uint8_t>(names.size(), 1));
    return 0;
  }
  return 2;
}
