// TFormType: the install and uninstall wizard in Qt. A notebook of ten named pages over a line and
// the buttons Back, Next and Abort. The page flow (TWizardFlow) decides everything; this window shows
// its state, hands it what the user changed, and forwards the events.
#pragma once

#include <QDialog>
#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "installer/wizard_front_end.h"

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTreeView;

namespace vn {

class TVondInstallSet;

// The window is a front end of the wizard: the host the install and uninstall engines run in and the
// view of the page flow.
class TFormType : public QDialog, public WizardFrontEnd {
  Q_OBJECT

 public:
  // `source_folder`: the folder the run installs from, or (uninstall) the install folder; empty takes
  // the run's own: the first command-line argument (the folder of an archive file named there), else
  // the executable's folder.
  explicit TFormType(TVondInstallSet& settings, QWidget* parent = nullptr,
                     const std::filesystem::path& source_folder = {});
  ~TFormType() override;

  // The notebook page of that name (as the page flow names them).
  QWidget* Page(const char* name) const;

  // The procedures entered with the pages "copy" and "delete"; the install and uninstall engines
  // unless replaced.
  std::function<void(TFormType&)> InstallProcedure;
  std::function<void(TFormType&)> UninstallProcedure;
  // Whether save data is offered for deletion; the uninstall engine's finding unless replaced.
  std::function<bool(TFormType&)> SaveDataCheck;

  // Shows a message dialog; a QMessageBox with the fixed captions and buttons unless replaced.
  std::function<DialogButton(DialogKind kind, const std::string& text, unsigned buttons)> DialogHandler;

  // WizardHost, for the engines. MessageDialog and ProcessMessages serve the page flow as well.
  void SetText(WizardControl control, const std::string& text) override;
  void SetFileText(WizardControl control, const std::string& text, const std::string& whole) override;
  void SetVisible(WizardControl control, bool visible) override;
  void SetProgressMax(int64_t maximum) override;
  void SetProgressPosition(int64_t position) override;
  void ProcessMessages() override;
  DialogButton MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) override;
  std::optional<std::filesystem::path> ChooseDiscFolder(const std::string& prompt) override;
  void Sleep(int milliseconds) override;
  void BringToFront() override;

  QStackedWidget* Notebook;
  QFrame* Bevel;
  QPushButton* btnBack;
  QPushButton* btnNext;
  QPushButton* btnAbort;
  // Hello, License
  QPlainTextEdit* EditHello;
  QLabel* Label2;
  QLabel* Label4;
  QPlainTextEdit* EditLicense;
  QCheckBox* CheckLicense;
  // Media
  QLabel* LabelDisk;
  QRadioButton* RadioDiskAll;
  QRadioButton* RadioDiskThis;
  // file
  QLabel* Label1;
  QCheckBox* CheckProg;
  QCheckBox* CheckData;
  QCheckBox* CheckSound;
  QCheckBox* CheckMovie;
  QLabel* LabelSize;
  // seldir: the drive list holds mount points; the folder list is a tree of the chosen one's folders.
  QLabel* Label3;
  QLineEdit* EditDir;
  QComboBox* Drive;
  QTreeView* Directory;
  QLabel* LabelSzDrv;
  QLabel* LabelSzNeed;
  // confirm
  QLabel* Label5;
  QLabel* LabelBack;
  QLabel* LabelBack2;
  // copy
  QLabel* LabelCopyCap;
  QLabel* LabelCopy;
  QProgressBar* Progress;
  // exit
  QLabel* LabelExit;
  // uninst, delete
  QLabel* LabelUninst;
  QLabel* Label7;
  QCheckBox* CheckDelSave;
  QLabel* LabelDelTitle;
  QLabel* LabelDel;

  static constexpr int kClientWidth = 497;
  static constexpr int kClientHeight = 336;
  static constexpr int kNotebookHeight = 293;
  static constexpr int kButtonTop = 300;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void reject() override;  // Escape: as the close box

 private slots:
  void btnNextClick();
  void btnBackClick();
  void btnAbortClick();
  void CheckLicenseClick();
  void CheckProgClick();
  void CheckDataClick();
  void DriveChange(int index);
  void DirectoryChange();
  // The file line's tool tip while a question blocks the window (Qt's own does not show then).
  void ShowTipWhileBlocked();

 private:
  // WizardView
  void RunInstallProcedure() override;
  void RunUninstallProcedure() override;
  bool SaveDataOffered() override;
  void ShowFlowState() override { Render(); }

  void BuildPages();
  void FillDriveList();
  // Hands the user's changes to the flow, runs `handler`, shows the outcome; errors go to the error
  // box. Once the outermost handler has returned, a modal result closes the window.
  void Forward(const std::function<void()>& handler);
  void Pull();
  void Render();  // also keeps every text whole (FitTexts)
  void ShowDirectory();
  void CloseOnModalResult();

  QFileSystemModel* folders_;
  int handler_depth_ = 0;
  bool rendering_ = false;
  WizardControlSet<QWidget*> engine_controls_;  // what the engines write to
  ProgressScale progress_scale_;
  bool tip_while_blocked_ = false;  // the tool tip shown is this window's, shown while blocked
};

}  // namespace vn
