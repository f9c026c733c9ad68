#include "ui/qt/start_window.h"

#include <QMessageBox>
#include <QPushButton>
#include <exception>

#include "messages/messages.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "settings/settings.h"
#include "ui/qt/fitted_text.h"
#include "ui/qt/focus_ring.h"
#include "ui/qt/form_style_window.h"
#include "ui/qt/paint_box_view.h"

namespace vn {

namespace fs = std::filesystem;

TFormStart::TFormStart(TVondInstallSet& settings, TVrFileCollection* archive, fs::path folder,
                       QWidget* parent)
    : QDialog(parent), settings_(settings), archive_(archive), folder_(std::move(folder)) {
  OpenSetupProgram = [](const fs::path& program) { return ShellOpen(program, {}, {}); };
  setFont(FormFont());
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  PaintBox = new TDXPaintBox(this);
  PaintBox->setGeometry(0, 0, kClientWidth, kClientHeight);
  btnStart = AddButton(Tr(Msg::kStartGame), start_menu::kStartTop, 0);
  btnInstall = AddButton(Tr(Msg::kStartInstall), start_menu::kInstallTop, 1);
  btnDirectX = AddButton(Tr(Msg::kStartDirectX), start_menu::kDirectXTop, 2);
  btnWinMedia = AddButton(Tr(Msg::kStartWinMedia), start_menu::kWinMediaTop, 3);
  btnExit = AddButton(Tr(Msg::kStartExit), start_menu::kExitTop, 0);
  setTabOrder(btnStart, btnInstall);
  setTabOrder(btnInstall, btnDirectX);
  setTabOrder(btnDirectX, btnWinMedia);
  setTabOrder(btnWinMedia, btnExit);
  new TFocusRing(*this);

  connect(btnStart, &QPushButton::clicked, this, &TFormStart::btnStartClick);
  connect(btnInstall, &QPushButton::clicked, this, &TFormStart::btnStartClick);
  connect(btnDirectX, &QPushButton::clicked, this, &TFormStart::btnDirectXClick);
  connect(btnWinMedia, &QPushButton::clicked, this, &TFormStart::btnWinMediaClick);
  connect(btnExit, &QPushButton::clicked, this, &TFormStart::btnExitClick);

  try {
    FormCreate();
  } catch (const std::exception& e) {
    // The menu is shown all the same, with whatever the creation reached.
    ShowErrorBox(this, QString::fromUtf8(e.what()));
  }
  FixClientSize(*this, kClientWidth, client_height_);
  PaintBox->setGeometry(0, 0, kClientWidth, client_height_);
  FitTexts(*this);
}

QPushButton* TFormStart::AddButton(const char* caption, int top, int tag) {
  auto* button = new QPushButton(QString::fromUtf8(caption), this);
  button->setGeometry(start_menu::kButtonLeft, top, start_menu::kButtonWidth, start_menu::kButtonHeight);
  button->setProperty("Tag", tag);
  button->setAutoDefault(true);  // Return presses the focused button, as on Windows
  return button;
}

void TFormStart::FormCreate() {
  const QString title = FromData(settings_.Title);
  SetApplicationTitle(title);
  setWindowTitle(title);
  btnStart->setEnabled(settings_.IsGameInstalled());
  if (archive_) {
    DrawBackground(PaintBox->Picture(), settings_, *archive_);
    PaintBox->PictureChanged();
  }

  // The runtime buttons that are not offered leave no gap: what lies below moves up.
  const int step = start_menu::kRuntimeStep;
  if (!start_menu::OffersRuntime(settings_, folder_, start_menu::Runtime::kDirectX)) {
    btnDirectX->hide();
    btnWinMedia->move(btnWinMedia->x(), btnWinMedia->y() - step);
    btnExit->move(btnExit->x(), btnExit->y() - step);
    client_height_ -= step;
  }
  if (!start_menu::OffersRuntime(settings_, folder_, start_menu::Runtime::kWinMedia)) {
    btnWinMedia->hide();
    btnExit->move(btnExit->x(), btnExit->y() - step);
    client_height_ -= step;
  }
}

void TFormStart::btnStartClick() {
  start_choice_ = sender() ? sender()->property("Tag").toInt() : 0;
  accept();
}

void TFormStart::btnExitClick() {
  reject();
}

// The setup program runs on its own; whether it started is not reported, and the menu stays. Only
// a Windows setup that cannot start for want of Wine is explained, as the user can mend that.
void TFormStart::btnDirectXClick() {
  OpenSetup(start_menu::Runtime::kDirectX);
}

void TFormStart::btnWinMediaClick() {
  OpenSetup(start_menu::Runtime::kWinMedia);
}

void TFormStart::OpenSetup(start_menu::Runtime runtime) {
  fs::path program;
  try {
    program = start_menu::SetupProgram(folder_, runtime);  // copied out of a disc image first
  } catch (const std::exception& e) {
    ShowErrorBox(this, QString::fromUtf8(e.what()));
    return;
  }
  const std::string hint = ShellOpenFailureHint(program, OpenSetupProgram(program));
  if (!hint.empty()) {
    QMessageBox::warning(this, QString::fromUtf8(Tr(Msg::kCaptionWarning)), QString::fromStdString(hint),
                         QMessageBox::Ok);
  }
}

}  // namespace vn
