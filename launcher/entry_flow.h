// The whole life of a vnsetup run: probe the executable for an archive, load the settings, test the
// two mutexes, decide the role (start menu, installer, uninstaller, temporary copy), run it through
// the windows, and start the one program the run may hand over to.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/launcher_ui.h"

namespace vn {

class RegistryStore;

struct EntryEnvironment {
  std::filesystem::path exe;      // the running executable
  std::vector<std::string> args;  // command-line arguments after the program name (UTF-8)
  std::filesystem::path temp_folder;
  // The shell's "open" in a working folder (empty: the shell's default); ShellOpen when not set.
  std::function<int(const std::filesystem::path& file, std::string_view params,
                    const std::filesystem::path& working_folder)>
      shell_open;
  // The store the settings' registry operations use; the process-wide one when null.
  RegistryStore* registry = nullptr;
  // An unattended run: no start menu and no temporary copy. The installer (not installed) or the
  // uninstaller (installed) runs at once from where it is; no file of this executable is removed.
  bool in_place = false;
  // `vnsetup --disc DIR`: the run acts as the launcher of the disc in DIR, as that disc's own
  // launcher started there without argument would: settings, archive, "CDDrive", the start menu's
  // setup programs and the temporary copy's argument come from DIR, and the executable's own archive
  // is not looked at. The role follows the usual table with DIR counted as no argument, so the
  // temporary copy (started with an argument) keeps its role. Empty: the executable's own folder.
  std::filesystem::path disc_folder;
  // Passed (quoted) to the temporary copy instead of the disc folder when not empty: the disc image
  // the folder was read from, which the copy opens again.
  std::string disc_argument;
};

// The folder whose disc this run is the launcher of: disc_folder, else the executable's folder.
std::filesystem::path LauncherFolder(const EntryEnvironment& env);

// The environment of this process: its executable, the temporary folder, the real shell.
EntryEnvironment ProcessEnvironment(int argc, char** argv);

// Runs the entry flow; returns the process's exit code (0). Errors of the archive and settings code
// are not caught: they leave after the steps taken so far were undone (archive freed, mutex
// released), for the caller's default error report.
int RunEntryFlow(const EntryEnvironment& env, LauncherUi& ui);

}  // namespace vn
