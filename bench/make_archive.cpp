// Test data for the archive benchmarks, written with the archive library:
//   make_archive stored OUT SIZE_MIB       an archive of stored entries with checksums (split into parts)
//   make_archive files DIR COUNT KIB       COUNT text-like files of about KIB KiB each under DIR
//   make_archive pack DIR OUT              the files under DIR as compressed entries (sorted names)
//   make_archive tiny DIR COUNT            COUNT tiny files (20 to 80 bytes) under DIR, 1000 to a folder
//   make_archive tiny-archive OUT COUNT    the same COUNT entries as an archive, without the files
//   make_archive game DIR                  about 352 MB of a game's files: PNG pictures, Ogg-named
//                                          sound, scenario text and uncompressed BMP pictures
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

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

// A photo-like picture: smooth colour ramps with grain, `width` x `height` RGB rows.
std::string PhotoPixels(std::mt19937& rng, int width, int height) {
  std::string px(static_cast<size_t>(width) * height * 3, '\0');
  const int phase = static_cast<int>(rng() % 256);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      char* p = px.data() + (static_cast<size_t>(y) * width + x) * 3;
      p[0] = static_cast<char>((x + phase) / 4 + rng() % 24);
      p[1] = static_cast<char>((y + x / 2) / 3 + rng() % 24);
      p[2] = static_cast<char>((y + phase) / 5 + rng() % 24);
    }
  }
  return px;
}

void PutBig32(std::string& s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>(v >> shift);
}

void PngChunk(std::string& png, const char* type, const std::string& data) {
  PutBig32(png, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  PutBig32(png, Crc32Update(0, body.data(), body.size()));
}

// A PNG file as painting programs write it (rows unfiltered, zlib level 6).
std::string PhotoPng(std::mt19937& rng, int width, int height) {
  const std::string px = PhotoPixels(rng, width, height);
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    raw.append(px, static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 6);
  packed.resize(packed_size);
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutBig32(ihdr, static_cast<uint32_t>(width));
  PutBig32(ihdr, static_cast<uint32_t>(height));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
  PngChunk(png, "IHDR", ihdr);
  PngChunk(png, "IDAT", packed);
  PngChunk(png, "IEND", "");
  return png;
}

// A 24-bit BMP file of a photo-like picture (rows stored bottom-up, 4-byte aligned for these widths).
std::string PhotoBmp(std::mt19937& rng, int width, int height) {
  const std::string px = PhotoPixels(rng, width, height);
  std::string bmp = "BM";
  const auto put32 = [&](uint32_t v) {
    for (int k = 0; k < 4; ++k) bmp += static_cast<char>(v >> (8 * k));
  };
  put32(static_cast<uint32_t>(54 + px.size()));
  put32(0);
  put32(54);
  put32(40);
  put32(static_cast<uint32_t>(width));
  put32(static_cast<uint32_t>(height));
  bmp += std::string("\x01\x00\x18\x00", 4);
  for (int k = 0; k < 6; ++k) put32(0);
  for (int y = height - 1; y >= 0; --y)
    bmp.append(px, static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3);
  return bmp;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  File(path, FileAccess::kCreate).Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc < (mode == "game" ? 3 : 4)) {
    std::fprintf(stderr,
                 "usage: make_archive stored OUT SIZE_MIB | files DIR COUNT KIB | pack DIR OUT | game DIR\n");
    return 2;
  }
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
  if (mode == "game") {
    const fs::path dir = argv[2];
    char name[64];
    for (int i = 0; i < 155; ++i) {  // event pictures, about 1.3 MB each
      std::snprintf(name, sizeof name, "cg/ev%03d.png", i);
      WriteBytes(dir / name, PhotoPng(rng, 800, 600));
    }
    for (int i = 0; i < 20; ++i) {  // uncompressed pictures, which do shrink
      std::snprintf(name, sizeof name, "sys/parts%02d.bmp", i);
      WriteBytes(dir / name, PhotoBmp(rng, 640, 480));
    }
    std::string sound(1500000, '\0');
    for (int i = 0; i < 60; ++i) {  // compressed sound
      for (char& c : sound) c = static_cast<char>(rng());
      std::copy_n("OggS", 4, sound.data());
      std::snprintf(name, sizeof name, "voice/v%04d.ogg", i);
      WriteBytes(dir / name, sound);
    }
    for (int i = 0; i < 400; ++i) {  // scenario text
      std::snprintf(name, sizeof name, "scenario/s%03d.txt", i);
      WriteBytes(dir / name, Text(rng, 100000));
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
