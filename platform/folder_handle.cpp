#include "platform/folder_handle.h"

#include "platform/error.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

std::vector<fs::path> FolderHandleComponents(const fs::path& relative, bool allow_empty) {
  if (relative.has_root_name() || relative.has_root_directory()) {
    throw EPathError(PathToUtf8(relative) + ": not a path inside the folder");
  }
  std::vector<fs::path> parts;
  for (const fs::path& part : relative) {
    if (part.empty() || part == ".") continue;  // a trailing delimiter, this folder
    if (part == "..") throw EPathError(PathToUtf8(relative) + ": not a path inside the folder");
    parts.push_back(part);
  }
  if (parts.empty() && !allow_empty) throw EPathError("an empty name is no path inside the folder");
  return parts;
}

FolderHandle::~FolderHandle() {
  Close();
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

FolderHandle FolderHandle::Parent(const fs::path& relative, fs::path& name) const {
  std::vector<fs::path> parts = FolderHandleComponents(relative, false);
  name = parts.back();
  parts.pop_back();
  fs::path folder;
  for (const fs::path& part : parts) folder /= part;
  return OpenFolder(folder);
}

std::optional<FolderHandle> FolderHandle::ParentIfPresent(const fs::path& relative, fs::path& name) const {
  try {
    return Parent(relative, name);
  } catch (const EPathError&) {
    throw;
  } catch (const EFOpenError&) {
    return std::nullopt;
  }
}

}  // namespace vn
