#include "ui/qt/wizard_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <map>

#include "launcher/shared_archive.h"
#include "messages/messages.h"
#include "platform/disc_files.h"
#include "platform/error.h"
#include "platform/interruption.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/volumes.h"
#include "settings/settings.h"
#include "ui/qt/fitted_text.h"
#include "ui/qt/focus_ring.h"
#include "ui/qt/form_style_window.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kLeft = 24;
constexpr int kInnerWidth = TFormType::kClientWidth - 2 * kLeft;
constexpr int kTextLimit = 5242880;  // characters a text page holds
constexpr int kRowHeight = 17;

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

// The chooser of the next disc: a disc image file, or a disc folder (a mounted medium, a copied
// disc, or a folder where a set's images are kept). Opening a folder in the list goes into it; Open
// with a folder chosen, or with nothing chosen in the folder shown, takes that folder.
class DiscChooser : public QFileDialog {
 public:
  DiscChooser(QWidget* parent, const QString& caption, const QString& folder)
      : QFileDialog(parent, caption, folder) {
    setFileMode(QFileDialog::ExistingFile);
    setOption(QFileDialog::DontUseNativeDialog);
    setNameFilters(
        {QString::fromUtf8(Tr(Msg::kDiscImageFilter)) +
             QStringLiteral(
                 " (*.iso *.ISO *.cue *.CUE *.bin *.BIN *.nrg *.NRG *.ccd *.CCD *.img *.IMG *.udf *.UDF)"),
         QString::fromUtf8(Tr(Msg::kAllFilesFilter)) + QStringLiteral(" (*)")});
  }

 protected:
  void accept() override {
    const QStringList chosen = selectedFiles();
    if (chosen.size() == 1 && QFileInfo(chosen.first()).isDir()) {
      QDialog::accept();
      return;
    }
    QFileDialog::accept();
  }
};

QLabel* AddLabel(QWidget* page, const char* caption, int top) {
  auto* label = new QLabel(QString::fromUtf8(caption), page);
  label->setTextFormat(Qt::PlainText);  // titles and file names are shown as they are
  label->setGeometry(kLeft, top, TFormType::kClientWidth - kLeft - 8, 14);  // long lines may pass the margin
  return label;
}

QCheckBox* AddCheckBox(QWidget* page, const char* caption, int left, int top) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), page);
  box->setGeometry(left, top, box->sizeHint().width(), kRowHeight);
  return box;
}

QPlainTextEdit* AddTextPage(QWidget* page, int top, int height) {
  auto* edit = new QPlainTextEdit(page);
  edit->setReadOnly(true);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // lines wrap
  edit->setGeometry(16, top, TFormType::kClientWidth - 32, height);
  return edit;
}

void SetPlainText(QPlainTextEdit* edit, const std::string& text) {
  QString shown = Text(LfLineBreaks(text));
  if (shown.size() > kTextLimit) shown.truncate(kTextLimit);
  if (edit->toPlainText() != shown) edit->setPlainText(shown);
}

void Show(QPushButton* button, const WizardButton& state) {
  button->setVisible(state.visible);
  button->setEnabled(state.enabled);
  button->setText(Text(state.caption));
}

DialogButton ShowMessageBox(QWidget* parent, DialogKind kind, const std::string& text, unsigned buttons) {
  static const QMessageBox::Icon kIcons[] = {QMessageBox::Warning, QMessageBox::Information,
                                             QMessageBox::Question};
  // The roles of kDialogButtons, in its order.
  static const QMessageBox::ButtonRole kRoles[] = {QMessageBox::YesRole, QMessageBox::NoRole,
                                                   QMessageBox::AcceptRole, QMessageBox::RejectRole};
  QMessageBox box(kIcons[static_cast<int>(kind)], QString::fromUtf8(DialogCaption(kind)),
                  Text(LfLineBreaks(text)), QMessageBox::NoButton, parent);
  std::map<QAbstractButton*, DialogButton> results;
  for (size_t i = 0; i < kDialogButtons.size(); ++i) {
    const DialogButtonCaption& b = kDialogButtons[i];
    if (buttons & b.button) results[box.addButton(QString::fromUtf8(Tr(b.caption)), kRoles[i])] = b.button;
  }
  new TFocusRing(box);
  box.exec();
  const auto found = results.find(box.clickedButton());
  return found != results.end() ? found->second : ClosedDialogAnswer(buttons);
}

