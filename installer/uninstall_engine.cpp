#include "installer/uninstall_engine.h"

#include <set>
#include <system_error>
#include <vector>

#include "installer/installation_files.h"
#include "installer/program_list_entry.h"
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

// A recorded name is a file: a folder of that name is left alone.
void DeleteInstalledFile(const fs::path& path) {
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(path, ec))) return;
  ClearReadOnly(path);
  DeleteFileIfExists(path);
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

  // From here the procedure runs to its end. install.dat goes last, and the launcher just before
  // it: an uninstall that is stopped half-way (killed, power lost) can then be run again.
  const fs::path folder = FolderWithoutDelimiter(install_folder);
  PathJoiner joiner(folder);
  std::vector<fs::path> recorded;
  std::set<fs::path> folders;
  fs::path launcher_file, settings_file;
  for (const DataString& name : settings.InstalledFiles) {
    const fs::path path = InstalledFilePath(joiner, name);
    if (path.empty()) continue;
    recorded.push_back(path);
    AddFoldersOnPath(folder, path, folders);
    if (AnsiSameText(name, DataString("install.exe"))) {
      launcher_file = path;
    } else if (AnsiSameText(name, DataString("install.dat"))) {
      settings_file = path;
    } else {
      DeleteInstalledFile(path);
    }
    PauseForTest("uninstall");
  }
  RemoveStaleTemporaries(recorded);

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

  host.SetText(WizardControl::LabelDel, "レジストリを削除しています...");
  host.ProcessMessages();
  settings.DeleteRegistryKey();
  RemoveProgramListEntry(settings, folder);
  PauseForTest("uninstall-last");
  for (const fs::path& path : {launcher_file, settings_file}) {
    if (!path.empty()) DeleteInstalledFile(path);
  }
  // Only folders the installation made: those on the paths of its files, and the install folder.
  folders.insert(folder);
  RemoveFoldersIfEmpty(folders);
  host.Sleep(1000);

  host.SetText(WizardControl::LabelExit, "アンインストールが完了しました");
  host.ShowPage("exit");
  return EngineResult::kCompleted;
}

}  // namespace vn
