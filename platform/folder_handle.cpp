#include "platform/folder_handle.h"

#include "platform/error.h"
#include "platform/file.h"
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

void RemoveStaleTemporariesIn(const FolderHandle& folder, const std::set<std::string>& bases) {
  for (const fs::path& name : folder.List()) {
    const std::optional<std::string> base = TemporarySiblingBase(PathToUtf8(name));
    if (!base || !bases.count(*base)) continue;
    const std::optional<FolderEntry> entry = folder.Stat(name);
    if (entry && entry->kind == FolderEntry::Kind::kFile) folder.RemoveFile(name);
  }
}

void RemoveStaleTemporariesOf(const fs::path& path) {
  try {
    RemoveStaleTemporariesIn(FolderHandle::Open(path.has_parent_path() ? path.parent_path() : fs::path(".")),
                             {PathToUtf8(path.filename())});
  } catch (const Exception&) {
    // a folder that cannot be opened or listed holds nothing to remove
  }
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

bool FolderHandle::ReplaceFile(const fs::path& relative, const std::function<bool(File&)>& fill) const {
  fs::path name;
  const FolderHandle parent = Parent(relative, name);
  const fs::path temporary = TemporarySibling(name);
  std::optional<File> file = parent.CreateNewFile(temporary);
  if (!file) throw EFOpenError(PathToUtf8(parent.PathOf(temporary)) + ": exists already");
  bool done = false;
  try {
    done = fill(*file);
    file->Close();
    if (done) parent.Rename(temporary, name);
  } catch (...) {
    file.reset();
    parent.RemoveFile(temporary);
    throw;
  }
  if (!done) parent.RemoveFile(temporary);
  return done;
}

void FolderHandle::WriteFile(const fs::path& relative, std::string_view content) const {
  ReplaceFile(relative, [&](File& file) {
    file.Write(content.data(), static_cast<int64_t>(content.size()));
    file.Sync();
    return true;
  });
}

std::string AnchoredPath::Readable(std::string message) const {
  const std::string anchor = PathToUtf8(path.parent_path()) + "/", plain = PathToUtf8(folder.Path()) + "/";
  if (anchor == plain) return message;
  for (size_t at = message.find(anchor); at != std::string::npos; at = message.find(anchor, at)) {
    message.replace(at, anchor.size(), plain);
    at += plain.size();
  }
  return message;
}

}  // namespace vn