// The detail view of a chooser that lists only folders: no type column (it would say "folder" on
// every line) and no size (folders have none); the date column as wide as its dates. The view's
// former state comes back when the chooser closes, as Qt keeps it for every program's choosers.
void ShowFoldersOnlyColumns(QFileDialog& chooser) {
  auto* view = chooser.findChild<QTreeView*>("treeView");
  if (!view) return;
  QHeaderView* header = view->header();
  const QByteArray kept = header->saveState();
  enum { kSize = 1, kType = 2, kDate = 3 };
  header->hideSection(kSize);
  header->hideSection(kType);
  header->setSectionResizeMode(kDate, QHeaderView::ResizeToContents);
  QObject::connect(&chooser, &QDialog::finished, header, [header, kept] { header->restoreState(kept); });
}

// The disc of the run: the first argument (a disc folder or image, or the folder of an archive
// file named there), else the executable's own folder.
fs::path RunSourceFolder() {
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) return OwnExecutablePath().parent_path();
  return DiscLocationOf(Utf8ToPath(arguments[1].toStdString()));
}

}  // namespace

TFormType::TFormType(TVondInstallSet& settings, QWidget* parent, const fs::path& source_folder)
    : QDialog(parent), WizardFrontEnd(settings, source_folder.empty() ? RunSourceFolder() : source_folder) {
  setFont(FormFont());
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromUtf8(Tr(Msg::kWizardCaption)));

  Notebook = new QStackedWidget(this);
  Notebook->setGeometry(0, 0, kClientWidth, kNotebookHeight);
  Bevel = new QFrame(this);
  Bevel->setFrameShape(QFrame::HLine);
  Bevel->setFrameShadow(QFrame::Sunken);
  Bevel->setGeometry(0, kNotebookHeight, kClientWidth, 2);
  btnBack = new QPushButton(QString::fromUtf8(Tr(Msg::kWizardBack)), this);
  btnBack->setGeometry(244, kButtonTop, kButtonWidth, kButtonHeight);
  btnBack->setEnabled(false);
  btnNext = new QPushButton(QString::fromUtf8(Tr(Msg::kWizardNext)), this);
  btnNext->setGeometry(324, kButtonTop, kButtonWidth, kButtonHeight);
  btnNext->setDefault(true);
  btnAbort = new QPushButton(QString::fromUtf8(Tr(Msg::kWizardAbort)), this);
  btnAbort->setGeometry(416, kButtonTop, kButtonWidth, kButtonHeight);
  // Return presses the focused button, as on Windows; elsewhere (an edit box, a check box) it
  // presses Next, the default button.
  btnBack->setAutoDefault(true);
  btnAbort->setAutoDefault(true);
  BuildPages();
  new TFocusRing(*this);

  InstallProcedure = [this](TFormType&) {
    vn::RunInstall(*this, settings_, RunningInstallSource(SourceFolder(), SharedArchive()));
  };
  UninstallProcedure = [this](TFormType&) { WizardFrontEnd::RunUninstallProcedure(); };
  SaveDataCheck = [this](TFormType&) { return WizardFrontEnd::SaveDataOffered(); };
  DialogHandler = [this](DialogKind kind, const std::string& text, unsigned buttons) {
    return ShowMessageBox(this, kind, text, buttons);
  };

  connect(btnNext, &QPushButton::clicked, this, &TFormType::btnNextClick);
  connect(btnBack, &QPushButton::clicked, this, &TFormType::btnBackClick);
  connect(btnAbort, &QPushButton::clicked, this, &TFormType::btnAbortClick);
  connect(CheckLicense, &QCheckBox::clicked, this, &TFormType::CheckLicenseClick);
  connect(CheckProg, &QCheckBox::clicked, this, &TFormType::CheckProgClick);
  for (QCheckBox* box : {CheckData, CheckSound, CheckMovie}) {
    connect(box, &QCheckBox::clicked, this, &TFormType::CheckDataClick);
  }
  connect(EditDir, &QLineEdit::textEdited, this, [this] { Forward([this] { flow_.EditDirChange(); }); });
  connect(Drive, &QComboBox::activated, this, &TFormType::DriveChange);

  FillDriveList();
  Forward([this] { flow_.FormCreate(); });
  connect(Directory->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TFormType::DirectoryChange);

  FixClientSize(*this, kClientWidth, kClientHeight);

  // Qt gives a window no mouse events while a question blocks it, so its tool tips stay shut just
  // when the user wants the whole name of the file being copied: the window looks for the pointer.
  auto* pointer_watch = new QTimer(this);
  connect(pointer_watch, &QTimer::timeout, this, &TFormType::ShowTipWhileBlocked);
  pointer_watch->start(250);
}

