// The uninstall procedure the wizard runs on entering its page "delete": program-menu entries,
// every recorded file of the installation, save data on request, empty folders, the registry key.
#pragma once

#include <filesystem>

#include "installer/install_engine.h"
#include "installer/wizard_host.h"

namespace vn {

class TVondInstallSet;

// Whether save data exists for the installation (CheckDelSave is shown exactly then): "save.dat"
// in the install folder or in one of the title's per-user save folders.
bool SaveDataFound(const TVondInstallSet& settings, const std::filesystem::path& install_folder);

// Runs the procedure on the installation in `install_folder` (the folder of its install.dat).
// Nothing outside that folder is deleted, save folders excepted: recorded names that would leave
// it, or that lead through a symbolic link, are skipped, and the only folders removed are empty
// ones on the paths of recorded files and the install folder itself. install.dat is deleted last,
// so a stopped uninstall can be run again. Returns kAborted when the user aborted before files
// were deleted.
EngineResult RunUninstall(WizardHost& host, const TVondInstallSet& settings,
                          const std::filesystem::path& install_folder);

}  // namespace vn
