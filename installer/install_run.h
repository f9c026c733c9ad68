// The working state of one install run, shared by the disc loop (install_engine.cpp) and the
// data-file steps (data_file.cpp). Internal to the installer library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/vr_files.h"
#include "installer/install_engine.h"
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
  bool AdoptDiscFolder(const std::filesystem::path& folder, int32_t index);
  EngineResult CopyLooseFiles();
  void RecordInstallation();
  void CreateShortcuts();
  void OpenReadme();
  bool Aborted() const { return host_.ModalResult() == mrAbort; }
  void ShowProgress();

  // Data-file steps (data_file.cpp); each false return means "leave the procedure".
  void PrepareUpdateTarget();    // P
  void PrepareDataCollection();  // C
  bool MergeDisc();              // M
  void TakeOverOldEntries();     // O
  void WriteSeparateFiles();     // S
  bool RebuildTargetExe();       // X
  bool VerifyDataFile();         // V
  void ReplaceTargetExe();       // R
  void RecordDataFile();         // F
  void UnpackEntry(TVrFileCollection& from, TVrFile& entry, PathJoiner& work_folder);
  void BuildProgress(TVrFile& item, int64_t size, int32_t index, int32_t count, bool& abort);
  void CheckProgress(TVrFile& item, int64_t size, int32_t index, int32_t count, bool& abort);

  WizardHost& host_;
  TVondInstallSet& settings_;
  InstallSource source_;
  TVrFileCollection& archive_;
  WizardChoices choices_;
  std::filesystem::path dest_;
  std::filesystem::path target_exe_;
  std::filesystem::path work_folder_;
  std::unique_ptr<TVrFileCollection> data_;
  int64_t copied_bytes_ = 0;
};

}  // namespace vn
