// vnsetup: the launcher, installer and uninstaller of a game disc.
//
// `vnsetup --unattended [options] [SOURCE]` installs or uninstalls without any window (see
// unattended_command.cpp); it starts no window toolkit, so it runs without a display.
//
// `vnsetup --disc DIR|IMAGE` is the launcher of the disc in DIR (or in the disc image): what that
// disc's own launcher shows when started there (app/disc_source.h).
//
// VNSETUP_SCREENSHOT=FILE runs without a user for a picture of the first window: it is saved to FILE
// (its path printed) and closed as by its close box.
#include <QApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/disc_source.h"
#include "app/display_check.h"
#include "app/unattended_command.h"
#include "launcher/entry_flow.h"
#include "messages/messages.h"
#include "platform/disc_files.h"
#include "ui/qt/form_style_window.h"
#include "ui/qt/launcher_ui_window.h"

namespace {

void ReportNoDisplay(const std::string& reason) {
  std::fprintf(stderr,
               "vnsetup: no display to open a window on (%s).\n"
               "To install or uninstall without a window, run: vnsetup --unattended [--accept-license] "
               "[SOURCE] (see vnsetup --help).\n",
               reason.c_str());
}

// Without a display Qt would end the process with SIGABRT inside QApplication: say what is missing
// and how to install without a window instead.
bool CheckDisplay(int argc, char** argv) {
  std::string reason;
  if (vn::WindowSystemAvailable(argc, argv, reason)) return true;
  ReportNoDisplay(reason);
  return false;
}

// The display can still fail Qt after the check passed (a server that refuses the connection, a
// platform plugin that cannot load): Qt then reports a fatal error and aborts. While the application
// object is being made, such an error ends the run as a missing display does, with exit code 2.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtFatalMsg) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    return;
  }
  ReportNoDisplay(message.simplified().toStdString());
  std::fflush(stderr);
  std::_Exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  // What a killed run copied out of a disc image would otherwise stay until a run needs the space.
  vn::RemoveAbandonedDiscScratch();
  if (const std::string problem = vn::ChooseLanguage(argc, argv); !problem.empty()) {
    std::fprintf(stderr, "vnsetup: %s\n", problem.c_str());
    return 2;
  }
  if (vn::WantsUnattended(argc, argv)) return vn::RunUnattendedCommand(argc, argv);
  if (!CheckDisplay(argc, argv)) return 2;
  const QtMessageHandler previous = qInstallMessageHandler(StartupMessageHandler);
  QApplication app(argc, argv);  // takes Qt's own options (-platform ...) out of argv
  qInstallMessageHandler(previous);
  vn::InstallFormFontSubstitute();
  vn::InstallQtTranslations();
  vn::EntryEnvironment env = vn::ProcessEnvironment(argc, argv);
  try {
    if (const std::string usage = vn::ApplyDiscArguments(env); !usage.empty()) {
      std::fprintf(stderr, "vnsetup: %s\n", usage.c_str());
      return 2;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vnsetup: %s\n", e.what());
    if (!std::getenv("VNSETUP_SCREENSHOT")) vn::ShowErrorBox(nullptr, QString::fromUtf8(e.what()));
    return 1;
  }
  vn::QtLauncherUi ui(vn::LauncherFolder(env));
  if (const char* file = std::getenv("VNSETUP_SCREENSHOT"); file && *file) {
    ui.SetScreenshotFile(QString::fromLocal8Bit(file));
  }
  try {
    return vn::RunEntryFlow(env, ui);
  } catch (const std::exception& e) {
    // The report of an error nothing below caught: its message, the application title as caption.
    vn::ShowErrorBox(nullptr, QString::fromUtf8(e.what()));
    return 1;
  }
}
