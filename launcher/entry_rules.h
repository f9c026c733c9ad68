// The decisions of the launcher's start-up that need no window and no archive: which role a run
// plays, the name of the install-folder mutex, the "CDDrive" value, and the temporary copy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/text.h"
#include "settings/settings.h"

namespace vn {

// What a run does once the settings are loaded and both mutex tests have passed.
enum class LaunchRole {
  kCopyForUninstall,  // installed, no argument: start a temporary copy with the quoted folder, end
  kUninstallWizard,   // installed, with argument (this is the copy): remove own file; wizard
  kInstallWizard,     // not installed, with argument or update / Windows-folder install: wizard
  kStartMenu,         // not installed, plain start: the start menu
};

LaunchRole DecideRole(const TVondInstallSet& settings, bool has_argument);

// Whether the run schedules the removal of its own executable before the wizard: always for the
// uninstaller's copy, for the installer unless the product keeps its files apart (SeparateFiles).
bool RemovesOwnFile(const TVondInstallSet& settings, LaunchRole role);

// The mutex a running game holds, named after its install folder: upper-cased (code page aware),
// a delimiter appended unless one ends it, every single-byte '\' replaced by '-'; a '\' that is the
// second byte of a double-byte character stays. "C:\Games\Title" gives "C:-GAMES-TITLE-".
DataString InstallFolderMutexName(const DataString& folder);

// The same for an "InstallPath" value as the registry store keeps it: native text (UTF-8 on POSIX).
// The text is converted to code page 932 and every '/' counts as a delimiter like '\', so
// "/home/u/Games/Title" gives "-HOME-U-GAMES-TITLE-". Text without a code page 932 form keeps its
// UTF-8 bytes (whose multi-byte characters never contain '/' or '\'); only ASCII letters change case.
// A game finds the lock file it must hold with MutexFilePath(InstallFolderMutexNameOfPath(folder)).
DataString InstallFolderMutexNameOfPath(const std::string& folder);

// The "CDDrive" value for a launcher in `exe_folder`: on Windows the drive ("D:") when the folder
// is a drive root, else empty. Here: the folder (UTF-8, no trailing '/' except for "/" itself)
// when it is the root of a mounted file system, as a disc's mount point is, else empty.
std::string CdDriveOf(const std::filesystem::path& exe_folder);

// Copies `exe` into `temp_folder` as "~vinstall.exe", or on failure as "~vinstall0.exe" ..
// "~vinstall98.exe" (100 attempts); a read-only leftover is made writable before each attempt.
// Returns the copy's path, empty when every attempt failed.
std::filesystem::path MakeTemporaryCopy(const std::filesystem::path& exe,
                                        const std::filesystem::path& temp_folder);

// The warning shown when the program to start at the end could not be started.
std::string LaunchFailureMessage(int shell_result);

}  // namespace vn
