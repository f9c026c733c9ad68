#include "tests/archive/archive_builder.h"

#include <zlib.h>

#include <cstring>

namespace vn::test {

namespace {

template <typename T>
void Put(std::string& out, T v) {
  char b[sizeof v];
  std::memcpy(b, &v, sizeof v);
  out.append(b, sizeof v);
}

// The keystream written out again here on purpose: state = state * 5 + seed.
struct Keys {
  uint32_t state = 0;
  int32_t Next() {
    state = state * 5u + static_cast<uint32_t>(kSeed);
    return static_cast<int32_t>(state);
  }
};

}  // namespace

std::string ZlibCompress(const std::string& content) {
  uLongf size = compressBound(static_cast<uLong>(content.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(content.data()),
            static_cast<uLong>(content.size()), Z_DEFAULT_COMPRESSION);
  out.resize(size);
  return out;
}

uint32_t ZlibCrc(const std::string& bytes) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

BuildEntry Compressed(std::string name, const std::string& content) {
  BuildEntry e{std::move(name), ZlibCompress(content), false};
  e.crc = ZlibCrc(e.bytes);
  return e;
}

BuildEntry StoredWithCrc(std::string name, std::string content) {
  BuildEntry e{std::move(name), std::move(content), true};
  e.crc = ZlibCrc(e.bytes);
  return e;
}

std::string EntryData(const std::vector<BuildEntry>& entries) {
  std::string data;
  for (const auto& e : entries) data += e.bytes;
  return data;
}

std::string BuildArchive(const std::vector<BuildEntry>& entries, const BuildOptions& o) {
  const int v = o.version;
  const size_t n = entries.size();
  std::string out;
  if (v != 0) {
    out += "vf";
    Put<int32_t>(out, v);
  }
  Put<int32_t>(out, static_cast<int32_t>(n));
  Keys name_keys;
  for (const auto& e : entries) {
    Put<int32_t>(out, static_cast<int32_t>(e.name.size()));
    for (char c : e.name) out += v >= 100 ? static_cast<char>(c ^ (name_keys.Next() & 0xFF)) : c;
  }
  const int64_t wide = v >= 101 ? 8 : 4;
  const int64_t flags = v >= 102 ? 10 : (v >= 101 ? 9 : 0);
  const int64_t directory_end = static_cast<int64_t>(out.size()) + wide * int64_t(n + 1) + flags * int64_t(n);
  int64_t at = o.first_offset >= 0 ? o.first_offset : directory_end;
  Keys offset_keys;
  for (size_t i = 0; i <= n; ++i) {
    const int32_t key = v >= 100 ? offset_keys.Next() : 0;
    if (wide == 8) {
      Put<int64_t>(out, at ^ static_cast<int64_t>(key));
    } else {
      Put<uint32_t>(out, static_cast<uint32_t>(at) ^ static_cast<uint32_t>(key));
    }
    if (i < n) at += static_cast<int64_t>(entries[i].bytes.size());
  }
  if (v >= 101) {
    for (const auto& e : entries) out += static_cast<char>(e.stored ? 1 : 0);
    for (const auto& e : entries) Put<int32_t>(out, e.time);
    for (const auto& e : entries) Put<uint32_t>(out, e.crc);
  }
  if (v >= 102) {
    for (const auto& e : entries) out += static_cast<char>(e.separate ? 1 : 0);
  }
  if (!o.directory_only) out += EntryData(entries);
  return out;
}

std::string WithExeTrailer(const std::string& exe, const std::string& archive) {
  std::string out = exe + archive;
  Put<int32_t>(out, static_cast<int32_t>(exe.size()));
  out += "vd";
  return out;
}

}  // namespace vn::test