void TFormType::ShowTipWhileBlocked() {
  const QWidget* question = QApplication::activeModalWidget();
  const QPoint at = QCursor::pos();
  QLabel* over = nullptr;
  if (question && question != this && !question->frameGeometry().contains(at)) {
    for (QLabel* label : {LabelCopy, LabelDel}) {
      if (label->isVisible() && label->rect().contains(label->mapFromGlobal(at))) over = label;
    }
  }
  if (over && !over->toolTip().isEmpty()) {
    if (!QToolTip::isVisible() || QToolTip::text() != over->toolTip())
      QToolTip::showText(at, over->toolTip(), over);
  } else if (tip_while_blocked_ && QToolTip::isVisible()) {
    QToolTip::hideText();
  }
  tip_while_blocked_ = over != nullptr;
}

void TFormType::showEvent(QShowEvent* event) {
  if (const QWidget* owner = parentWidget()) {  // centred on the main window, wherever it stands now
    const QRect area = owner->geometry();
    const QPoint client(area.x() + (area.width() - kClientWidth) / 2,
                        area.y() + (area.height() - kClientHeight) / 2);
    // move() places the frame; the client area lies inside its margins.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    move(client - QPoint(frame.left(), frame.top()));
  }
  QDialog::showEvent(event);
}

TFormType::~TFormType() = default;

