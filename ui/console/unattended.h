// The unattended mode of vnsetup: the entry flow, the wizard's page flow and the install and
// uninstall engines run without a window. The pages are answered from options, progress goes to
// stderr, and dialogs get fixed answers:
//   - a warning with OK only: OK (printed);
//   - "insert disc N": OK while a disc folder remains to try (beside the current disc, then each
//     --disc folder); when none is left the run stops (exit 2, the prompt's text). Before copying,
//     every disc to install is looked for in those places, so a missing one stops the run early;
//   - a file that cannot be copied: Abort (exit 1) -- an installation lacking a file is no success;
//   - "abort the installation?": No, unless the run itself is stopping;
//   - any other question (such as "too little free space, go on?"): not answered; the run stops
//     before anything is copied (exit 2, the question's text).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vn {

struct EntryEnvironment;

enum UnattendedExit : int { kUnattendedDone = 0, kUnattendedFailed = 1, kUnattendedUsage = 2 };

struct UnattendedOptions {
  std::filesystem::path folder;  // the install folder; empty: the wizard's proposal
  // Components by name ("data", "sound", "movie"); the program files are always installed.
  bool data = true, sound = true, movie = true;
  bool this_disc_only = false;
  bool accept_license = false;
  std::vector<std::filesystem::path> disc_folders;  // offered in turn when a next disc is not found
  bool delete_save_data = false;
  // Install into a folder holding files of the same names as the game's: they are replaced (kept
  // aside until the install has finished, put back when it does not).
  bool replace_existing = false;
};

// Runs the entry flow on `env` (whose in_place is set here) with the windows replaced by the
// answers above. Returns the exit code: 0 done, 1 aborted or failed, 2 a question the options do not
// answer (the licence without --accept-license among them) or a destination the wizard refused.
// On a completed install the install folder is printed on stdout.
int RunUnattended(EntryEnvironment env, const UnattendedOptions& options);

}  // namespace vn
