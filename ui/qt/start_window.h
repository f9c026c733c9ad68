// TFormStart: the start menu of a launcher started without arguments: start the installed game,
// install, run the DirectX or Windows Media Player setup lying beside the launcher, exit.
#pragma once

#include <QDialog>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "launcher/start_menu.h"

class QPushButton;

namespace vn {

class TDXPaintBox;
class TVondInstallSet;
class TVrFileCollection;

class TFormStart : public QDialog {
  Q_OBJECT

 public:
  // `folder`: the launcher's own folder, where the runtime setups lie. `archive` holds the
  // background picture (none: no picture).
  TFormStart(TVondInstallSet& settings, TVrFileCollection* archive, std::filesystem::path folder,
             QWidget* parent = nullptr);

  // The Tag of the button that closed the menu with OK: 0 game start, 1 install.
  int32_t StartChoice() const { return start_choice_; }

  // Starts a runtime setup program; the shell's "open" unless replaced.
  std::function<int(const std::filesystem::path& program)> OpenSetupProgram;

  TDXPaintBox* PaintBox;
  QPushButton* btnStart;
  QPushButton* btnInstall;
  QPushButton* btnDirectX;
  QPushButton* btnWinMedia;
  QPushButton* btnExit;

  static constexpr int kClientWidth = start_menu::kClientWidth;
  static constexpr int kClientHeight = start_menu::kClientHeight;

 private slots:
  void btnStartClick();
  void btnExitClick();
  void btnDirectXClick();
  void btnWinMediaClick();

 private:
  void FormCreate();
  QPushButton* AddButton(const char* caption, int top, int tag);
  void OpenSetup(start_menu::Runtime runtime);

  TVondInstallSet& settings_;
  TVrFileCollection* archive_;
  std::filesystem::path folder_;
  int32_t start_choice_ = 0;
  int client_height_ = kClientHeight;
};

}  // namespace vn
