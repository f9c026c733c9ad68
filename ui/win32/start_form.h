// TFormStart on Windows: the start menu of a launcher started without arguments: start the installed
// game, install, run the DirectX or Windows Media Player setup lying beside the launcher, exit.
#pragma once

#include <cstdint>
#include <filesystem>

#include "launcher/background.h"
#include "launcher/start_menu.h"
#include "ui/win32/background_canvas.h"
#include "ui/win32/form.h"

namespace vn {

class TVondInstallSet;
class TVrFileCollection;

class TFormStart : public TForm {
 public:
  // `folder`: the launcher's own folder, where the runtime setups lie. `archive` holds the
  // background picture (none: no picture).
  TFormStart(TVondInstallSet& settings, TVrFileCollection* archive, std::filesystem::path folder);

  // The Tag of the button that closed the menu with OK: 0 game start, 1 install.
  int32_t StartChoice() const { return start_choice_; }

  HWND btnStart, btnInstall, btnDirectX, btnWinMedia, btnExit;
  TDXPaintBoxPicture PaintBox;

  static constexpr int kClientWidth = start_menu::kClientWidth;
  static constexpr int kClientHeight = start_menu::kClientHeight;

 protected:
  std::vector<std::string> WindowlessLayout() const override;
  void ControlCommand(HWND control, int code) override;
  void PaintBackground(HDC dc, const RECT& client) override;

 private:
  void FormCreate();
  HWND AddButton(const char* name, const char* caption, int top);
  void MoveUp(HWND button, int step);
  void btnStartClick(HWND button);
  void btnDirectXClick();
  void btnWinMediaClick();

  TVondInstallSet& settings_;
  TVrFileCollection* archive_;
  std::filesystem::path folder_;
  TBackgroundCanvas canvas_;
  int32_t start_choice_ = 0;
  int client_height_ = kClientHeight;
};

}  // namespace vn
