#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "platform/folders.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Attributes of one entry, from its own status (links are not followed).
uint16_t AttributesOf(const char* name, const struct stat& st) {
  uint16_t attr = 0;
  if (name[0] == '.') attr |= kFaHidden;
  if (S_ISLNK(st.st_mode)) return attr;
  if (S_ISDIR(st.st_mode)) attr |= kFaDirectory;
  if (!(st.st_mode & S_IWUSR)) attr |= kFaReadOnly;
  if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) attr |= kFaSysFile;
  return attr;
}

void ListInto(const fs::path& folder, uint16_t attr_mask, bool include_plain, std::vector<fs::path>& list,
              bool recurse, bool dir_delimiter, bool clear_attributes, std::string_view extension) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return;
  const int dir_fd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat st;
    if (::fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    const uint16_t attr = AttributesOf(name, st);
    const bool is_dir = (attr & kFaDirectory) != 0;
    if (clear_attributes && (attr & kFaReadOnly)) ::fchmodat(dir_fd, name, (st.st_mode & 07777) | S_IWUSR, 0);

    fs::path full = folder / name;
    if (is_dir && dir_delimiter) full /= "";
    if (ListFolderSelects(attr, name, attr_mask, include_plain, extension)) list.push_back(full);
    if (recurse && is_dir) {
      ListInto(folder / name, attr_mask, include_plain, list, true, true, clear_attributes, extension);
    }
  }
}

}  // namespace

void ListFolder(const fs::path& folder, uint16_t attr_mask, bool include_plain, bool clear_list,
                std::vector<fs::path>& list, bool recurse, bool dir_delimiter, bool clear_attributes,
                std::string_view extension) {
  if (clear_list) list.clear();
  ListInto(folder, attr_mask, include_plain, list, recurse, dir_delimiter, clear_attributes, extension);
}

}  // namespace vn
