#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/error.h"
#include "platform/folder_handle.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

std::string Describe(const fs::path& path, const char* what, int err) {
  return PathToUtf8(path) + ": " + what + ": " + std::strerror(err);
}

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
}

// Opens the folder `name` inside `parent` without following a link; -1 with errno set, ELOOP or
// ENOTDIR for a link or something else than a folder.
int OpenFolderAt(int parent, const fs::path& name) {
  for (;;) {
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

FolderEntry EntryOf(const struct stat& st) {
  FolderEntry entry;
  entry.kind = S_ISREG(st.st_mode)   ? FolderEntry::Kind::kFile
               : S_ISDIR(st.st_mode) ? FolderEntry::Kind::kFolder
               : S_ISLNK(st.st_mode) ? FolderEntry::Kind::kLink
                                     : FolderEntry::Kind::kOther;
  entry.identity = FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  entry.size = static_cast<int64_t>(st.st_size);
  entry.mode = static_cast<uint32_t>(st.st_mode & 07777);
  entry.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return entry;
}

}  // namespace

FolderHandle FolderHandle::Open(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError(Describe(folder, "cannot open the folder", errno));
  return FolderHandle(fd, folder);
}

void FolderHandle::Close() {
  if (handle_ != -1) ::close(Fd(handle_));
  handle_ = -1;
}

FileIdentity FolderHandle::Identity() const {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) return {};
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

FolderHandle FolderHandle::OpenFolder(const fs::path& relative, bool create,
                                      std::vector<fs::path>* created) const {
  const std::vector<fs::path> parts = FolderHandleComponents(relative, true);
  const int self = ::fcntl(Fd(handle_), F_DUPFD_CLOEXEC, 0);
  if (self < 0) throw EFOpenError(Describe(path_, "cannot open the folder", errno));
  FolderHandle folder(self, path_);
  fs::path walked;
  for (const fs::path& part : parts) {
    walked /= part;
    int fd = OpenFolderAt(Fd(folder.handle_), part);
    if (fd < 0 && errno == ENOENT && create) {
      if (::mkdirat(Fd(folder.handle_), part.c_str(), 0777) == 0) {
        if (created) created->push_back(walked);
      } else if (errno != EEXIST) {
        throw EFOpenError(Describe(PathOf(walked), "cannot create the folder", errno));
      }
      fd = OpenFolderAt(Fd(folder.handle_), part);
    }
    if (fd < 0) {
      const int err = errno;
      struct stat st;
      if (::fstatat(Fd(folder.handle_), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) throw EPathError(PathToUtf8(PathOf(walked)) + ": is a symbolic link");
        if (!S_ISDIR(st.st_mode)) throw EPathError(PathToUtf8(PathOf(walked)) + ": is not a folder");
      }
      throw EFOpenError(Describe(PathOf(walked), "cannot open the folder", err));
    }
    folder = FolderHandle(fd, PathOf(walked));
  }
  return folder;
}

AnchoredPath FolderHandle::Anchor(const fs::path& relative) const {
  fs::path name;
  AnchoredPath anchored{Parent(relative, name), {}};
  static const bool through_proc = ::access("/proc/self/fd", X_OK) == 0;
  anchored.path = through_proc ? fs::path("/proc/self/fd") / std::to_string(anchored.folder.handle_) / name
                               : anchored.folder.PathOf(name);
  return anchored;
}

std::optional<FolderEntry> FolderHandle::Stat(const fs::path& relative) const {
  fs::path name;
  const std::optional<FolderHandle> parent = ParentIfPresent(relative, name);
  if (!parent) return std::nullopt;
  struct stat st;
  if (::fstatat(Fd(parent->handle_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return EntryOf(st);
}

std::optional<File> FolderHandle::CreateNewFile(const fs::path& relative) const {
  fs::path name;
  const FolderHandle parent = Parent(relative, name);
  const int fd =
      ::openat(Fd(parent.handle_), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EEXIST) return std::nullopt;
  if (fd < 0) throw EFOpenError(Describe(PathOf(relative), "cannot create", errno));
  return File::Adopt(fd, PathOf(relative));
}

File FolderHandle::OpenFile(const fs::path& relative, FileAccess access) const {
  fs::path name;
  const FolderHandle parent = Parent(relative, name);
  int flags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  flags |= access == FileAccess::kRead ? O_RDONLY : O_RDWR;
  if (access == FileAccess::kCreate) flags |= O_CREAT;
  const int fd = ::openat(Fd(parent.handle_), name.c_str(), flags, 0644);
  if (fd < 0) {
    const int err = errno;
    throw EFOpenError(Describe(PathOf(relative), err == ELOOP ? "is a symbolic link" : "cannot open", err));
  }
  File file = File::Adopt(fd, PathOf(relative));
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    throw EFOpenError(PathToUtf8(PathOf(relative)) + ": not a regular file");
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  if (access == FileAccess::kCreate) file.SetSize(0);
  return file;
}

void FolderHandle::Rename(const fs::path& from, const fs::path& to) const {
  fs::path from_name, to_name;
  const FolderHandle from_parent = Parent(from, from_name);
  const FolderHandle to_parent = Parent(to, to_name);
  if (::renameat(Fd(from_parent.handle_), from_name.c_str(), Fd(to_parent.handle_), to_name.c_str()) != 0) {
    throw EWriteError(Describe(PathOf(from), ("cannot rename to " + PathToUtf8(PathOf(to))).c_str(), errno));
  }
}

bool FolderHandle::RemoveFile(const fs::path& relative) const {
  fs::path name;
  const std::optional<FolderHandle> parent = ParentIfPresent(relative, name);
  if (!parent) return true;
  if (::unlinkat(Fd(parent->handle_), name.c_str(), 0) == 0 || errno == ENOENT) return true;
  return false;
}

bool FolderHandle::RemoveFolder(const fs::path& relative) const {
  fs::path name;
  const std::optional<FolderHandle> parent = ParentIfPresent(relative, name);
  if (!parent) return true;
  struct stat st;
  if (::fstatat(Fd(parent->handle_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return false;
  return ::unlinkat(Fd(parent->handle_), name.c_str(), AT_REMOVEDIR) == 0;
}

std::vector<fs::path> FolderHandle::List() const {
  std::vector<fs::path> names;
  const int fd = ::openat(Fd(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name != "." && name != "..") names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

}  // namespace vn
