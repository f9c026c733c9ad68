// Special folders: where shortcuts, programs, save data and temporary files go.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/text.h"

namespace vn {

// The shell's special-folder numbers the system asks for.
enum SpecialFolderId : int {
  kCsidlDesktop = 0,
  kCsidlPrograms = 2,
  kCsidlPersonal = 5,
  kCsidlStartup = 7,
  kCsidlStartMenu = 11,
  kCsidlDesktopDirectory = 16,
  kCsidlCommonStartMenu = 22,
  kCsidlCommonPrograms = 23,
  kCsidlCommonStartup = 24,
  kCsidlCommonDesktopDirectory = 25,
  kCsidlAppData = 26,
  kCsidlLocalAppData = 28,
  kCsidlProgramFiles = 38,
};

// The folder of a special-folder number (it need not exist yet). Raises vn::Exception for a number
// that has no folder here. The Program Files folder (38) is never an error.
//
// POSIX: 0/16 the desktop (XDG_DESKTOP_DIR, else ~/Desktop); 2/11 $XDG_DATA_HOME/applications, where
// desktop entries go; 5 the home folder (XDG_DOCUMENTS_DIR when set); 7 $XDG_CONFIG_HOME/autostart;
// 26/28 $XDG_DATA_HOME; 38 ~/Games (/opt for root). The common (all users) numbers 22-25 are the
// user's own, since installs are per user -- for root 22/23 are /usr/local/share/applications and 24
// /etc/xdg/autostart.
// Windows: the shell's folder (SHGetFolderPathW); 38 is the registry's ProgramFilesDir.
std::filesystem::path GetSpecialFolder(int id);

// The user's home folder ($HOME, else the password database; Windows: the user's profile).
std::filesystem::path HomeFolder();
// The folder of the user's settings files (it need not exist yet). POSIX: $XDG_CONFIG_HOME when it
// is an absolute path, else ~/.config. Windows: the roaming application data folder.
std::filesystem::path UserConfigFolder();
// The folder InstallType 2 installs into, standing for the Windows folder.
// POSIX: $XDG_DATA_HOME/vnsetup/windows. Windows: the Windows folder.
std::filesystem::path WindowsFolder();
// The root a default install folder without tag lies on, standing for the system drive.
// POSIX: the home folder. Windows: the root of the system drive ("C:\").
std::filesystem::path GetSystemDrive();
// The temporary folder: POSIX $TMPDIR when it is an absolute path, else /tmp; Windows GetTempPathW.
std::filesystem::path TemporaryFolder();

// Appends to `list` every existing save folder of the game called `name` (code page 932) for every
// user of the machine, and returns the number of entries `list` then holds. In `name` each of
// \ / : , ; * ? " < > | becomes '_'. An empty name, or one that is "." or ".." after cleaning or
// has no native form, finds nothing (0, list untouched).
// POSIX: <home>/.local/share/<name> for the current user ($XDG_DATA_HOME/<name> too) and every local
// user (uid >= 1000) whose home exists. Windows: "Local AppData" of every profile in the registry's
// ProfileList (the user's own setting, else the default one) when it lies inside the profile.
int32_t UserSaveFolders(const DataString& name, std::vector<std::filesystem::path>& list);

// `name` with the 11 characters that cannot stand in a Windows file name replaced by '_'.
DataString CleanSaveFolderName(const DataString& name);

}  // namespace vn
