#include <windows.h>

#include <memory>

#include "platform/folders.h"
#include "platform/win32/wide.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// The attribute bits the callers test (read-only, hidden, system, volume, directory, archive) are the
// low six bits of the system's own attributes.
constexpr DWORD kCallerBits = 0x3F;
constexpr DWORD kClearable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
// What SetFileAttributesW accepts; the rest (directory, reparse point, compressed...) it cannot set.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                            FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

struct FindCloser {
  void operator()(HANDLE h) const { FindClose(h); }
};

// The name as UTF-8 for the selection rule; a name without one matches no extension.
std::string NameForSelection(std::wstring_view name) {
  try {
    return win32::WideToUtf8(name);
  } catch (const std::exception&) {
    return std::string();
  }
}

void ListInto(const fs::path& folder, uint16_t attr_mask, bool include_plain, std::vector<fs::path>& list,
              bool recurse, bool dir_delimiter, bool clear_attributes, std::string_view extension) {
  WIN32_FIND_DATAW found;
  const fs::path pattern = folder / L"*";
  const HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return;
  std::unique_ptr<void, FindCloser> closer(h);
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD system_attr = found.dwFileAttributes;
    // A link to a folder (symbolic link or junction) is an entry of its own, never descended into,
    // so a listing -- and a deletion built on it -- never leaves the tree.
    const bool is_link = (system_attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    uint16_t attr = static_cast<uint16_t>(system_attr & kCallerBits);
    if (is_link) attr &= static_cast<uint16_t>(~kFaDirectory);
    const bool is_dir = (attr & kFaDirectory) != 0;

    fs::path full = folder / name;
    if (clear_attributes && !is_link && (system_attr & kClearable)) {
      const DWORD wanted = system_attr & kSettable & ~kClearable;
      SetFileAttributesW(full.c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL);
    }
    const fs::path entry = full;
    if (is_dir && dir_delimiter) full /= L"";
    if (ListFolderSelects(attr, NameForSelection(name), attr_mask, include_plain, extension)) {
      list.push_back(full);
    }
    if (recurse && is_dir)
      ListInto(entry, attr_mask, include_plain, list, true, true, clear_attributes, extension);
  } while (FindNextFileW(h, &found));
}

}  // namespace

void ListFolder(const fs::path& folder, uint16_t attr_mask, bool include_plain, bool clear_list,
                std::vector<fs::path>& list, bool recurse, bool dir_delimiter, bool clear_attributes,
                std::string_view extension) {
  if (clear_list) list.clear();
  ListInto(folder, attr_mask, include_plain, list, recurse, dir_delimiter, clear_attributes, extension);
}

}  // namespace vn
