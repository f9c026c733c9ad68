// The parts of file handling that every system shares; the handle itself is in the backends.
#include <system_error>

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
