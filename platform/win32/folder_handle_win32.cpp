#include <windows.h>

#include "platform/error.h"
#include "platform/folder_handle.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

HANDLE AsHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A folder in use is held without delete sharing: nobody can rename it away (and put a link in its
// place) while the handle lives. Its entries can still be created, renamed and removed.
constexpr DWORD kShareFolder = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::optional<BY_HANDLE_FILE_INFORMATION> InfoOf(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
  return info;
}

// Opens `path` as a folder without following a reparse point; EPathError when it is a link or not
// a folder, EFOpenError when it cannot be opened.
HANDLE OpenRealFolder(const fs::path& path) {
  const HANDLE h =
      CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareFolder, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    throw EFOpenError(win32::Describe(path, "cannot open the folder", GetLastError()));
  const std::optional<BY_HANDLE_FILE_INFORMATION> info = InfoOf(h);
  const DWORD attr = info ? info->dwFileAttributes : 0;
  if (attr & FILE_ATTRIBUTE_REPARSE_POINT) {
    CloseHandle(h);
    throw EPathError(PathToUtf8(path) + ": is a symbolic link or junction");
  }
  if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    throw EPathError(PathToUtf8(path) + ": is not a folder");
  }
  return h;
}

FolderEntry EntryOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FolderEntry entry;
  const DWORD attr = info.dwFileAttributes;
  entry.kind = (attr & FILE_ATTRIBUTE_REPARSE_POINT) ? FolderEntry::Kind::kLink
               : (attr & FILE_ATTRIBUTE_DIRECTORY)   ? FolderEntry::Kind::kFolder
                                                     : FolderEntry::Kind::kFile;
  entry.identity = FileIdentity{info.dwVolumeSerialNumber,
                                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  entry.size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  entry.mode = (attr & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  const uint64_t ticks =
      (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
  entry.modified = (static_cast<int64_t>(ticks) - 116444736000000000LL) * 100;
  return entry;
}

}  // namespace

FolderHandle FolderHandle::Open(const fs::path& folder) {
  const HANDLE h = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareFolder,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    throw EFOpenError(win32::Describe(folder, "cannot open the folder", GetLastError()));
  }
  const std::optional<BY_HANDLE_FILE_INFORMATION> info = InfoOf(h);
  if (!info || !(info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    throw EFOpenError(PathToUtf8(folder) + ": is not a folder");
  }
  return FolderHandle(reinterpret_cast<intptr_t>(h), folder);
}

void FolderHandle::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

FileIdentity FolderHandle::Identity() const {
  const std::optional<BY_HANDLE_FILE_INFORMATION> info = InfoOf(AsHandle(handle_));
  return info ? EntryOf(*info).identity : FileIdentity{};
}

FolderHandle FolderHandle::OpenFolder(const fs::path& relative, bool create,
                                      std::vector<fs::path>* created) const {
  const std::vector<fs::path> parts = FolderHandleComponents(relative, true);
  HANDLE self = INVALID_HANDLE_VALUE;
  if (!DuplicateHandle(GetCurrentProcess(), AsHandle(handle_), GetCurrentProcess(), &self, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    throw EFOpenError(win32::Describe(path_, "cannot open the folder", GetLastError()));
  }
  // Each folder on the way stays open until the next one is: none of them can be renamed meanwhile.
  FolderHandle folder(reinterpret_cast<intptr_t>(self), path_);
  fs::path walked;
  for (const fs::path& part : parts) {
    walked /= part;
    const fs::path full = PathOf(walked);
    if (create && GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (CreateDirectoryW(full.c_str(), nullptr)) {
        if (created) created->push_back(walked);
      } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
        throw EFOpenError(win32::Describe(full, "cannot create the folder", GetLastError()));
      }
    }
    folder = FolderHandle(reinterpret_cast<intptr_t>(OpenRealFolder(full)), full);
  }
  return folder;
}

AnchoredPath FolderHandle::Anchor(const fs::path& relative) const {
  fs::path name;
  AnchoredPath anchored{Parent(relative, name), {}};
  anchored.path = anchored.folder.PathOf(name);
  return anchored;
}

std::optional<FolderEntry> FolderHandle::Stat(const fs::path& relative) const {
  fs::path name;
  const std::optional<FolderHandle> parent = ParentIfPresent(relative, name);
  if (!parent) return std::nullopt;
  const fs::path full = parent->PathOf(name);
  const HANDLE h = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::optional<BY_HANDLE_FILE_INFORMATION> info = InfoOf(h);
  CloseHandle(h);
  if (!info) return std::nullopt;
  return EntryOf(*info);
}

std::optional<File> FolderHandle::CreateNewFile(const fs::path& relative) const {
  fs::path name;
  const FolderHandle parent = Parent(relative, name);
  const fs::path full = parent.PathOf(name);
  const HANDLE h = CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return std::nullopt;
    if (error == ERROR_ACCESS_DENIED && GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return std::nullopt;
    }
    throw EFOpenError(win32::Describe(full, "cannot create", error));
  }
  return File::Adopt(reinterpret_cast<intptr_t>(h), full);
}

