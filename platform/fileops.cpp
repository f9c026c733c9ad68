#include "platform/fileops.h"

#include "platform/folders.h"

namespace vn {

namespace fs = std::filesystem;

bool CopyFileIfChanged(const fs::path& source, const fs::path& target, bool skip_unchanged) {
  if (skip_unchanged) {
    std::error_code ec;
    const int32_t target_age = FileAge(target);
    if (target_age != -1 && FileAge(source) == target_age) {
      const uintmax_t source_size = fs::file_size(source, ec);
      if (!ec) {
        const uintmax_t target_size = fs::file_size(target, ec);
        if (!ec && source_size == target_size) return true;
      }
    }
  }
  return CopyFileOver(source, target);
}

bool DeleteFolderTree(const fs::path& folder) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(folder, ec);
  if (!fs::is_directory(status)) return DeleteFileIfExists(folder);  // a link, never its target
  // A read-only folder does not protect its contents on Windows; here it would.
  ClearReadOnly(folder);
  // Only the entries directly inside: folders come with a trailing separator and are emptied
  // first; a link is never a folder here, so it goes as a file and its target stays.
  std::vector<fs::path> entries;
  ListFolder(folder, 0x3F, true, false, entries, false, true, false, "");
  for (const fs::path& entry : entries) {
    if (entry.filename().empty()) {
      DeleteFolderTree(entry.parent_path());
    } else {
      DeleteFileIfExists(entry);
    }
  }
  fs::remove(folder, ec);
  return !fs::exists(fs::symlink_status(folder, ec));
}

}  // namespace vn
