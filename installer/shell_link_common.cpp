// The parts of the shortcuts that every system shares: the link's properties, its folder, and the
// one-call forms the installer uses. Writing and removing links is in the system's own file.
#include "installer/shell_link.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/system.h"

namespace vn {
namespace fs = std::filesystem;

void TShellLink::SetFileName(const fs::path& value) {
  if (value == FileName) return;
  FileName = value;
  if (Description.empty()) Description = PathToUtf8(value.stem());
  if (WorkDir.empty()) WorkDir = value.parent_path();
}

fs::path TShellLink::LinkFolder() const {
  fs::path folder;
  try {
    folder = GetSpecialFolder(LinkType);
  } catch (const Exception& e) {
    throw EShellLinkError(std::string("Error in GetSpecialFolderLocation: ") + e.what());
  }
  if (!SubDir.empty()) folder /= Utf8ToPath(SafeFileName(SubDir));
  return folder;
}

fs::path TShellLink::MakeLinkFolder() {
  if (FileName.empty()) SetFileName(OwnExecutablePath());
  const fs::path folder = LinkFolder();
  if (!ForceDirectories(folder)) {
    throw EShellLinkError("Error in GetSpecialFolderLocation: " + PathToUtf8(folder) + " cannot be created");
  }
  return folder;
}

fs::path CreateShortcut(const std::string& name, const fs::path& file_name, const std::string& arguments,
                        int32_t icon_index, uint16_t hot_key, TWindowState window_state,
                        const std::string& sub_dir, TShellLinkType link_type, const fs::path& work_dir,
                        const std::string& description) {
  TShellLink link;
  link.Name = name;
  link.FileName = file_name;
  link.Arguments = arguments;
  link.IconIndex = icon_index;
  link.HotKey = hot_key;
  link.WindowState = window_state;
  link.SubDir = sub_dir;
  link.LinkType = link_type;
  link.WorkDir = work_dir;
  link.Description = description;
  return link.CreateLink();
}

void DeleteShortcutFolder(TShellLinkType link_type, const std::string& sub_dir) {
  TShellLink link;
  link.LinkType = link_type;
  link.SubDir = sub_dir;
  link.RemoveFolder();
}

}  // namespace vn