void TFormType::BuildPages() {
  std::map<int, QWidget*> pages;
  for (int i = 0; i < kPageCount; ++i) {
    auto* page = new QWidget(Notebook);
    page->setObjectName(kPageNames[i]);
    Notebook->addWidget(page);
    pages[i] = page;
  }

  EditHello = AddTextPage(pages[kPageHello], 16, 261);

  QWidget* license = pages[kPageLicense];
  Label2 = AddLabel(license, Tr(Msg::kLicenseLine1), 12);
  Label4 = AddLabel(license, Tr(Msg::kLicenseLine2), 28);
  Label2->setGeometry(16, 12, kClientWidth - 32, 14);
  Label4->setGeometry(16, 28, kClientWidth - 32, 14);
  ShareFontSize({Label2, Label4});
  EditLicense = AddTextPage(license, 48, 208);
  CheckLicense = AddCheckBox(license, Tr(Msg::kLicenseAgree), 16, 266);

  QWidget* media = pages[kPageMedia];
  LabelDisk = AddLabel(media, "", 24);
  RadioDiskAll = new QRadioButton(media);
  RadioDiskAll->setGeometry(48, 64, 300, kRowHeight);
  RadioDiskThis = new QRadioButton(media);
  RadioDiskThis->setGeometry(48, 92, 300, kRowHeight);
  // Exclusive within the page; "neither checked" stays possible until the user picks one.

  QWidget* file = pages[kPageFile];
  Label1 = AddLabel(file, Tr(Msg::kFileChoose), 24);
  CheckProg = AddCheckBox(file, Tr(Msg::kComponentProgram), 48, 60);
  CheckProg->setChecked(true);
  CheckProg->setEnabled(false);
  CheckData = AddCheckBox(file, Tr(Msg::kComponentData), 48, 88);
  CheckSound = AddCheckBox(file, Tr(Msg::kComponentSound), 48, 116);
  CheckMovie = AddCheckBox(file, Tr(Msg::kComponentMovie), 48, 144);
  LabelSize = AddLabel(file, "", 250);

  QWidget* seldir = pages[kPageSelDir];
  Label3 = AddLabel(seldir, Tr(Msg::kSelDirChoose), 12);
  EditDir = new QLineEdit(seldir);
  EditDir->setGeometry(kLeft, 30, kInnerWidth, 21);
  Drive = new QComboBox(seldir);
  Drive->setGeometry(kLeft, 57, kInnerWidth, 22);
  Directory = new QTreeView(seldir);
  Directory->setGeometry(kLeft, 85, kInnerWidth, 161);
  folders_ = new QFileSystemModel(this);
  folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  folders_->setReadOnly(true);
  Directory->setModel(folders_);
  // The model reads folders in the background: once a level has arrived, bring the chosen one into view.
  connect(folders_, &QFileSystemModel::directoryLoaded, this,
          [this] { Directory->scrollTo(Directory->currentIndex(), QAbstractItemView::PositionAtCenter); });
  for (int column = 1; column < folders_->columnCount(); ++column) Directory->hideColumn(column);
  Directory->setHeaderHidden(true);
  Directory->header()->setStretchLastSection(true);
  LabelSzDrv = AddLabel(seldir, "", 254);
  LabelSzNeed = AddLabel(seldir, "", 272);

  QWidget* confirm = pages[kPageConfirm];
  Label5 = AddLabel(confirm, Tr(Msg::kConfirmReady), 24);
  LabelBack = AddLabel(confirm, Tr(Msg::kConfirmBack1), 60);
  LabelBack2 = AddLabel(confirm, Tr(Msg::kConfirmBack2), 76);
  ShareFontSize({LabelBack, LabelBack2});

  QWidget* copy = pages[kPageCopy];
  LabelCopyCap = AddLabel(copy, Tr(Msg::kCopyingFiles), 24);
  LabelCopy = AddLabel(copy, "...", 60);
  LabelCopy->setGeometry(kLeft, 60, kInnerWidth, 14);  // the file line ends where the bar ends
  Progress = new QProgressBar(copy);
  Progress->setGeometry(kLeft, 84, kInnerWidth, 20);
  Progress->setRange(0, 100);
  Progress->setValue(0);
  Progress->setTextVisible(false);

  LabelExit = AddLabel(pages[kPageExit], Tr(Msg::kInstallCompleted), 24);

  QWidget* uninst = pages[kPageUninst];
  LabelUninst = AddLabel(uninst, "", 24);
  Label7 = AddLabel(uninst, Tr(Msg::kUninstClick), 60);
  CheckDelSave = AddCheckBox(uninst, Tr(Msg::kDeleteSaveData), kLeft, 100);

  QWidget* erase = pages[kPageDelete];
  LabelDelTitle = AddLabel(erase, Tr(Msg::kDeletingFiles), 24);
  LabelDel = AddLabel(erase, "", 60);
  // Lines that name files or the title: cut in the middle when too long (SetText).
  for (QLabel* label : {LabelCopy, LabelDelTitle, LabelDel}) SetElidedText(*label, label->text());
  engine_controls_ = {LabelCopyCap, LabelCopy, Progress, LabelDelTitle, LabelDel, LabelExit};
}

QWidget* TFormType::Page(const char* name) const {
  const int index = PageIndexOf(name);
  return index < 0 ? nullptr : Notebook->widget(index);
}

void TFormType::FillDriveList() {
  Drive->clear();
  for (const fs::path& drive : OfferedDrives()) {
    const QString root = QString::fromStdString(PathToUtf8(drive));
    Drive->addItem(root, root);
  }
}

void TFormType::Pull() {
  WizardControls& c = flow_.Controls();
  c.CheckLicense = CheckLicense->isChecked();
  c.RadioDiskAll = RadioDiskAll->isChecked();
  c.RadioDiskThis = RadioDiskThis->isChecked();
  c.CheckProg = CheckProg->isChecked();
  c.CheckData = CheckData->isChecked();
  c.CheckSound = CheckSound->isChecked();
  c.CheckMovie = CheckMovie->isChecked();
  c.EditDir = EditDir->text().toStdString();
  c.CheckDelSave = CheckDelSave->isChecked();
}

