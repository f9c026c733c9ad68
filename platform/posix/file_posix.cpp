#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

std::string Describe(const fs::path& path, const char* what, int err) {
  return PathToUtf8(path) + ": " + what + ": " + std::strerror(err);
}

}  // namespace

File::File(const fs::path& path, FileAccess access) : path_(path) {
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::kRead:
      flags |= O_RDONLY;
      break;
    case FileAccess::kReadWrite:
      flags |= O_RDWR;
      break;
    case FileAccess::kCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  // Without O_NONBLOCK, opening a FIFO waits for a writer (or reader) forever. Regular files
  // ignore the flag; it is taken off again so that later reads block as usual.
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0644);
  if (fd < 0) throw EFOpenError(Describe(path, "cannot open", errno));
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw EFOpenError(Describe(path, "cannot open", EISDIR));
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  handle_ = fd;
}

std::optional<File> File::CreateNew(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EEXIST) return std::nullopt;
  if (fd < 0) throw EFOpenError(Describe(path, "cannot create", errno));
  std::optional<File> file(File{});
  file->handle_ = fd;
  file->path_ = path;
  return file;
}

File File::FromSource(const fs::path& path, std::shared_ptr<FileSource> source) {
  File file;
  file.path_ = path;
  file.window_length_ = source->Size();
  file.source_ = std::move(source);
  return file;
}

bool File::IsRegularFile() const {
  if (source_) return true;
  struct stat st;
  return ::fstat(static_cast<int>(handle_), &st) == 0 && S_ISREG(st.st_mode);
}

File::~File() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

void File::Fail(const char* what) const {
  throw EReadError(Describe(path_, what, errno));
}

namespace {

// Repeats a transfer until count bytes moved, the end of the file came (reads), or an error other
// than an interruption; returns the bytes moved, or -1 with errno set.
template <typename Transfer>
int64_t TransferAll(int64_t count, Transfer transfer) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = transfer(done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

}  // namespace

int64_t File::Read(void* buffer, int64_t count) {
  if (IsWindow()) count = InWindow(Position(), count);
  if (source_) {
    source_->ReadAt(source_position_, buffer, count);
    source_position_ += count;
    return count;
  }
  auto* out = static_cast<char*>(buffer);
  const int fd = static_cast<int>(handle_);
  const int64_t done = TransferAll(count, [&](int64_t at, size_t n) { return ::read(fd, out + at, n); });
  if (done < 0) Fail("cannot read");
  return done;
}

int64_t File::ReadAt(int64_t position, void* buffer, int64_t count) {
  count = InWindow(position, count);
  if (source_) {
    source_->ReadAt(position, buffer, count);
    return count;
  }
  position += window_offset_;
  auto* out = static_cast<char*>(buffer);
  const int fd = static_cast<int>(handle_);
  const int64_t done =
      TransferAll(count, [&](int64_t at, size_t n) { return ::pread(fd, out + at, n, position + at); });
  if (done < 0) Fail("cannot read");
  return done;
}

void File::Write(const void* buffer, int64_t count) {
  RefuseWriteToWindow();
  const auto* in = static_cast<const char*>(buffer);
  const int fd = static_cast<int>(handle_);
  const int64_t done = TransferAll(count, [&](int64_t at, size_t n) { return ::write(fd, in + at, n); });
  if (done != count) throw EWriteError(Describe(path_, "cannot write", done < 0 ? errno : ENOSPC));
}

void File::WriteAt(int64_t position, const void* buffer, int64_t count) {
  RefuseWriteToWindow();
  const auto* in = static_cast<const char*>(buffer);
  const int fd = static_cast<int>(handle_);
  const int64_t done =
      TransferAll(count, [&](int64_t at, size_t n) { return ::pwrite(fd, in + at, n, position + at); });
  if (done != count) throw EWriteError(Describe(path_, "cannot write", done < 0 ? errno : ENOSPC));
}

int64_t File::Seek(int64_t position) {
  if (source_) return source_position_ = position;
  const off_t r = ::lseek(static_cast<int>(handle_), position + window_offset_, SEEK_SET);
  if (r < 0) Fail("cannot seek");
  return r - window_offset_;
}

int64_t File::Position() const {
  if (source_) return source_position_;
  const off_t r = ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
  if (r < 0) Fail("cannot seek");
  return r - window_offset_;
}

int64_t File::Size() const {
  if (IsWindow()) return window_length_;
  struct stat st;
  if (::fstat(static_cast<int>(handle_), &st) != 0) Fail("cannot get the size");
  return st.st_size;
}

void File::SetSize(int64_t size) {
  RefuseWriteToWindow();
  if (::ftruncate(static_cast<int>(handle_), size) != 0) {
    throw EWriteError(Describe(path_, "cannot set the size", errno));
  }
}

int64_t File::CopyRangeFrom(File& source, int64_t source_position, int64_t position, int64_t count) {
  RefuseWriteToWindow();
  if (source.source_) {
    // Piece by piece: those lying in a plain file are copied from there.
    int64_t done = 0;
    while (done < count) {
      File* plain = nullptr;
      int64_t offset = 0;
      const int64_t n = std::min(count - done, source.source_->Run(source_position + done, &plain, &offset));
      if (n <= 0) break;
      const int64_t got =
          plain ? CopyRangeFrom(*plain, offset, position + done, n)
                : CopyRangeThroughBuffer(source, source_position + done, *this, position + done, n);
      done += got;
      if (got < n) break;
    }
    return done;
  }
  // From a window: its bytes only, wherever it lies in its file.
  count = source.InWindow(source_position, count);
  off_t from = source_position + source.window_offset_;
  off_t to = position;
  int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::copy_file_range(static_cast<int>(source.handle_), &from, static_cast<int>(handle_), &to,
                          static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)), 0);
    if (n > 0) {
      done += n;
      continue;
    }
    if (n == 0) return done;  // the source has ended
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF) {
      // not between these files (other file systems on older kernels, special files)
      return done +
             CopyRangeThroughBuffer(source, source_position + done, *this, position + done, count - done);
    }
    if (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) {
      throw EWriteError(Describe(path_, "cannot write", errno));
    }
    throw EReadError(Describe(source.path_, "cannot copy from", errno));
  }
  return done;
}

