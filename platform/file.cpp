// The parts of file handling that every system shares; the handle itself is in the backends.
#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/file.h"

namespace vn {

namespace fs = std::filesystem;

File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

int64_t CopyRangeThroughBuffer(File& source, int64_t source_position, File& target, int64_t position,
                               int64_t count) {
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, 4 << 20)));
  int64_t done = 0;
  while (done < count) {
    const int64_t want = std::min<int64_t>(count - done, static_cast<int64_t>(buffer.size()));
    const int64_t got = source.ReadAt(source_position + done, buffer.data(), want);
    if (got <= 0) break;
    target.WriteAt(position + done, buffer.data(), got);
    done += got;
    if (got < want) break;
  }
  return done;
}

std::string ReadWholeFile(const fs::path& path) {
  File f(path, FileAccess::kRead);
  std::string content;
  char buffer[65536];
  for (;;) {
    const int64_t n = f.Read(buffer, sizeof buffer);
    if (n <= 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  return content;
}

void WriteFileAtomically(const fs::path& path, std::string_view content) {
  const fs::path tmp = TemporarySibling(path);
  try {
    File f(tmp, FileAccess::kCreate);
    f.Write(content.data(), static_cast<int64_t>(content.size()));
    f.Sync();
  } catch (...) {
    std::error_code ec;
    fs::remove(tmp, ec);
    throw;
  }
  ReplaceFile(tmp, path);
}

}  // namespace vn
