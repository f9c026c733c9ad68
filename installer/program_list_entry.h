// The installation's entry in the system's list of installed programs (Windows' "Programs and
// Features"): written when an install is recorded, removed by the uninstall of the folder it names.
// The entry lies apart from the title's own registry key, under a key name of its own.
#pragma once

#include <filesystem>
#include <string>

#include "platform/text.h"

namespace vn {

class TVondInstallSet;

// The entry's key name: "vnsetup_" + the title, '\' made '_'.
std::string ProgramListKey(const TVondInstallSet& settings);

// Writes the entry of the installation in `folder`, whose uninstaller is the file `uninstaller` there;
// true when the entry is new (an earlier one of the title is written over). Nothing happens where the
// system keeps no such list (false).
bool AddProgramListEntry(const TVondInstallSet& settings, const std::filesystem::path& folder,
                         const DataString& uninstaller);

// Removes the title's entry when it names `folder`: an entry naming another copy of the title stays.
void RemoveProgramListEntry(const TVondInstallSet& settings, const std::filesystem::path& folder);

}  // namespace vn
