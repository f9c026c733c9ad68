// File work inside a folder through a handle of that folder opened once, so that a folder moved
// away and replaced by a link mid-run, or a link planted inside it, cannot redirect a write or a
// delete somewhere else.
//
// Every relative path given to a FolderHandle is walked from the handle one component at a time
// without following links (POSIX: openat with O_NOFOLLOW | O_DIRECTORY). A component that is a
// symbolic link (Windows: any reparse point, such as a junction) or not a folder is refused with an
// EPathError naming that component. Relative paths must stay below the handle: an absolute path,
// ".." or a path of no component (".", empty) raise EPathError; "." inside a path is skipped. The last
// component is never followed either: a link there is examined, renamed or removed as the link itself, and
// never opened.
//
// On Windows the walk checks each component's attributes before the operation and the handles are
// held without delete sharing, so a folder in use cannot be renamed away while its handle lives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/fileops.h"

namespace vn {

// What an entry is, examined without following a link.
struct FolderEntry {
  enum class Kind { kFile, kFolder, kLink, kOther };
  Kind kind = Kind::kOther;
  FileIdentity identity;
  int64_t size = 0;
  uint32_t mode = 0;     // POSIX permission bits; on Windows 0444 for a read-only entry, else 0666
  int64_t modified = 0;  // modification time, nanoseconds since 1970-01-01 UTC
};

struct AnchoredPath;

class FolderHandle {
 public:
  FolderHandle() = default;
  ~FolderHandle();
  FolderHandle(FolderHandle&& other) noexcept;
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  // Opens the folder `folder` names, as the user chose it: links on the way to it are followed (the
  // user may reach a folder through one), but what is opened must be a folder. EFOpenError naming the
  // folder when it cannot be opened or is not a folder.
  static FolderHandle Open(const std::filesystem::path& folder);

  bool IsOpen() const { return handle_ != -1; }
  // The path the folder was opened by, with the relative path of OpenFolder appended: for messages.
  const std::filesystem::path& Path() const { return path_; }
  // `relative` appended to Path(), for messages.
  std::filesystem::path PathOf(const std::filesystem::path& relative) const { return path_ / relative; }
  // Device and inode (volume serial number and file index) of the folder that is open.
  FileIdentity Identity() const;
  // The system's handle (a descriptor on POSIX, a HANDLE on Windows).
  intptr_t NativeHandle() const { return handle_; }

  // The folder `relative` below this one, walked without following links. With `create`, missing
  // folders are made, and `created` (when given) receives each made folder's path relative to this
  // folder, outermost first. EPathError naming the component that is a link or not a folder;
  // EFOpenError naming the first missing folder (without `create`) or the one that cannot be made.
  // An empty `relative` opens this folder again.
  FolderHandle OpenFolder(const std::filesystem::path& relative, bool create = false,
                          std::vector<std::filesystem::path>* created = nullptr) const;

  // The entry `relative`, not followed when it is a link; none when it (or a folder on the way) does
  // not exist. EPathError when a folder on the way is a link or not a folder.
  std::optional<FolderEntry> Stat(const std::filesystem::path& relative) const;

  // Creates the file `relative` for reading and writing; none when anything of that name exists (a
  // link is not followed), so nothing there is opened or truncated. The folders on the way must exist.
  std::optional<File> CreateNewFile(const std::filesystem::path& relative) const;
  // Opens an existing file; the last component being a link is refused (EFOpenError). kCreate makes
  // the file or truncates an existing regular one.
  File OpenFile(const std::filesystem::path& relative, FileAccess access) const;

  // Puts in place of the file `relative` a new one that `fill` writes: made under a temporary name
  // beside it (TemporarySibling's form), closed, and renamed over it, so that a failure or a kill
  // leaves the old file (or none) and never half a file. False when `fill` returns false; the
  // temporary goes then, and when anything raises. `fill` syncs the file where that matters.
  bool ReplaceFile(const std::filesystem::path& relative, const std::function<bool(File&)>& fill) const;
  // The same with `content`, synced before the rename.
  void WriteFile(const std::filesystem::path& relative, std::string_view content) const;

  // A path to `relative` for work that only takes paths (the archive's data file and its side
  // files); see AnchoredPath.
  AnchoredPath Anchor(const std::filesystem::path& relative) const;

  // Renames `from` to `to`, both relative to this folder, replacing a file at `to`. EWriteError
  // naming both on failure.
  void Rename(const std::filesystem::path& from, const std::filesystem::path& to) const;
  // Removes the file (or link) `relative`; true when nothing of that name is there afterwards. A
  // folder is not removed (false).
  bool RemoveFile(const std::filesystem::path& relative) const;
  // Removes the folder `relative` when it is empty; true when nothing of that name is there afterwards.
  bool RemoveFolder(const std::filesystem::path& relative) const;

  // The names in this folder ("." and ".." left out), in the order the system gives them.
  std::vector<std::filesystem::path> List() const;

 private:
  FolderHandle(intptr_t handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}
  // The folder holding the last component of `relative` (this one's duplicate for a single name),
  // and that name; EPathError for a path that leaves the folder.
  FolderHandle Parent(const std::filesystem::path& relative, std::filesystem::path& name) const;
  // The same, none when a folder on the way is missing (so nothing of that name can be there).
  std::optional<FolderHandle> ParentIfPresent(const std::filesystem::path& relative,
                                              std::filesystem::path& name) const;
  void Close();

  intptr_t handle_ = -1;
  std::filesystem::path path_;
};

// A path into a folder held open: the folder holding the file was walked from a FolderHandle without
// following links and is held here, and on Linux the path leads there through that descriptor
// (/proc/self/fd/N/name), so a folder renamed away and replaced since is not followed. Elsewhere, and
// without /proc, the plain path (on Windows a held folder cannot be renamed away).
struct AnchoredPath {
  FolderHandle folder;
  std::filesystem::path path;
  // `message` with this path's folder written as the folder's own path.
  std::string Readable(std::string message) const;
};

// The components of a relative path that must stay below its base: EPathError for an absolute path,
// "..", or no component at all ("." and empty parts are skipped). Shared by the backends.
std::vector<std::filesystem::path> FolderHandleComponents(const std::filesystem::path& relative,
                                                          bool allow_empty);

// Removes from `folder` the temporaries (as TemporarySibling names them; files only, a link so named
// is left alone) of the files whose names (UTF-8) are `bases`. Only for a caller that holds what
// keeps every other writer of those files away: any such temporary is then one a killed writer left.
void RemoveStaleTemporariesIn(const FolderHandle& folder, const std::set<std::string>& bases);
// The same for the one file `path`, in its folder; a folder that cannot be opened holds none.
void RemoveStaleTemporariesOf(const std::filesystem::path& path);

}  // namespace vn
