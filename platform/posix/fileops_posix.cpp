#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <vector>

#include "platform/file.h"
#include "platform/fileops.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kDosFirst = 0x00210000;  // 1980-01-01 00:00:00

// Closes a descriptor on every exit path.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool CopyContent(int from, int to) {
  // copy_file_range lets the kernel (and reflinking file systems) do the work; the plain loop serves
  // where it is not available, for example across file systems on older kernels.
  for (;;) {
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, size_t{1} << 30, 0);
    if (n == 0) return true;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) break;
    return false;
  }
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += w;
    }
  }
}

}  // namespace

int32_t TimeToDosDateTime(std::time_t time) {
  struct tm t;
  if (!::localtime_r(&time, &t) || t.tm_year + 1900 < 1980) return kDosFirst;
  if (t.tm_year + 1900 > 2107) return static_cast<int32_t>(0xFF9FBF7Du);  // 2107-12-31 23:59:58
  const uint32_t date = (static_cast<uint32_t>(t.tm_year + 1900 - 1980) << 9) |
                        (static_cast<uint32_t>(t.tm_mon + 1) << 5) | static_cast<uint32_t>(t.tm_mday);
  const uint32_t clock = (static_cast<uint32_t>(t.tm_hour) << 11) | (static_cast<uint32_t>(t.tm_min) << 5) |
                         static_cast<uint32_t>(t.tm_sec / 2);
  return static_cast<int32_t>(date << 16 | clock);
}

std::optional<std::time_t> DosDateTimeToTime(int32_t dos) {
  if (!IsValidDosDateTime(dos)) return std::nullopt;
  const DosDateTimeFields f = SplitDosDateTime(dos);
  struct tm t = {};
  t.tm_year = f.year - 1900;
  t.tm_mon = f.month - 1;
  t.tm_mday = f.day;
  t.tm_hour = f.hour;
  t.tm_min = f.minute;
  t.tm_sec = f.second;
  t.tm_isdst = -1;  // whatever daylight saving time said on that day
  const std::time_t time = ::mktime(&t);
  if (time == static_cast<std::time_t>(-1)) return std::nullopt;
  return time;
}

int32_t FileAge(const fs::path& file) {
  struct stat st;
  if (::stat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return TimeToDosDateTime(st.st_mtime);
}

bool FileSetDate(const fs::path& file, int32_t dos) {
  const std::optional<std::time_t> time = DosDateTimeToTime(dos);
  if (!time) return false;
  const struct timespec times[2] = {{*time, 0}, {*time, 0}};
  return ::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0;
}

bool FileSetDate(File& file, int32_t dos) {
  // Files extracted together mostly share their time: the conversion (which consults the time zone
  // each time) is made once for a run of them.
  thread_local int32_t last_dos = 0;
  thread_local std::optional<std::time_t> last_time;
  if (dos != last_dos || !last_time) {
    last_time = DosDateTimeToTime(dos);
    last_dos = dos;
  }
  if (!last_time) return false;
  const struct timespec times[2] = {{*last_time, 0}, {*last_time, 0}};
  return ::futimens(static_cast<int>(file.NativeHandle()), times) == 0;
}

bool FileSetPermissions(File& file, fs::perms mode) {
  return ::fchmod(static_cast<int>(file.NativeHandle()), static_cast<mode_t>(mode & fs::perms::all)) == 0;
}

bool FileSetModified(File& file, fs::file_time_type time) {
  const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         fs::file_time_type::clock::to_sys(time).time_since_epoch())
                         .count();
  const int64_t seconds = ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000);
  const struct timespec at = {static_cast<time_t>(seconds), static_cast<long>(ns - seconds * 1000000000)};
  const struct timespec times[2] = {at, at};
  return ::futimens(static_cast<int>(file.NativeHandle()), times) == 0;
}

bool CopyFileOver(const fs::path& source, const fs::path& target) {
  Fd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (from.get() < 0 || ::fstat(from.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  struct stat existing;
  if (::lstat(target.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return false;
    if (!S_ISLNK(existing.st_mode) && !(existing.st_mode & S_IWUSR)) return false;  // read-only
  }
  const fs::path tmp = TemporarySibling(target);
  Fd to(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (to.get() < 0) return false;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  const bool ok = CopyContent(from.get(), to.get()) && ::fchmod(to.get(), st.st_mode & 0777) == 0 &&
                  ::futimens(to.get(), times) == 0 && to.Close() &&
                  ::rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

int64_t FileSizeOf(const fs::path& file) {
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return static_cast<int64_t>(st.st_size);
}

bool ClearReadOnly(const fs::path& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  if (st.st_mode & S_IWUSR) return true;
  return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool IsReadOnly(const fs::path& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR);
}

bool IsRealFolder(const fs::path& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFileIfExists(const fs::path& file) {
  if (::unlink(file.c_str()) == 0 || errno == ENOENT) return true;
  return false;
}

}  // namespace vn
