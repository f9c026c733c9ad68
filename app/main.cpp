// vnsetup: the launcher, installer and uninstaller of a game disc.
//
// VNSETUP_SCREENSHOT=FILE runs unattended for a picture of the first window: it is saved to FILE
// (its path printed) and closed as by its close box.
#include <QApplication>
#include <cstdlib>
#include <exception>

#include "launcher/entry_flow.h"
#include "launcher/form_style_window.h"
#include "launcher/launcher_ui_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);  // takes Qt's own options (-platform ...) out of argv
  vn::InstallFormFontSubstitute();
  const vn::EntryEnvironment env = vn::ProcessEnvironment(argc, argv);
  vn::QtLauncherUi ui(env.exe.parent_path());
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
