// The entry flow's windows in Qt: the start menu, the main window with the wizard, and the
// warning boxes.
#pragma once

#include <QString>
#include <filesystem>

#include "launcher/launcher_ui.h"

class QDialog;

namespace vn {

class QtLauncherUi : public LauncherUi {
 public:
  // `folder`: the launcher's own folder (where the start menu finds the runtime setups).
  explicit QtLauncherUi(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // Unattended picture taking: every window is shown, saved as a PNG picture to `file` once it
  // has painted, and closed as by its close box; message boxes go to stderr instead.
  void SetScreenshotFile(const QString& file);

  bool ShowStartMenu(TVondInstallSet& settings, int32_t& start_choice) override;
  void RunWizard(TVondInstallSet& settings) override;
  void ShowWarning(const std::string& text) override;
  void ShowSystemWarning(const std::string& text) override;

 private:
  // Arranges the screenshot of `window` once its modal run has begun; `front` names a window shown
  // modally in front of it, which the picture includes.
  void ScheduleScreenshot(QDialog& window, QDialog* (*front)(QDialog&) = nullptr);

  std::filesystem::path folder_;
  QString screenshot_file_;
};

}  // namespace vn
