// The page flow of the install and uninstall wizard (TFormType): which pages are enabled, what Next,
// Back and Abort do, captions and button states, the component boxes, and the destination folder with
// its free-space checks. Plain C++: the Qt window renders WizardControls and forwards its events here,
// so the whole flow runs and is tested without a window.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "installer/wizard_host.h"
#include "messages/messages.h"

namespace vn {

class TVondInstallSet;

// The notebook pages in notebook order; a page's position is what before and after mean.
enum WizardPage : int {
  kPageHello,
  kPageLicense,
  kPageMedia,
  kPageFile,
  kPageSelDir,
  kPageConfirm,
  kPageCopy,
  kPageExit,
  kPageUninst,
  kPageDelete,
  kPageCount
};
inline constexpr std::array<const char*, kPageCount> kPageNames = {
    "Hello", "License", "Media", "file", "seldir", "confirm", "copy", "exit", "uninst", "delete"};
// The index of the page with this name, -1 when there is none.
int PageIndexOf(std::string_view name);

// The question for an install folder that holds files already is recognised by two parts of its
// text (Msg::kExistingFilesMark always, Msg::kReplacedFilesMark when files of the game's names would
// be replaced).

// What the page flow needs of its window: the message dialogs, the message pump, and the install and
// uninstall procedures that run on entering "copy" and "delete".
class WizardView {
 public:
  virtual ~WizardView() = default;
  // A modal message dialog of `kind` with `buttons` (a set of DialogButton); returns the one pressed.
  virtual DialogButton MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) = 0;
  // Shows the flow's present state and lets pending window messages run once.
  virtual void ProcessMessages() = 0;
  // The install procedure; on success it ends by showing the page "exit".
  virtual void RunInstallProcedure() = 0;
  // The uninstall procedure; on success it ends by showing the page "exit".
  virtual void RunUninstallProcedure() = 0;
  // Whether the uninstall page offers to delete the save data as well.
  virtual bool SaveDataOffered() = 0;
};

struct WizardButton {
  bool visible = true;
  bool enabled = true;
  std::string caption;
};

// The state of every control the flow decides, as the window shows it. Texts are UTF-8. The window
// writes back what the user changes (check boxes, radio buttons, EditDir) before forwarding an event.
struct WizardControls {
  std::string caption = Tr(Msg::kWizardCaption);
  int page = -1;  // the notebook page shown
  WizardButton btnBack{true, false, Tr(Msg::kWizardBack)};
  WizardButton btnNext{true, true, Tr(Msg::kWizardNext)};
  WizardButton btnAbort{true, true, Tr(Msg::kWizardAbort)};
  bool focus_abort = false;  // set when btnAbort should take the keyboard focus; the window clears it

  std::string EditHello, EditLicense;
  bool CheckLicense = false;

  std::string LabelDisk, RadioDiskAllText, RadioDiskThisText;
  bool RadioDiskAll = false, RadioDiskThis = false;

  bool CheckProg = true, CheckData = false, CheckSound = false, CheckMovie = false;
  bool ProgVisible = true, DataVisible = true, SoundVisible = true, MovieVisible = true;
  std::string LabelSize;

  std::string EditDir;              // the destination as the user sees and may edit it
  std::filesystem::path Directory;  // the folder the folder list shows
  std::filesystem::path Drive;      // the drive: here the mount point the folder list lies on
  std::string LabelSzDrv, LabelSzNeed;

  bool LabelBackVisible = true;  // LabelBack and LabelBack2 on "confirm"

  std::string LabelUninst;
  bool CheckDelSave = false, DelSaveVisible = false;
};

class TWizardFlow {
 public:
  TWizardFlow(TVondInstallSet& settings, WizardView& view);

  // Creation of the window: texts, enabled pages, the destination folder, the first page.
  void FormCreate();

