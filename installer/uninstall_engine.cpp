#include "installer/uninstall_engine.h"

#include <algorithm>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

#include "installer/install_journal.h"
#include "installer/installation_files.h"
#include "installer/program_list_entry.h"
#include "installer/shell_link.h"
#include "messages/messages.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/system.h"
#include "platform/temporary_copy.h"
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

namespace {

// Whether the installation in `folder` is the one the title's registry key names: only that one
// owns the key and the program-menu entries. A key naming no folder, or one that is gone, is
// nobody else's.
bool IsRegisteredCopy(const TVondInstallSet& settings, const FolderHandle& folder) {
  const std::string registered = settings.ReadValue("InstallPath", "");
  if (registered.empty()) return true;
  const std::optional<FileIdentity> there = IdentityOf(FolderWithoutDelimiter(Utf8ToPath(registered)));
  return !there || *there == folder.Identity();
}

// A recorded name as the record's relative path would be written, for matching the names of
// install.dat against the record.
std::string MatchKey(const DataString& name) {
  return AnsiLowerCase(name).bytes();
}
std::string MatchKey(const fs::path& relative) {
  std::string text = PathToUtf8(relative);
  for (char& c : text) c = c == '/' ? '\\' : c;
  DataString name;
  return TryUtf8ToCp932(text, name) ? MatchKey(name) : std::string();
}

// Run in place, the uninstaller is itself a file of the installation, which Windows does not delete
// while it runs: when it is still there after its deletion, it leaves the install folder for the
// temporary folder, so that the folder can go.
void MoveOutIfRunning(const fs::path& file) {
  const std::optional<FileIdentity> there = IdentityOf(file);
  if (there && there == IdentityOf(OwnExecutablePath())) MoveRunningProgramToTemporaryFolder(file);
}

}  // namespace

EngineResult RunUninstall(WizardHost& host, const TVondInstallSet& settings, const fs::path& install_folder) {
  const std::string title = Cp932ToUtf8Lossy(settings.Title);
  const fs::path folder = FolderWithoutDelimiter(install_folder);
  const InstanceMutex lock = LockFolderForRun(folder);
  std::optional<FolderHandle> handle(FolderHandle::Open(folder));
  // A reinstall that was stopped: what it replaced comes back, what it wrote goes.
  InstallJournal::RollBackLeftOver(*handle);
  std::optional<InstallRecord> record;
  try {
    record = InstallRecord::Load(*handle);
  } catch (const Exception&) {
    // unreadable: the names in install.dat serve, as for an installation of an earlier version
  }
  const bool registered = IsRegisteredCopy(settings, *handle);

  host.SetText(WizardControl::LabelDelTitle, Tr(Msg::kDeletingTitle, {title}));
  host.SetText(WizardControl::LabelDel, Tr(Msg::kDeletingShortcuts));
  host.ProcessMessages();
  if (host.ModalResult() == mrAbort) return EngineResult::kAborted;

  // The program-menu entries belong to the copy the registry names; another copy leaves them.
  if (registered && record) {
    for (const fs::path& file : record->menu_files) DeleteFileIfExists(file);
    if (record->menu_folder) RemoveMenuFolderIfEmpty(*record->menu_folder);
    // The title's group, emptied of the entries, also when another copy of the title made it.
    if (!title.empty()) {
      TShellLink group;
      group.LinkType = kProgramGroupType;
      group.SubDir = title;
      RemoveMenuFolderIfEmpty(group.LinkFolder());
    }
  } else if (registered && !title.empty()) {
    DeleteShortcutFolder(kProgramGroupType, title);
  }
  host.Sleep(3000);
  host.BringToFront();

  host.SetText(WizardControl::LabelDel, Tr(Msg::kDeletingFilesProgress));
  host.ProcessMessages();
  if (host.ModalResult() == mrAbort) return EngineResult::kAborted;

  // From here the procedure runs to its end. install.dat goes last, and the launcher just before
  // it: an uninstall that is stopped half-way (killed, power lost) can then be run again.
  // Recorded files go by their exact names, through the handle of the install folder; names in
  // install.dat that the record does not hold (an installation of an earlier version) as before.
  const std::set<fs::path> last = {"install.exe", "install.dat", kRecordName};
  std::set<std::string> covered;
  std::vector<fs::path> recorded;
  if (record) {
    for (const fs::path& file : record->files) {
      covered.insert(MatchKey(file));
      recorded.push_back(folder / file);
      if (last.count(file)) continue;
      handle->RemoveFile(file);
      PauseForTest("uninstall");
    }
  }
  PathJoiner joiner(folder);
  std::set<fs::path> folders;
  fs::path launcher_file, settings_file;
  for (const DataString& name : settings.InstalledFiles) {
    const fs::path path = InstalledFilePath(joiner, name);
    if (path.empty()) continue;
    if (AnsiSameText(name, DataString("install.exe"))) {
      launcher_file = path;
    } else if (AnsiSameText(name, DataString("install.dat"))) {
      settings_file = path;
    } else if (!covered.count(MatchKey(name))) {
      recorded.push_back(path);
      AddFoldersOnPath(folder, path, folders);
      DeleteInstalledFile(path);
      PauseForTest("uninstall");
    }
  }
  RemoveStaleTemporaries(recorded);

  if (host.Choices().delete_save_data) {
    if (IsFile(install_folder / kSaveFile)) DeleteFileIfExists(install_folder / kSaveFile);
    for (const fs::path& save : SaveFolders(settings)) {
      if (!IsFile(save / kSaveFile)) continue;
      DeleteFileIfExists(save / kSaveFile);
      std::error_code ec;
      fs::remove(save, ec);  // only when nothing else is in it
    }
  }
  if (IsFile(install_folder / kGameIni)) DeleteFileIfExists(install_folder / kGameIni);

  host.SetText(WizardControl::LabelDel, Tr(Msg::kDeletingRegistry));
  host.ProcessMessages();
  if (registered) settings.DeleteRegistryKey();
  RemoveProgramListEntry(settings, folder);
  PauseForTest("uninstall-last");
  if (record) {
    for (const fs::path& file : last) {
      if (record->files.count(file)) handle->RemoveFile(file);
    }
    if (record->files.count("install.exe")) MoveOutIfRunning(folder / "install.exe");
  }
  for (const fs::path& path : {launcher_file, settings_file}) {
    if (!path.empty()) DeleteInstalledFile(path);
  }
  if (!launcher_file.empty()) MoveOutIfRunning(launcher_file);
  handle->RemoveFile(kRecordName);
  if (record) {
    // Only folders this installation made, deepest first; the install folder itself when it made it.
    std::vector<fs::path> inside(record->folders.begin(), record->folders.end());
    std::sort(inside.begin(), inside.end(), [](const fs::path& a, const fs::path& b) {
      return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
    });
    for (const fs::path& made : inside) {
      if (made != ".") handle->RemoveFolder(made);
    }
    handle.reset();  // a folder held open cannot be removed on Windows
    if (record->folders.count(".")) RemoveFoldersIfEmpty({folder});
    RemoveFoldersIfEmpty(record->parents);
  } else {
    // Without a record nothing tells which folders the installation made: those on the paths of its
    // listed files and the install folder go, each only when it is empty.
    handle.reset();
    folders.insert(folder);
    RemoveFoldersIfEmpty(folders);
  }
  host.Sleep(1000);

  host.SetText(WizardControl::LabelExit, Tr(Msg::kUninstallCompleted));
  host.ShowPage("exit");
  return EngineResult::kCompleted;
}

}  // namespace vn
