#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/mutex.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// A folder of lock files: made when missing, and used only when it is a folder of ours closed to
// others.
bool UsableLockFolder(const fs::path& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         !(st.st_mode & (S_IWGRP | S_IWOTH));
}

// The folder of the lock files. $XDG_RUNTIME_DIR is private to the user by definition; the fallback in
// /tmp is a folder of our own that must belong to us and be closed to others, or nothing is locked there.
// A runtime folder that cannot be used (another user's after `su`, one already removed) falls back to
// /tmp too: without a lock folder every mutex would count as held, and the launcher would end as if
// another copy of it were running.
std::optional<fs::path> LockFolder() {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    const fs::path folder = fs::path(runtime) / "vnsetup";
    if (UsableLockFolder(folder)) return folder;
  }
  const fs::path fallback = "/tmp/vnsetup-" + std::to_string(::getuid());
  if (UsableLockFolder(fallback)) return fallback;
  return std::nullopt;
}

std::string MutexFileName(const DataString& name) {
  std::string text;
  for (size_t i = 0; i < name.size() && text.size() < 40; ++i) {
    const char c = static_cast<char>(name[i]);
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.';
    text += safe ? c : '_';
  }
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < name.size(); ++i) {
    hash ^= name[i];
    hash *= 0x100000001b3ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return "mutex-" + text + "-" + hex;
}

bool SameFile(int fd, const fs::path& path) {
  struct stat by_fd, by_path;
  return ::fstat(fd, &by_fd) == 0 && ::lstat(path.c_str(), &by_path) == 0 && by_fd.st_dev == by_path.st_dev &&
         by_fd.st_ino == by_path.st_ino;
}

}  // namespace

fs::path MutexFilePath(const DataString& name) {
  const std::optional<fs::path> folder = LockFolder();
  return folder ? *folder / MutexFileName(name) : fs::path();
}

std::optional<InstanceMutex> CreateInstanceMutex(const DataString& name) {
  const fs::path file = MutexFilePath(name);
  if (file.empty()) return std::nullopt;
  // The holder removes the file when it lets go; a creator that locked a file just removed that way
  // tries again with a fresh one, so two holders never lock different files of the same name.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return std::nullopt;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return std::nullopt;  // held elsewhere (or being tested this instant, as on Windows)
    }
    if (SameFile(fd, file)) return InstanceMutex(fd, file);
    ::close(fd);
  }
  return std::nullopt;
}

bool MutexExists(const DataString& name) {
  const fs::path file = MutexFilePath(name);
  if (file.empty()) return false;
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

void InstanceMutex::Release() noexcept {
  if (handle_ < 0) return;
  // Remove the file while still holding the lock, so nobody locks it in between and goes unnoticed.
  ::unlink(file_.c_str());
  ::close(static_cast<int>(handle_));
  handle_ = -1;
}

}  // namespace vn
