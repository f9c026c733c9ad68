// The system's list of installed programs: on Windows the current user's
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall\<key>, which "Programs and
// Features" (and Wine's `uninstaller`) show and remove programs from. Linux has no such list: the
// desktop menu's uninstall entry is the way there, and these calls do nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vn {

struct ProgramListEntry {
  std::string display_name;     // UTF-8
  std::string display_version;  // UTF-8; empty: not known, no value written
  std::string publisher;        // UTF-8; empty: no value written
  std::filesystem::path install_location;
  // Run without arguments it uninstalls with its windows; with "--unattended", without a question.
  std::filesystem::path uninstaller;
  std::filesystem::path icon;
  int64_t estimated_bytes = 0;  // shown in KiB, rounded up
};

// True where the system keeps a list of installed programs.
bool HasProgramList();

// Writes the entry `key` (UTF-8, no '\'), over one of that name; true when the key did not exist
// before. A failure raises vn::Exception; a key made by the failed call is removed again.
bool AddToProgramList(const std::string& key, const ProgramListEntry& entry);

// The install folder the entry `key` names (its InstallLocation); none without such an entry.
std::optional<std::filesystem::path> ProgramListLocation(const std::string& key);

// Deletes the entry `key` with its values; false when there was none.
bool RemoveFromProgramList(const std::string& key);

}  // namespace vn