File FolderHandle::OpenFile(const fs::path& relative, FileAccess access) const {
  fs::path name;
  const FolderHandle parent = Parent(relative, name);
  const fs::path full = parent.PathOf(name);
  const DWORD rights = access == FileAccess::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  const DWORD disposition = access == FileAccess::kCreate ? OPEN_ALWAYS : OPEN_EXISTING;
  const HANDLE h = CreateFileW(full.c_str(), rights, kShareAll, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw EFOpenError(win32::Describe(full, "cannot open", GetLastError()));
  File file = File::Adopt(reinterpret_cast<intptr_t>(h), full);
  const std::optional<BY_HANDLE_FILE_INFORMATION> info = InfoOf(h);
  if (!info || (info->dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    throw EFOpenError(PathToUtf8(full) + ": not a regular file");
  }
  if (access == FileAccess::kCreate) file.SetSize(0);
  return file;
}

void FolderHandle::Rename(const fs::path& from, const fs::path& to) const {
  fs::path from_name, to_name;
  const FolderHandle from_parent = Parent(from, from_name);
  const FolderHandle to_parent = Parent(to, to_name);
  const fs::path from_full = from_parent.PathOf(from_name);
  if (!MoveFileExW(from_full.c_str(), to_parent.PathOf(to_name).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const std::string what = "cannot rename to " + PathToUtf8(PathOf(to));
    throw EWriteError(win32::Describe(from_full, what.c_str(), GetLastError()));
  }
}

bool FolderHandle::RemoveFile(const fs::path& relative) const {
  fs::path name;
  const std::optional<FolderHandle> parent = ParentIfPresent(relative, name);
  if (!parent) return true;
  const fs::path full = parent->PathOf(name);
  const std::optional<DWORD> attr = win32::AttributesOf(full);
  if (!attr) return true;
  if ((*attr & FILE_ATTRIBUTE_DIRECTORY) && !(*attr & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return DeleteFileIfExists(full);  // a link to a folder goes as a link
}

bool FolderHandle::RemoveFolder(const fs::path& relative) const {
  fs::path name;
  const std::optional<FolderHandle> parent = ParentIfPresent(relative, name);
  if (!parent) return true;
  const fs::path full = parent->PathOf(name);
  const std::optional<DWORD> attr = win32::AttributesOf(full);
  if (!attr) return true;
  if (!(*attr & FILE_ATTRIBUTE_DIRECTORY) || (*attr & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return RemoveDirectoryW(full.c_str());
}

std::vector<fs::path> FolderHandle::List() const {
  std::vector<fs::path> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((path_ / L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring_view name(data.cFileName);
    if (name != L"." && name != L"..") names.emplace_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

}  // namespace vn
