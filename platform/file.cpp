// The parts of file handling that every system shares; the handle itself is in the backends.
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <system_error>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

File::File(File&& other) noexcept
    : handle_(other.handle_),
      path_(std::move(other.path_)),
      window_offset_(other.window_offset_),
      window_length_(other.window_length_),
      source_(std::move(other.source_)),
      source_position_(other.source_position_) {
  other.handle_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    window_offset_ = other.window_offset_;
    window_length_ = other.window_length_;
    source_ = std::move(other.source_);
    source_position_ = other.source_position_;
    other.handle_ = -1;
  }
  return *this;
}

File File::Adopt(intptr_t handle, const fs::path& path) {
  File file;
  file.handle_ = handle;
  file.path_ = path;
  return file;
}

File File::Window(const fs::path& path, int64_t offset, int64_t length) {
  File file(path, FileAccess::kRead);
  if (offset < 0 || length < 0 || offset > file.Size() || length > file.Size() - offset) {
    throw EReadError(PathToUtf8(path) + ": " + std::to_string(length) + " bytes at " +
                     std::to_string(offset) + " lie past the end of the file");
  }
  file.window_offset_ = offset;
  file.window_length_ = length;
  file.Seek(0);
  return file;
}

int64_t File::InWindow(int64_t position, int64_t count) const {
  if (window_length_ < 0) return count;
  if (position < 0 || position >= window_length_ || count <= 0) return 0;
  return std::min(count, window_length_ - position);
}

void File::RefuseWriteToWindow() const {
  if (window_length_ >= 0)
    throw EWriteError(PathToUtf8(path_) + ": a file of a disc image cannot be written");
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

File OpenRegularFile(const fs::path& path) {
  File f(path, FileAccess::kRead);
  if (!f.IsRegularFile()) {
    throw EFOpenError(PathToUtf8(path) + ": not a regular file (a pipe, a socket or a device)");
  }
  return f;
}

std::string ReadWholeFile(const fs::path& path, int64_t max_size) {
  File f = OpenRegularFile(path);
  const auto too_large = [&](int64_t size) {
    return EFOpenError(PathToUtf8(path) + ": the file is " + std::to_string(size) + " bytes, more than the " +
                       std::to_string(max_size) + " accepted here");
  };
  const int64_t size = f.Size();
  if (size > max_size) throw too_large(size);
  // Read to the end rather than to the size: a file that grows meanwhile (or a /proc file, which
  // says 0) comes whole, and still within the limit.
  std::string content(static_cast<size_t>(size), '\0');
  int64_t got = f.Read(content.data(), size);
  char buffer[65536];
  for (int64_t n; got == static_cast<int64_t>(content.size()) && (n = f.Read(buffer, sizeof buffer)) > 0;) {
    if (static_cast<int64_t>(content.size()) + n > max_size)
      throw too_large(static_cast<int64_t>(content.size()) + n);
    content.append(buffer, static_cast<size_t>(n));
    got = static_cast<int64_t>(content.size());
  }
  content.resize(static_cast<size_t>(got));
  return content;
}

void RefuseToReplaceSpecialFile(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status) || fs::is_regular_file(status) || fs::is_directory(status)) return;
  throw EFOpenError(PathToUtf8(path) +
                    ": not a regular file (a pipe, a socket or a device); it is not replaced");
}

fs::path TemporarySibling(const fs::path& path) {
  static std::atomic<unsigned> counter{0};
#ifdef _WIN32
  const unsigned process = static_cast<unsigned>(_getpid());
#else
  const unsigned process = static_cast<unsigned>(::getpid());
#endif
  fs::path tmp = path;
  tmp += ".tmp" + std::to_string(process) + "-" + std::to_string(counter++);
  return tmp;
}

std::optional<std::string> TemporarySiblingBase(std::string_view file_name) {
  const auto digits = [](std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const size_t mark = file_name.rfind(".tmp");
  if (mark == std::string_view::npos || mark == 0) return std::nullopt;
  const std::string_view rest = file_name.substr(mark + 4);
  const size_t dash = rest.find('-');
  if (dash == std::string_view::npos || !digits(rest.substr(0, dash)) || !digits(rest.substr(dash + 1)))
    return std::nullopt;
  return std::string(file_name.substr(0, mark));
}

void WriteFileAtomically(const fs::path& path, std::string_view content) {
  RefuseToReplaceSpecialFile(path);
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