void TFormType::Render() {
  rendering_ = true;
  WizardControls& c = flow_.Controls();
  setWindowTitle(Text(c.caption));
  if (c.page >= 0) Notebook->setCurrentIndex(c.page);
  Show(btnBack, c.btnBack);
  Show(btnNext, c.btnNext);
  Show(btnAbort, c.btnAbort);

  SetPlainText(EditHello, c.EditHello);
  SetPlainText(EditLicense, c.EditLicense);
  CheckLicense->setChecked(c.CheckLicense);

  LabelDisk->setText(Text(c.LabelDisk));
  RadioDiskAll->setText(Text(c.RadioDiskAllText));
  RadioDiskThis->setText(Text(c.RadioDiskThisText));
  RadioDiskAll->resize(RadioDiskAll->sizeHint().width(), kRowHeight);
  RadioDiskThis->resize(RadioDiskThis->sizeHint().width(), kRowHeight);
  // Neither button checked is a state of its own (this disc only), which exclusive buttons cannot
  // return to by themselves.
  RadioDiskAll->setAutoExclusive(false);
  RadioDiskThis->setAutoExclusive(false);
  RadioDiskAll->setChecked(c.RadioDiskAll);
  RadioDiskThis->setChecked(c.RadioDiskThis);
  RadioDiskAll->setAutoExclusive(true);
  RadioDiskThis->setAutoExclusive(true);

  CheckProg->setChecked(c.CheckProg);
  CheckData->setChecked(c.CheckData);
  CheckSound->setChecked(c.CheckSound);
  CheckMovie->setChecked(c.CheckMovie);
  CheckProg->setVisible(c.ProgVisible);
  CheckData->setVisible(c.DataVisible);
  CheckSound->setVisible(c.SoundVisible);
  CheckMovie->setVisible(c.MovieVisible);
  LabelSize->setText(Text(c.LabelSize));

  if (EditDir->text() != Text(c.EditDir)) EditDir->setText(Text(c.EditDir));
  ShowDirectory();
  LabelSzDrv->setText(Text(c.LabelSzDrv));
  LabelSzNeed->setText(Text(c.LabelSzNeed));

  LabelBack->setVisible(c.LabelBackVisible);
  LabelBack2->setVisible(c.LabelBackVisible);
  LabelUninst->setText(Text(c.LabelUninst));
  CheckDelSave->setVisible(c.DelSaveVisible);
  CheckDelSave->setChecked(c.CheckDelSave);
  if (c.focus_abort) {
    btnAbort->setFocus();
    c.focus_abort = false;
  }
  FitTexts(*this);
  rendering_ = false;
}

void TFormType::ShowDirectory() {
  const WizardControls& c = flow_.Controls();
  if (c.Drive.empty()) return;
  const QString drive = QString::fromStdString(PathToUtf8(c.Drive));
  if (Drive->findData(drive) < 0) Drive->addItem(drive, drive);
  Drive->setCurrentIndex(Drive->findData(drive));
  if (folders_->rootPath() != drive) {
    folders_->setRootPath(drive);
    Directory->setRootIndex(folders_->index(drive));
  }
  if (c.Directory.empty()) return;
  const QModelIndex current = folders_->index(QString::fromStdString(PathToUtf8(c.Directory)));
  if (current.isValid() && current != Directory->currentIndex()) {
    for (QModelIndex parent = current.parent(); parent.isValid(); parent = parent.parent())
      Directory->expand(parent);
    Directory->setCurrentIndex(current);
    Directory->scrollTo(current, QAbstractItemView::PositionAtCenter);
  }
}

void TFormType::Forward(const std::function<void()>& handler) {
  Pull();
  ++handler_depth_;
  try {
    handler();
  } catch (const std::exception& e) {
    ShowErrorBox(this, QString::fromUtf8(e.what()));
  }
  --handler_depth_;
  Render();
  if (handler_depth_ == 0) CloseOnModalResult();
}

void TFormType::CloseOnModalResult() {
  const int result = flow_.ModalResult();
  if (result == mrNone) return;
  if (flow_.FormCloseQuery()) {
    done(result);
  } else {
    flow_.SetModalResult(mrNone);
  }
}

void TFormType::closeEvent(QCloseEvent* event) {
  // The window closes through its modal result, once no handler runs; during the copy the question
  // is asked at once (the copy waits in it), as its Abort button does.
  event->ignore();
  flow_.FormClose();
  if (handler_depth_ == 0) CloseOnModalResult();
}

void TFormType::reject() {
  close();
}

void TFormType::btnNextClick() {
  Forward([this] { flow_.btnNextClick(); });
}

void TFormType::btnBackClick() {
  Forward([this] { flow_.btnBackClick(); });
}

