// Folder listing with the attribute filter the installer and uninstaller use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace vn {

// File attribute bits as the callers test them.
enum : uint16_t {
  kFaReadOnly = 0x01,
  kFaHidden = 0x02,
  kFaSysFile = 0x04,
  kFaVolumeId = 0x08,
  kFaDirectory = 0x10,
  kFaArchive = 0x20
};

// Lists the entries of `folder` ("." and ".." skipped) into `list` as full paths.
//
// An entry is selected when it is a directory and `attr_mask` has kFaDirectory; or when it is not a
// directory and `attr_mask` shares a bit with its attributes, or it has none of the bits 0x3F and
// `include_plain` is set. A selected file is kept only when `extension` is empty or equals the
// file's extension (the part from its last '.', dot included), compared without regard to ASCII case.
// With `dir_delimiter` a directory's entry ends with a trailing separator. `clear_list` empties `list`
// first. With `clear_attributes` every entry loses its read-only and hidden attributes (failures are
// ignored); the filter still sees the attributes as found. With `recurse` every directory is listed after its
// own entry, with the same filter, `dir_delimiter` on and `clear_list` off.
//
// Entries come in the order the file system enumerates them; a directory's entry always comes before
// its contents. A folder that cannot be read contributes nothing.
//
// POSIX attributes: kFaDirectory for a directory; kFaReadOnly when the owner has no write permission;
// kFaHidden when the name starts with '.'; kFaSysFile for devices, pipes and sockets; kFaArchive and
// kFaVolumeId never occur. A symbolic link is an entry of its own: never a directory, never descended
// into, never changed (so a listing never leaves the tree); it carries only kFaHidden by its name.
// Clearing attributes gives the owner write permission; a hidden name cannot be cleared.
// Windows: the system's own attributes; a reparse point (symbolic link, junction) is, as a link here,
// never a directory and never descended into or changed.
void ListFolder(const std::filesystem::path& folder, uint16_t attr_mask, bool include_plain, bool clear_list,
                std::vector<std::filesystem::path>& list, bool recurse, bool dir_delimiter,
                bool clear_attributes, std::string_view extension);

// The selection rule above, shared by the backends: whether an entry with attributes `attr` and name
// `name` (UTF-8) is listed.
bool ListFolderSelects(uint16_t attr, std::string_view name, uint16_t attr_mask, bool include_plain,
                       std::string_view extension);

}  // namespace vn
