// What the entry flow asks of the windows. The Qt windows (Linux), the Win32 windows (Windows) and the
// unattended console run implement it for vnsetup; tests implement it without windows, so the whole
// start-up runs headless.
#pragma once

#include <cstdint>
#include <string>

namespace vn {

class TVondInstallSet;

class LauncherUi {
 public:
  virtual ~LauncherUi() = default;

  // Shows the start menu modally. True when it closed with OK; start_choice is then the menu's
  // StartChoice (0 game start, 1 install).
  virtual bool ShowStartMenu(TVondInstallSet& settings, int32_t& start_choice) = 0;
  // Shows the main window, which shows the wizard modally in front of itself; returns when both
  // are closed and released.
  virtual void RunWizard(TVondInstallSet& settings) = 0;
  // A warning dialog: caption "警告", warning icon, one OK button.
  virtual void ShowWarning(const std::string& text) = 0;
  // The same as a system message box without owner window (before any window exists).
  virtual void ShowSystemWarning(const std::string& text) = 0;
};

}  // namespace vn
