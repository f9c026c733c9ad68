// Shortcuts in the program menu. On Linux a link is a freedesktop desktop entry (".desktop") and a
// program group is a folder of them under the applications folder, shown as a submenu named after
// the title through a merged menu file and a directory entry. On Windows a link is a shell link
// (".lnk") in the special folder, and a program group a folder of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace vn {

// The shell's special folders a link may go into (the value is the special-folder number).
enum TShellLinkType : uint8_t {
  lnkDesktop = 0,
  lnkPrograms = 2,
  lnkStartMenu = 11,
  lnkDesktopDirectory = 16,
  lnkCommonStartMenu = 22,
  lnkCommonPrograms = 23,
  lnkCommonDesktopDirectory = 25,
};

// Where the installer's program group goes: the user's own menu, as installs are per user and
// never need the all-users folders.
constexpr TShellLinkType kProgramGroupType = lnkPrograms;

enum class TWindowState : uint8_t { Normal, Minimized, Maximized };

class EShellLinkError : public Exception {
 public:
  using Exception::Exception;
};

class TShellLink {
 public:
  // Texts are UTF-8.
  std::string Arguments;  // appended to the command line as it stands
  std::string Description;
  std::filesystem::path FileName;  // the target; set through SetFileName to fill the defaults
  int32_t IconIndex = 0;           // kept for the record; desktop entries name an icon file instead
  uint16_t HotKey = 0;             // no desktop-entry counterpart; ignored
  TShellLinkType LinkType = lnkDesktop;
  TWindowState WindowState = TWindowState::Normal;  // no desktop-entry counterpart; ignored
  std::filesystem::path WorkDir;
  std::string SubDir;  // the program group; empty: the special folder itself
  std::string Name;    // file name of the link without extension

  // Stores the target; an empty Description becomes its name without folder and extension, an
  // empty WorkDir its folder.
  void SetFileName(const std::filesystem::path& value);
  // Writes the desktop entry (and, for a program group, its menu files); returns its path.
  std::filesystem::path CreateLink();
  // Deletes the program group with everything in it and its menu files; nothing without SubDir.
  void RemoveFolder();
  // The folder links go into: the special folder, plus SubDir made a safe folder name.
  std::filesystem::path LinkFolder() const;
  // What CreateLink does first on every system: the target defaults to this program, and the link
  // folder is made. Returns the folder; EShellLinkError when it cannot be made.
  std::filesystem::path MakeLinkFolder();
};

// The Exec line of a desktop entry that starts `target` with `arguments`: a Linux program (an ELF
// file or a "#!" script we may execute) directly, a Windows program through Wine with the Japanese
// locale (`env LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 wine FILE ARGS`), anything else (documents)
// through xdg-open. Quoted and escaped as the desktop-entry rules require. (Linux only.)
std::string DesktopExecLine(const std::filesystem::path& target, std::string_view arguments);

// A text as a single folder or file name: '/' and control characters become '_', and the names
// "", "." and ".." become "_". On Windows \ : * ? " < > | and a trailing dot or blank become '_' too.
std::string SafeFileName(std::string_view name);

// Returns the link file written.
std::filesystem::path CreateShortcut(const std::string& name, const std::filesystem::path& file_name,
                                     const std::string& arguments, int32_t icon_index, uint16_t hot_key,
                                     TWindowState window_state, const std::string& sub_dir,
                                     TShellLinkType link_type, const std::filesystem::path& work_dir,
                                     const std::string& description);
void DeleteShortcutFolder(TShellLinkType link_type, const std::string& sub_dir);

}  // namespace vn
