#include "ui/qt/launcher_ui_window.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "launcher/shared_archive.h"
#include "messages/messages.h"
#include "ui/qt/form_style_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/start_window.h"
#include "ui/qt/wizard_window.h"

namespace vn {

void QtLauncherUi::SetScreenshotFile(const QString& file) {
  screenshot_file_ = file;
  SetErrorReporter([](QWidget*, const QString& message) {
    std::fprintf(stderr, "vnsetup: %s\n", message.toUtf8().constData());
  });
}

void QtLauncherUi::ScheduleScreenshot(QDialog& window, QDialog* (*front)(QDialog&)) {
  if (screenshot_file_.isEmpty()) return;
  QTimer::singleShot(0, &window, [this, &window, front] {
    window.repaint();
    QPixmap picture = window.grab();
    // A window in front (the wizard) is drawn where it stands and closed first.
    QDialog* in_front = front ? front(window) : nullptr;
    if (in_front) {
      QPainter painter(&picture);
      painter.drawPixmap(in_front->geometry().topLeft() - window.geometry().topLeft(), in_front->grab());
    }
    if (picture.save(screenshot_file_, "PNG")) {
      std::printf("%s\n", screenshot_file_.toUtf8().constData());
    } else {
      std::fprintf(stderr, "vnsetup: cannot save the screenshot %s\n", screenshot_file_.toUtf8().constData());
    }
    std::fflush(stdout);
    if (in_front) in_front->done(QDialog::Accepted);
    window.reject();
  });
}

bool QtLauncherUi::ShowStartMenu(TVondInstallSet& settings, int32_t& start_choice) {
  TFormStart form(settings, SharedArchive(), folder_);
  ScheduleScreenshot(form);
  if (form.exec() != QDialog::Accepted) return false;
  start_choice = form.StartChoice();
  return true;
}

void QtLauncherUi::RunWizard(TVondInstallSet& settings) {
  TFormMain form(settings, SharedArchive());
  form.show();
  if (QGuiApplication::platformName() != "offscreen") {  // no window stack there to come to the front of
    form.raise();
    form.activateWindow();
  }
  ScheduleScreenshot(form, [](QDialog& main) -> QDialog* { return static_cast<TFormMain&>(main).Wizard(); });
  form.RunWizard();
}

void QtLauncherUi::ShowWarning(const std::string& text) {
  if (!screenshot_file_.isEmpty()) {
    std::fprintf(stderr, "vnsetup: %s: %s\n", Tr(Msg::kCaptionWarning), text.c_str());
    return;
  }
  QMessageBox::warning(nullptr, QString::fromUtf8(Tr(Msg::kCaptionWarning)), QString::fromStdString(text),
                       QMessageBox::Ok);
}

void QtLauncherUi::ShowSystemWarning(const std::string& text) {
  ShowWarning(text);
}

}  // namespace vn