void TFormType::btnAbortClick() {
  Forward([this] { flow_.btnAbortClick(); });
}

void TFormType::CheckLicenseClick() {
  Forward([this] { flow_.CheckLicenseClick(); });
}

void TFormType::CheckProgClick() {
  Forward([this] { flow_.CheckProgClick(); });
}

void TFormType::CheckDataClick() {
  Forward([this] { flow_.CheckDataClick(); });
}

void TFormType::DriveChange(int index) {
  const fs::path drive = Utf8ToPath(Drive->itemData(index).toString().toStdString());
  Forward([this, drive] { flow_.DriveChange(drive); });
}

void TFormType::DirectoryChange() {
  if (rendering_) return;
  const QModelIndex current = Directory->currentIndex();
  if (!current.isValid()) return;
  const fs::path folder = Utf8ToPath(folders_->filePath(current).toStdString());
  Forward([this, folder] { flow_.DirectoryChange(folder); });
}

// A stop signal during the procedures aborts them as the Abort button does (ProcessMessages), so a
// `kill` in the middle of the copy leaves no half-made installation; on the other pages the signals
// end the program as they always did.
void TFormType::RunInstallProcedure() {
  InterruptionGuard interruption;
  InstallProcedure(*this);
}

void TFormType::RunUninstallProcedure() {
  InterruptionGuard interruption;
  UninstallProcedure(*this);
}

bool TFormType::SaveDataOffered() {
  return SaveDataCheck(*this);
}

// --- WizardHost -------------------------------------------------------------------------------

void TFormType::SetText(WizardControl control, const std::string& text) {
  auto* label = qobject_cast<QLabel*>(engine_controls_[control]);
  if (!label) return;
  if (control == WizardControl::LabelCopy || control == WizardControl::LabelDel ||
      control == WizardControl::LabelDelTitle) {
    SetElidedText(*label, Text(text));
  } else {
    label->setText(Text(text));
    FitTexts(*this);
  }
}

// The whole line is the label's tool tip, shown whenever the label is hovered: the copy lets the
// window run every few megabytes. A tip already open follows the file being copied.
void TFormType::SetFileText(WizardControl control, const std::string& text, const std::string& whole) {
  SetText(control, text);
  auto* label = qobject_cast<QLabel*>(engine_controls_[control]);
  if (!label) return;
  label->setToolTip(Text(whole));
  if (QToolTip::isVisible() && label->underMouse())
    QToolTip::showText(QCursor::pos(), label->toolTip(), label);
}

void TFormType::SetVisible(WizardControl control, bool visible) {
  if (QWidget* target = engine_controls_[control]) target->setVisible(visible);
}

void TFormType::SetProgressMax(int64_t maximum) {
  Progress->setRange(0, progress_scale_.SetMaximum(maximum));
}

void TFormType::SetProgressPosition(int64_t position) {
  Progress->setValue(progress_scale_.Position(position));
}

void TFormType::ProcessMessages() {
  Render();
  QCoreApplication::processEvents();
  // a stop signal asks for no confirmation: whoever sent it is not at the window
  if (InterruptionGuard::Signal() != 0 && flow_.ModalResult() == mrNone) flow_.SetModalResult(mrAbort);
}

DialogButton TFormType::MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) {
  return DialogHandler(kind, text, buttons);
}

std::optional<fs::path> TFormType::ChooseDiscFolder(const std::string& prompt) {
  // Opens beside the current disc, where the other discs of a copied set or other media lie. Qt's
  // own chooser, whose texts are Japanese like the program's; a desktop's chooser follows the
  // desktop's language.
  const fs::path disc = FolderWithoutDelimiter(SourceFolder());
  DiscChooser chooser(this, Text(prompt), QString::fromStdString(PathToUtf8(disc.parent_path())));
  ShowFoldersOnlyColumns(chooser);
  new TFocusRing(chooser);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
  return Utf8ToPath(chooser.selectedFiles().first().toStdString());
}

void TFormType::Sleep(int milliseconds) {
  QThread::msleep(static_cast<unsigned long>(std::max(milliseconds, 0)));
}

void TFormType::BringToFront() {
  if (QGuiApplication::platformName() == "offscreen") return;  // no window stack to come to the front of
  raise();
  activateWindow();
}

}  // namespace vn
