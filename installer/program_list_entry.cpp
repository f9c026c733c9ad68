#include "installer/program_list_entry.h"

#include <system_error>

#include "installer/installation_files.h"
#include "platform/paths.h"
#include "platform/program_list.h"
#include "settings/settings.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

// The maker: the first component of a RegistryKey of two or more ("\Maker\Game"), by the
// convention of HKEY_CURRENT_USER\Software; empty otherwise.
std::string Publisher(const DataString& registry_key) {
  DataString key = registry_key;
  if (!key.empty() && IsPathDelimiter(key, 0)) key = DataString(key.bytes().substr(1));
  const size_t delimiter = FirstDelimiter(key);
  if (delimiter == 0 || delimiter == std::string::npos || delimiter + 1 >= key.size()) return "";
  return Cp932ToUtf8Lossy(DataString(key.bytes().substr(0, delimiter)));
}

int64_t InstalledBytes(const TVondInstallSet& settings, const fs::path& folder) {
  PathJoiner joiner(FolderWithoutDelimiter(folder));
  int64_t total = 0;
  for (const DataString& name : settings.InstalledFiles) {
    const fs::path file = InstalledFilePath(joiner, name);
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(fs::symlink_status(file, ec))) continue;
    const auto size = fs::file_size(file, ec);
    if (!ec) total += static_cast<int64_t>(size);
  }
  return total;
}

// Whether two spellings name one folder: by identity while both exist, else by their text without
// regard to letter case, as the file system of the list's platform compares names.
bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec) && !ec) return true;
  const fs::path x = FolderWithoutDelimiter(a).lexically_normal(),
                 y = FolderWithoutDelimiter(b).lexically_normal();
  return AsciiLowerCase(PathToUtf8(x)) == AsciiLowerCase(PathToUtf8(y));
}

}  // namespace

std::string ProgramListKey(const TVondInstallSet& settings) {
  std::string key = "vnsetup_" + Cp932ToUtf8Lossy(settings.Title);
  for (char& c : key) {
    if (c == '\\') c = '_';
  }
  return key;
}

bool AddProgramListEntry(const TVondInstallSet& settings, const fs::path& folder,
                         const DataString& uninstaller) {
  if (!HasProgramList()) return false;
  const fs::path install_folder = FolderWithoutDelimiter(folder);
  ProgramListEntry entry;
  entry.display_name = Cp932ToUtf8Lossy(settings.Title);
  entry.publisher = Publisher(settings.RegistryKey);
  entry.install_location = install_folder;
  entry.uninstaller = JoinDataPath(install_folder, uninstaller);
  entry.icon = settings.ExeName.empty() ? entry.uninstaller : JoinDataPath(install_folder, settings.ExeName);
  entry.estimated_bytes = InstalledBytes(settings, install_folder);
  return AddToProgramList(ProgramListKey(settings), entry);
}

void RemoveProgramListEntry(const TVondInstallSet& settings, const fs::path& folder) {
  if (!HasProgramList()) return;
  const std::string key = ProgramListKey(settings);
  const std::optional<fs::path> named = ProgramListLocation(key);
  if (named && SameFolder(*named, folder)) RemoveFromProgramList(key);
}

}  // namespace vn
