#include "ui/win32/start_form.h"

#include <exception>
#include <string>
#include <system_error>

#include "installer/wizard_host.h"
#include "messages/messages.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "settings/settings.h"
#include "ui/win32/form_style.h"

namespace vn {

namespace fs = std::filesystem;

TFormStart::TFormStart(TVondInstallSet& settings, TVrFileCollection* archive, fs::path folder)
    : settings_(settings), archive_(archive), folder_(std::move(folder)) {
  CreateForm(nullptr, L"", kClientWidth, kClientHeight);
  // The buttons in their tab order; the paint box is the window's own background.
  btnStart = AddButton("btnStart", Tr(Msg::kStartGame), start_menu::kStartTop);
  btnInstall = AddButton("btnInstall", Tr(Msg::kStartInstall), start_menu::kInstallTop);
  btnDirectX = AddButton("btnDirectX", Tr(Msg::kStartDirectX), start_menu::kDirectXTop);
  btnWinMedia = AddButton("btnWinMedia", Tr(Msg::kStartWinMedia), start_menu::kWinMediaTop);
  btnExit = AddButton("btnExit", Tr(Msg::kStartExit), start_menu::kExitTop);
  try {
    FormCreate();
  } catch (const std::exception& e) {
    // The menu is shown all the same, with whatever the creation reached.
    ShowErrorBox(Handle(), e.what());
  }
  SetClientSize(kClientWidth, client_height_);
  PaintBox.Width = kClientWidth;
  PaintBox.Height = client_height_;
  canvas_.Compose(kClientWidth, client_height_, nullptr, PaintBox, std::nullopt);
}

HWND TFormStart::AddButton(const char* name, const char* caption, int top) {
  return AddControl(name, L"Button", Wide(caption), WS_TABSTOP | BS_PUSHBUTTON, start_menu::kButtonLeft, top,
                    start_menu::kButtonWidth, start_menu::kButtonHeight);
}

void TFormStart::MoveUp(HWND button, int step) {
  RECT r{};
  GetWindowRect(button, &r);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&r), 2);
  SetWindowPos(button, nullptr, r.left, r.top - step, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormStart::FormCreate() {
  const std::wstring title = FromData(settings_.Title);
  SetApplicationTitle(title);
  SetCaption(title);
  EnableWindow(btnStart, settings_.IsGameInstalled());
  if (archive_) {
    PaintBox.Width = kClientWidth;
    PaintBox.Height = kClientHeight;
    DrawBackground(PaintBox, settings_, *archive_);
  }

  // The runtime buttons that are not offered leave no gap: what lies below moves up.
  constexpr int step = start_menu::kRuntimeStep;
  if (!start_menu::OffersRuntime(settings_, folder_, start_menu::Runtime::kDirectX)) {
    ShowWindow(btnDirectX, SW_HIDE);
    MoveUp(btnWinMedia, step);
    MoveUp(btnExit, step);
    client_height_ -= step;
  }
  if (!start_menu::OffersRuntime(settings_, folder_, start_menu::Runtime::kWinMedia)) {
    ShowWindow(btnWinMedia, SW_HIDE);
    MoveUp(btnExit, step);
    client_height_ -= step;
  }
}

std::vector<std::string> TFormStart::WindowlessLayout() const {
  return {PaintBoxLayout(PaintBox)};
}

void TFormStart::PaintBackground(HDC dc, const RECT& client) {
  canvas_.Paint(dc, client);
}

void TFormStart::ControlCommand(HWND control, int code) {
  if (code != BN_CLICKED) return;
  if (control == btnStart || control == btnInstall) btnStartClick(control);
  if (control == btnExit) SetFormResult(mrCancel);
  if (control == btnDirectX) btnDirectXClick();
  if (control == btnWinMedia) btnWinMediaClick();
}

void TFormStart::btnStartClick(HWND button) {
  start_choice_ = button == btnInstall ? 1 : 0;  // the buttons' Tags
  SetFormResult(mrOK);
}

// The setup program runs on its own; whether it started is not reported, and the menu stays.
void TFormStart::btnDirectXClick() {
  ShellOpen(start_menu::SetupProgram(folder_, start_menu::Runtime::kDirectX), {}, {});
}

void TFormStart::btnWinMediaClick() {
  ShellOpen(start_menu::SetupProgram(folder_, start_menu::Runtime::kWinMedia), {}, {});
}

}  // namespace vn
