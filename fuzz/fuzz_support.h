// What the fuzz targets share: a private scratch folder for readers that take files, and a stream
// that is not a memory stream (some readers take a shortcut for those).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/stream.h"
#include "platform/file.h"

namespace vn::fuzz {

// One folder per process under $TMPDIR (else /tmp), removed at exit.
inline const std::filesystem::path& Scratch() {
  static const std::filesystem::path folder = [] {
    const char* tmp = ::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vnfuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) ::abort();
    static std::filesystem::path made = pattern;
    ::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(made, ec);
    });
    return made;
  }();
  return folder;
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  File f(path, FileAccess::kCreate);
  f.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

inline void RemoveFile(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

// Read-only view of bytes through the plain stream interface.
class ViewStream : public TStream {
 public:
  explicit ViewStream(std::string_view bytes) : bytes_(bytes) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::clamp<int64_t>(static_cast<int64_t>(bytes_.size()) - position_, 0, count);
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    const int64_t base = origin == SeekOrigin::kBeginning ? 0
                         : origin == SeekOrigin::kCurrent ? position_
                                                          : static_cast<int64_t>(bytes_.size());
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }
  int64_t GetSize() override { return static_cast<int64_t>(bytes_.size()); }

 private:
  std::string_view bytes_;
  int64_t position_ = 0;
};

// A sink that only counts, as standard output would take an entry.
class CountingStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    written_ += count;
    return count;
  }
  int64_t Seek(int64_t, SeekOrigin) override { return written_; }

 private:
  int64_t written_ = 0;
};

inline std::string_view AsView(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A round trip that lost something: abort with what, so the fuzzer keeps the input.
[[noreturn]] inline void RoundTripFailed(const char* what) {
  std::fprintf(stderr, "round trip: %s\n", what);
  std::abort();
}

}  // namespace vn::fuzz
