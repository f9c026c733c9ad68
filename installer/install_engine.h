// The install procedure the wizard runs on entering its page "copy": loose files from each disc,
// the data file built from the discs' archives and checked, then the installation recorded
// (install.dat marked as installed, program-menu entries, the "InstallPath" value, the readme).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "installer/wizard_host.h"
#include "platform/text.h"

namespace vn {

class DiscFiles;
class TVondInstallSet;
class TVrFileCollection;

struct InstallSource {
  // The disc the run was started from: its folder (a mounted medium or a copy of one) or its disc
  // image, whose files are read in place.
  std::filesystem::path source_folder;
  // The run's one source archive; reopened on each disc's game.dat.
  TVrFileCollection* archive = nullptr;
  // Where the work folder of an executable update goes (TemporaryFolder() in a real run).
  std::filesystem::path temp_folder;
  // The launcher that becomes install.exe in the install folder when the disc did not bring one
  // (the running executable in a real run -- on Linux "/proc/self/exe", which still reads after the
  // temporary copy removed its own file; empty: none).
  std::filesystem::path launcher;
  // The shell's "open" of a document with its working folder; ShellOpen when not set.
  std::function<int(const std::filesystem::path& file, const std::filesystem::path& working_folder)>
      shell_open;
};

enum class EngineResult {
  kCompleted,  // the wizard was moved on to "exit"
  kAborted,    // the user confirmed an abort (modal result mrAbort set)
  kClosed,     // a folder could not be created; modal result mrOK set, the window closes
};

// Runs the whole procedure. Errors of the archive and file operations propagate (after the work
// folder was removed) for the window to show; what was written stays.
EngineResult RunInstall(WizardHost& host, TVondInstallSet& settings, const InstallSource& source);

// The component a disc file belongs to, by its extension (dot included): 1 sound, 2 movie, 0
// program and data. A substring test on the lists, so ".mp" counts as sound and ".mpe" as movie.
int FileGroup(const DataString& extension);

}  // namespace vn