void File::StartWriteBack(int64_t position, int64_t count) {
#ifdef SYNC_FILE_RANGE_WRITE
  ::sync_file_range(static_cast<int>(handle_), position, count, SYNC_FILE_RANGE_WRITE);
#else
  (void)position;
  (void)count;
#endif
}

void File::Sync() {
  if (::fsync(static_cast<int>(handle_)) != 0) throw EWriteError(Describe(path_, "cannot flush", errno));
}

bool File::TryClaimForWriting() {
  // flock locks belong to the open file, so two opens of one file exclude each other even in one
  // process; nobody reading takes one.
  if (::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0) return true;
  return errno != EWOULDBLOCK;  // a file system without locks cannot tell: that refuses nobody
}

void File::Close() {
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
    handle_ = -1;
  }
  source_.reset();
}

bool FolderLockAbandoned(const fs::path& folder, const char* lock_name) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) return false;
  struct stat st;
  bool abandoned = false;
  if (::fstat(dir, &st) == 0 && st.st_uid == ::getuid()) {
    const int lock = ::openat(dir, lock_name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (lock >= 0) {
      // Only a lock taken here proves the holder gone: a file system without locks proves nothing.
      abandoned = ::fstat(lock, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
                  ::flock(lock, LOCK_EX | LOCK_NB) == 0;
      ::close(lock);
    }
  }
  ::close(dir);
  return abandoned;
}

void ReplaceFile(const fs::path& from, const fs::path& to) {
  try {
    RefuseToReplaceSpecialFile(to);
  } catch (...) {
    ::unlink(from.c_str());
    throw;
  }
  if (::rename(from.c_str(), to.c_str()) != 0) {
    const int err = errno;
    ::unlink(from.c_str());
    throw EWriteError(Describe(to, "cannot replace", err));
  }
  const fs::path folder = to.has_parent_path() ? to.parent_path() : fs::path(".");
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace vn
