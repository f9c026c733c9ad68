#include "installer/uninstall_engine.h"

#include <system_error>
#include <vector>

#include "installer/shell_link.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "settings/settings.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

const char* const kSaveFile = "save.dat";
const char* const kGameIni = "game.ini";

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::symlink_status(path, ec));
}

// The recorded file as a path inside the install folder, or empty when it must not be touched: a
// name that would leave the folder, or one whose folders pass through a symbolic link (which could
// lead anywhere). The file itself may be a link: deleting it removes the link only.
fs::path InstalledFilePath(PathJoiner& joiner, const DataString& name) {
  const fs::path& install_folder = joiner.Base();
  fs::path path;
  try {
    path = joiner.Join(name);
  } catch (const Exception&) {
    return {};
  }
  fs::path walk = install_folder;
  const fs::path rel = path.lexically_relative(install_folder);
  if (rel.empty() || *rel.begin() == "..") return {};
  std::error_code ec;
  for (auto it = rel.begin(); it != rel.end() && std::next(it) != rel.end(); ++it) {
    walk /= *it;
    if (fs::is_symlink(fs::symlink_status(walk, ec))) return {};
  }
  return path;
}

std::vector<fs::path> SaveFolders(const TVondInstallSet& settings) {
  std::vector<fs::path> folders;
  UserSaveFolders(settings.Title, folders);
  return folders;
}

}  // namespace

bool SaveDataFound(const TVondInstallSet& settings, const fs::path& install_folder) {
  if (IsFile(install_folder / kSaveFile)) return true;
  for (const fs::path& folder : SaveFolders(settings)) {
    if (IsFile(folder / kSaveFile)) return true;
  }
  return false;
}

void RemoveEmptyFolders(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(folder, ec))) return;
  std::vector<fs::path> subfolders;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (fs::is_directory(it->symlink_status(ec))) subfolders.push_back(it->path());
  }
  for (const fs::path& sub : subfolders) RemoveEmptyFolders(sub);
  if (fs::is_empty(folder, ec) && !ec) fs::remove(folder, ec);
}

EngineResult RunUninstall(WizardHost& host, const TVondInstallSet& settings, const fs::path& install_folder) {
  const std::string title = Cp932ToUtf8Lossy(settings.Title);
  host.SetText(WizardControl::LabelDelTitle, title + " を削除しています");
  host.SetText(WizardControl::LabelDel, "ショートカットを削除しています...");
  host.ProcessMessages();
  if (host.ModalResult() == mrAbort) return EngineResult::kAborted;

  DeleteShortcutFolder(kProgramGroupType, title);
  host.Sleep(3000);
  host.BringToFront();

  host.SetText(WizardControl::LabelDel, "ファイルを削除しています...");
  host.ProcessMessages();
  if (host.ModalResult() == mrAbort) return EngineResult::kAborted;

  // From here the procedure runs to its end.
  PathJoiner joiner(install_folder);
  for (const DataString& name : settings.InstalledFiles) {
    const fs::path path = InstalledFilePath(joiner, name);
    if (path.empty()) continue;
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec))) continue;  // a recorded name is a file
    ClearReadOnly(path);
    DeleteFileIfExists(path);
  }

  if (host.Choices().delete_save_data) {
    if (IsFile(install_folder / kSaveFile)) DeleteFileIfExists(install_folder / kSaveFile);
    for (const fs::path& folder : SaveFolders(settings)) {
      if (!IsFile(folder / kSaveFile)) continue;
      DeleteFileIfExists(folder / kSaveFile);
      std::error_code ec;
      fs::remove(folder, ec);  // only when nothing else is in it
    }
  }
  if (IsFile(install_folder / kGameIni)) DeleteFileIfExists(install_folder / kGameIni);
  RemoveEmptyFolders(install_folder);

  host.SetText(WizardControl::LabelDel, "レジストリを削除しています...");
  host.ProcessMessages();
  settings.DeleteRegistryKey();
  host.Sleep(1000);

  host.SetText(WizardControl::LabelExit, "アンインストールが完了しました");
  host.ShowPage("exit");
  return EngineResult::kCompleted;
}

}  // namespace vn
