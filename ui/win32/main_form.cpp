#include "ui/win32/main_form.h"

#include <algorithm>
#include <exception>

#include "messages/messages.h"
#include "settings/settings.h"
#include "ui/win32/form_style.h"

namespace vn {

TFormMain::TFormMain(TVondInstallSet& settings, TVrFileCollection* archive)
    : settings_(settings), archive_(archive) {
  CreateForm(nullptr, L"", kDesignedWidth, kDesignedHeight);
  GradBox.SetStartColor(RGBColor(0, 0, 255));  // blue
  GradBox.SetEndColor(RGBColor(0, 0, 128));    // navy
  GradBox.SetGradStep(128);
  GradBox.SetBounds(kDesignedWidth, kDesignedHeight);
  LabelRight.bounds = {0, kDesignedHeight - kFontPixels - kFooterGap, kDesignedWidth,
                       kDesignedHeight - kFooterGap};
  try {
    FormCreate();
  } catch (const std::exception& e) {
    // The window is shown all the same; the footer may stay where it was designed.
    ShowErrorBox(Handle(), e.what());
  }
  Compose();
}

SIZE TFormMain::ClientSizeFor(SIZE screen) {
  return {std::max<LONG>(600, screen.cx - 100), std::max<LONG>(400, screen.cy - 200)};
}

void TFormMain::FormCreate() {
  SetApplicationTitle(FromData(settings_.Title));
  client_ = ClientSizeFor({GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
  SetClientSize(client_.cx, client_.cy);
  GradBox.SetBounds(client_.cx, client_.cy);
  PaintBox.Width = client_.cx;
  PaintBox.Height = client_.cy;
  std::wstring caption = FromData(settings_.GetWizardCaption());
  if (settings_.Installed) {
    // The title's text as the window converts data, inside the catalogue's caption.
    caption = Wide(Tr(Msg::kMainUninstallCaption));
    if (const size_t at = caption.find(L"%1"); at != std::wstring::npos)
      caption.replace(at, 2, FromData(settings_.Title));
  }
  SetCaption(caption);
  if (archive_) DrawBackground(PaintBox, settings_, *archive_);
  LabelRight.text = FromData(settings_.FooterText) + L" ";
  const LONG top = client_.cy - kFontPixels - kFooterGap;
  LabelRight.bounds = {0, top, client_.cx, top + kFontPixels};
}

void TFormMain::Compose() {
  canvas_.Compose(client_.cx, client_.cy, &GradBox, PaintBox, LabelRight);
}

std::vector<std::string> TFormMain::WindowlessLayout() const {
  const RECT& r = LabelRight.bounds;
  return {"GradBox 0 0 " + std::to_string(GradBox.Width()) + ' ' + std::to_string(GradBox.Height()) +
              " visible enabled",
          PaintBoxLayout(PaintBox),
          "LabelRight " + std::to_string(r.left) + ' ' + std::to_string(r.top) + ' ' +
              std::to_string(r.right - r.left) + ' ' + std::to_string(r.bottom - r.top) +
              " visible enabled " + Narrow(LabelRight.text)};
}

void TFormMain::PaintBackground(HDC dc, const RECT& client) {
  canvas_.Paint(dc, client);
}

}  // namespace vn
