// TFormType: the install and uninstall wizard in Qt. A notebook of ten named pages over a line and
// the buttons Back, Next and Abort. The page flow (TWizardFlow) decides everything; this window shows
// its state, hands it what the user changed, and forwards the events.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "installer/wizard_flow.h"

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

class TFormType : public QDialog, private WizardView {
  Q_OBJECT

 public:
  explicit TFormType(TVondInstallSet& settings, QWidget* parent = nullptr);
  ~TFormType() override;

  TWizardFlow& Flow() { return flow_; }
  // The notebook page of that name (as the page flow names them).
  QWidget* Page(const char* name) const;

  // The procedures entered with the pages "copy" and "delete"; the install and uninstall engines
  // unless replaced.
  std::function<void(TFormType&)> InstallProcedure;
  std::function<void(TFormType&)> UninstallProcedure;

  // Shows a message dialog; a QMessageBox with the fixed captions and buttons unless replaced.
  std::function<int(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)> MessageDialog;

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

 private:
  // WizardView
  int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
  void ProcessMessages() override;
  void RunInstall() override;
  void RunUninstall() override;
  bool SaveDataFound() override;

  void BuildPages();
  void FillDriveList();
  // Hands the user's changes to the flow, runs `handler`, shows the outcome; errors go to the error
  // box. Once the outermost handler has returned, a modal result closes the window.
  void Forward(const std::function<void()>& handler);
  void Pull();
  void Render();
  void ShowDirectory();
  void CloseOnModalResult();

  TVondInstallSet& settings_;
  TWizardFlow flow_;
  QFileSystemModel* folders_;
  int handler_depth_ = 0;
  bool rendering_ = false;
};

}  // namespace vn
