// The working state of one install run, shared by the disc loop (install_engine.cpp) and the
// data-file steps (data_file.cpp). Internal to the installer library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/vr_files.h"
#include "installer/disc_set.h"
#include "installer/install_engine.h"
#include "installer/install_journal.h"
#include "platform/disc_files.h"
#include "platform/mutex.h"
#include "platform/paths.h"
#include "settings/settings.h"

namespace vn {

// Adds names to the settings' installed files as AddInstalledFile does, without comparing each new
// name with the whole list: for the thousands of files of one disc. Nothing else may change the list
// while a recorder is in use.
class InstalledFileRecorder {
 public:
  explicit InstalledFileRecorder(TVondInstallSet& settings)
      : settings_(settings), known_(settings.InstalledFiles.begin(), settings.InstalledFiles.end()) {}
  void Add(const DataString& name) {
    if (known_.insert(name).second) settings_.InstalledFiles.push_back(name);
  }

 private:
  TVondInstallSet& settings_;
  AnsiTextSet known_;
};

class InstallRun {
 public:
  InstallRun(WizardHost& host, TVondInstallSet& settings, const InstallSource& source);
  EngineResult Run();

 private:
  // Disc loop and recording (install_engine.cpp).
  EngineResult RunProtected();
  void RemoveEarlierDataFile();
  bool ChangeDisc(int32_t index);
  bool AdoptDisc(DiscSearch found);
  EngineResult CopyLooseFiles();
  void RecordInstallation();
  void InstallNativeUninstaller();
  void CreateShortcuts();
  void OpenReadme();
  bool Aborted() const { return host_.ModalResult() == mrAbort; }
  void ShowProgress();

  // The checks that can fail without a question to the user, made before anything is written or
  // removed: the fields of install.dat, every name the run joins onto the install folder, the
  // archive of the disc in the drive.
  void CheckBeforeCopying();
  void CheckNameInFolder(const char* field, const DataString& name) const;
  void CheckSeparateNames() const;
  // A disc whose data the chosen components need must bring its archive.
  void CheckDiscArchive(int32_t disc) const;
  void CopyUninstaller();
  void CopyLauncherTo(const std::filesystem::path& target);
  void KeepEarlierRecords(const std::filesystem::path& installed);

  // What this run made and replaced goes through the journal, so an abort or a failure can put the
  // folder back as it was. MakeFolders raises an error naming the folder and why it could not be made.
  void MakeFolders(const std::filesystem::path& folder);
  // Readies `file` (in the install folder) to be written; returns its path relative to the install
  // folder, which every write goes through (Folder()): nothing is written by a path that a folder
  // swapped for a link since the check could redirect.
  std::filesystem::path PrepareFile(const std::filesystem::path& file);
  const FolderHandle& Folder() const { return journal_->Folder(); }
  // Writes settings as `file`'s install.dat of the install folder.
  void WriteSettings(const TVondInstallSet& settings, const std::filesystem::path& file);
  std::filesystem::path Relative(const std::filesystem::path& file) const;
  void LockInstallFolder();
  // Closes the data file being built and lets go of the folder it is reached through.
  void CloseDataFile();
  // An error's text with the data file's path through the held folder written as the install folder's.
  std::string Readable(std::string text) const { return data_path_ ? data_path_->Readable(text) : text; }
  // What RollBack took away: files, and whether the install folder went too (it was made by this run).
  struct RolledBack {
    int files = 0;
    bool folder = false;
  };
  RolledBack RollBack();
  // After a confirmed abort: tells the user that the installation was stopped and what was removed.
  void ReportAbort(const RolledBack& removed);

  // Data-file steps (data_file.cpp); each false return means "leave the procedure".
  void PrepareUpdateTarget();    // P
  void PrepareDataCollection();  // C
  bool MergeDisc(bool last_disc);  // M
  void TakeOverOldEntries();     // O
  void WriteSeparateFiles();     // S
  bool RebuildTargetExe();       // X
  bool VerifyDataFile();         // V
  void ReplaceTargetExe();       // R
  void RecordDataFile();         // F
  void UnpackEntry(TVrFileCollection& from, TVrFile& entry, PathJoiner& work_folder);
  void BuildProgress(TVrFile& item, int64_t size, int32_t index, int32_t count, bool& abort);
  void CheckProgress(int32_t index, int32_t count, bool& abort);

  WizardHost& host_;
  TVondInstallSet& settings_;
  InstallSource source_;
  TVrFileCollection& archive_;
  std::shared_ptr<DiscFiles> disc_;                 // the disc in the drive: source_.source_folder's files
  std::vector<std::filesystem::path> known_discs_;  // where discs were found or pointed at
  WizardChoices choices_;
  std::filesystem::path dest_;
  std::filesystem::path target_exe_;
  std::filesystem::path work_folder_;
  std::unique_ptr<TVrFileCollection> data_;
  std::optional<AnchoredPath> data_path_;  // game.dat in the install folder, reached through its handle
  int64_t copied_bytes_ = 0;
  // While a disc's archive is merged: the bar counts what the data file has grown by, as each
  // entry's size is told before its bytes are copied.
  struct MergeProgress {
    int64_t base = 0;       // copied_bytes_ before the merge
    int64_t start = -1;     // the data file's write position at the merge's first entry
    int64_t announced = 0;  // the sizes told so far
  };
  std::optional<MergeProgress> merge_progress_;
  int64_t progress_range_ = 0;          // bytes the bar spans: RequiredBytes and repeated copies
  std::set<std::string> copied_files_;  // loose files this run copied (lower-case stored names)

  std::optional<InstanceMutex> work_folder_lock_;  // held while the work folder is in use
  std::optional<InstanceMutex> folder_lock_;       // held while the run works in the install folder
  std::optional<InstallJournal> journal_;
  bool had_settings_file_ = false;  // install.dat was in the install folder before the run
  // The entry in the system's list of installed programs, when this run made it.
  bool made_program_entry_ = false;
  // The program the uninstall entry starts, in the install folder.
  DataString uninstaller_ = DataString("install.exe");
};

}  // namespace vn
