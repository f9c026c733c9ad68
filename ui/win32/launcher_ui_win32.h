// The entry flow's windows on Windows: the start menu, the main window with the wizard, and the
// warning boxes.
#pragma once

#include <filesystem>
#include <string>

#include "launcher/launcher_ui.h"

namespace vn {

struct EntryEnvironment;
class TFormType;

class Win32LauncherUi : public LauncherUi {
 public:
  explicit Win32LauncherUi(const EntryEnvironment& env);

  // Unattended picture taking: the first window is saved as PNG to `file` once it has painted (the
  // main window with the wizard in front of it) and closed as by its close box; message boxes go to
  // stderr and are answered by themselves.
  void SetScreenshotFile(const std::filesystem::path& file) { screenshot_file_ = file; }
  // Also every wizard page, as `folder`/NN-name.png: the pages up to "confirm" as Next reaches them
  // (the licence accepted), the others entered directly, "copy" and "delete" only shown as laid out
  // with the buttons they keep (their work would install or uninstall).
  void SetPageFolder(const std::filesystem::path& folder) { page_folder_ = folder; }

  bool ShowStartMenu(TVondInstallSet& settings, int32_t& start_choice) override;
  void RunWizard(TVondInstallSet& settings) override;
  void ShowWarning(const std::string& text) override;
  void ShowSystemWarning(const std::string& text) override;

 private:
  bool TakingPictures() const { return !screenshot_file_.empty() || !page_folder_.empty(); }
  void AnswerDialogsByThemselves();
  void SavePages(TFormType& wizard);

  std::filesystem::path folder_;         // the launcher's own folder (the runtime setups lie there)
  std::filesystem::path source_folder_;  // where the wizard installs from, or the install folder
  std::filesystem::path screenshot_file_;
  std::filesystem::path page_folder_;
};

}  // namespace vn
