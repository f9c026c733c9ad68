#include "launcher/entry_rules.h"

#include <cstdio>

#include "messages/messages.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/temporary_copy.h"
#include "platform/volumes.h"

namespace vn {

namespace fs = std::filesystem;

LaunchRole DecideRole(const TVondInstallSet& settings, bool has_argument) {
  if (settings.Installed) return has_argument ? LaunchRole::kUninstallWizard : LaunchRole::kCopyForUninstall;
  if (has_argument || settings.UpdateMode || settings.InstallType == 2) return LaunchRole::kInstallWizard;
  return LaunchRole::kStartMenu;
}

bool RemovesOwnFile(const TVondInstallSet& settings, LaunchRole role) {
  switch (role) {
    case LaunchRole::kUninstallWizard:
      return true;
    case LaunchRole::kInstallWizard:
      return !settings.SeparateFiles;
    default:
      return false;
  }
}

DataString InstallFolderMutexName(const DataString& folder) {
  DataString name = AddPathDelimiter(AnsiUpperCase(folder));
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsPathDelimiter(name, i)) name.bytes()[i] = '-';
  }
  return name;
}

DataString InstallFolderMutexNameOfPath(const std::string& folder) {
  DataString name;
  if (TryUtf8ToCp932(folder, name)) {
    // '/' (0x2F) is never the second byte of a double-byte character, but walk by characters anyway
    // so the rule reads like the one for '\'.
    for (size_t i = 0; i < name.size(); ++i) {
      if (name[i] == '/' && IsCharStart(name, i)) name.bytes()[i] = '\\';
    }
    return InstallFolderMutexName(name);
  }
  std::string bytes = folder;
  for (char& c : bytes) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '/' || c == '\\') c = '-';
  }
  if (bytes.empty() || bytes.back() != '-') bytes += '-';
  return DataString(std::move(bytes));
}

std::string CdDriveOf(const fs::path& exe_folder) {
  const fs::path folder = FolderWithoutDelimiter(exe_folder.lexically_normal());
  if (!IsMountRoot(folder)) return std::string();
  // A Windows drive is recorded by its letter and colon ("D:"); a mount point by its path.
  if (folder.has_root_name() && !folder.has_relative_path()) return PathToUtf8(folder.root_name());
  return PathToUtf8(folder);
}

fs::path MakeTemporaryCopy(const fs::path& exe, const fs::path& temp_folder) {
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // The first candidate carries no number; the k-th failure moves on to number k.
    const fs::path candidate = temp_folder / TemporaryCopyName(attempt - 1);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(candidate, ec))) ClearReadOnly(candidate);
    if (CopyFileOver(exe, candidate)) return candidate;
  }
  return {};
}

std::string LaunchFailureMessage(int shell_result) {
  return Tr(Msg::kLaunchFailed, {std::to_string(shell_result)});
}

}  // namespace vn