  void btnNextClick();
  void btnBackClick();
  void btnAbortClick();
  void CheckLicenseClick();
  void CheckProgClick();
  void CheckDataClick();  // CheckData, CheckSound and CheckMovie
  // The window's close box or Escape. While the copy or the deletion runs it means what Abort means
  // there: the question comes at once (the procedure waits in it) and Yes aborts. Elsewhere it sets
  // the modal result Cancel, which FormCloseQuery confirms.
  void FormClose();
  // True when the window may close with the present modal result. Cancel asks whether to abort
  // what this run is (an install or an uninstall), except on "exit": the run is complete by then.
  bool FormCloseQuery();
  // The folder list moved to `folder`.
  void DirectoryChange(const std::filesystem::path& folder);
  // Another drive (mount point) was chosen; the folder list moves to its root.
  void DriveChange(const std::filesystem::path& drive);
  // The user edited EditDir (already written to Controls()): the free-space line, the drive list and
  // the folder list (at the nearest existing part of the typed folder) follow it.
  void EditDirChange();

  // Enters page `index` and does its work; runs the install and uninstall procedures.
  void ShowPage(int index);
  int FirstEnabledPage() const;
  int LastEnabledPage() const;
  bool PageEnabled(int index) const { return page_enabled_.at(index); }

  void UpdateSizes();
  // The free-space line: the file system that holds the destination folder (its nearest existing
  // parent), the same figure the check on leaving "seldir" uses.
  void UpdateDriveSpace();
  // Free MiB on the file system of `path`; 0 when it cannot be measured.
  int64_t FreeMegabytes(const std::filesystem::path& path) const;
  // The destination with a trailing separator: the Windows folder's stand-in for InstallType 2,
  // otherwise the text of EditDir.
  std::filesystem::path DestinationFolder() const;

  WizardControls& Controls() { return controls_; }
  const WizardControls& Controls() const { return controls_; }
  int ModalResult() const { return modal_result_; }
  void SetModalResult(int result) { modal_result_ = result; }
  const std::string& FolderSuffix() const { return folder_suffix_; }
  int64_t RequiredBytes() const { return required_bytes_; }
  // What the engines read of the user's choices.
  WizardChoices Choices() const;
  int64_t CopiedBytes = 0;  // bytes copied so far by the install procedure

  // The folder of the disc the wizard installs from (unset: none known). It and the folders around
  // it are refused as destination.
  void SetSourceFolder(const std::filesystem::path& folder) { source_folder_ = folder; }

  // Bytes available on the file system of a path, -1 when unknown (FreeSpace unless replaced).
  std::function<int64_t(const std::filesystem::path&)> FreeSpaceOf;
  // The size of the launcher the install copies (0 unless set): the free space must hold it once
  // more than the components count it.
  void SetLauncherBytes(int64_t bytes) { launcher_bytes_ = bytes; }

 private:
  void SetUpDestination();
  void SetComponentBoxes();
  void SetButtons();
  // The check when leaving "seldir": true to go on, false to stay.
  bool DestinationAccepted();
  bool HoldsInstallationToUpdate(const std::filesystem::path& folder) const;
  // Why `folder` must not become the install folder (empty: it may).
  std::string RefusedFolderReason(const std::filesystem::path& folder) const;
  // The question for a folder that holds files and no earlier installation of this title: what is
  // there and the first file the install would replace; empty for an empty or new folder.
  void PreselectEarlierComponents();
  std::string ExistingFilesQuestion(const std::filesystem::path& folder) const;
  int64_t DiscEntry(const std::vector<int64_t>& sizes) const;

  TVondInstallSet& settings_;
  WizardView& view_;
  WizardControls controls_;
  std::array<bool, kPageCount> page_enabled_{};
  int modal_result_ = mrNone;
  bool uninstall_run_ = false;  // fixed at creation: the engines change Installed while they record
  int64_t required_bytes_ = 0;
  int64_t launcher_bytes_ = 0;
  std::string folder_suffix_;  // native text, '/' between folders
  std::filesystem::path source_folder_;
};

}  // namespace vn
