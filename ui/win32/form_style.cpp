#include "ui/win32/form_style.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "installer/wizard_front_end.h"
#include "messages/messages.h"
#include "ui/win32/form.h"

namespace vn {

namespace {

constexpr wchar_t kDesignedFace[] = L"ＭＳ Ｐゴシック";
constexpr int kFontPixels = 12;

int CALLBACK NoteFaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FaceInstalled(const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &query, NoteFaceFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

std::wstring& TitleStorage() {
  static std::wstring title;
  return title;
}

ErrorReporter& ReporterStorage() {
  static ErrorReporter reporter;
  return reporter;
}

DialogAnswerer& AnswererStorage() {
  static DialogAnswerer answerer;
  return answerer;
}

std::wstring ConvertFrom(UINT code_page, const std::string& bytes) {
  if (bytes.empty()) return {};
  const int n = MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

// A message dialog made as a form of its own (not MessageBox), so its buttons carry the fixed
// captions and its text the designed font on a system of any language.
class TMessageForm : public TForm {
 public:
  static constexpr int kClosedByBox = 0x100;

  TMessageForm(HWND owner, const std::wstring& caption, LPCWSTR icon, const std::wstring& text,
               unsigned buttons) {
    CreateForm(owner, caption, 200, 100);
    icon_ = LoadIconW(nullptr, icon);
    RECT bounds{0, 0, 400, 0};
    HDC dc = GetDC(Handle());
    HGDIOBJ old = SelectObject(dc, FormFont());
    DrawTextW(dc, text.c_str(), -1, &bounds, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);

    constexpr int kMargin = 12, kIcon = 32, kGap = 10, kButtonW = 75, kButtonH = 25, kButtonGap = 6;
    int count = 0;
    for (const auto& b : kDialogButtons) count += (buttons & b.button) ? 1 : 0;
    const int text_left = kMargin + kIcon + kGap;
    const int text_height = std::max<int>(bounds.bottom, kIcon);
    const int row_width = count * kButtonW + (count - 1) * kButtonGap;
    const int width = std::max<int>(text_left + bounds.right + kMargin, row_width + 2 * kMargin);
    const int buttons_top = kMargin + text_height + 16;
    const int height = buttons_top + kButtonH + kMargin;
    SetClientSize(width, height);
    const int text_top = kMargin + (text_height - bounds.bottom) / 2;
    AddControl("Message", L"Static", text, SS_LEFT | SS_NOPREFIX, text_left, text_top, bounds.right,
               bounds.bottom);
    int x = (width - row_width) / 2;
    for (const auto& b : kDialogButtons) {
      if (!(buttons & b.button)) continue;
      HWND button = AddControl(MessageName(b.caption), L"Button", Wide(Tr(b.caption)),
                               WS_TABSTOP | (results_.empty() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), x,
                               buttons_top, kButtonW, kButtonH);
      if (results_.empty()) SetDefaultButton(button);
      results_.emplace_back(button, b.button);
      x += kButtonW + kButtonGap;
    }
  }

 protected:
  void ControlCommand(HWND control, int code) override {
    if (code != BN_CLICKED) return;
    for (const auto& [button, result] : results_) {
      if (button == control) SetFormResult(result);
    }
  }
  void CloseBox() override { SetFormResult(kClosedByBox); }
  void PaintBackground(HDC dc, const RECT& client) override {
    TForm::PaintBackground(dc, client);
    DrawIconEx(dc, 12, 12, icon_, 32, 32, 0, nullptr, DI_NORMAL);
  }

 private:
  HICON icon_ = nullptr;
  std::vector<std::pair<HWND, DialogButton>> results_;
};

int ShowBox(HWND owner, const std::wstring& caption, LPCWSTR icon, const std::string& text,
            unsigned buttons) {
  TMessageForm form(owner, caption, icon, Wide(LfLineBreaks(text)), buttons);
  if (owner) form.CenterOn(owner);
  return form.ShowModal();
}

}  // namespace

std::wstring FormFontFace() {
  static const std::wstring face = [] {
    // Proportional Gothic faces first, as the designed font is one.
    for (const wchar_t* candidate :
         {kDesignedFace, L"MS PGothic", L"IPAPGothic", L"IPA Pゴシック", L"Noto Sans CJK JP", L"IPAGothic",
          L"VL PGothic", L"TakaoPGothic", L"MS UI Gothic", L"Meiryo"}) {
      if (FaceInstalled(candidate)) return std::wstring(candidate);
    }
    return std::wstring(kDesignedFace);  // the system's own substitute then
  }();
  return face;
}

HFONT FormFont() {
  static const HFONT font =
      CreateFontW(-kFontPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, FormFontFace().c_str());
  return font;
}

std::wstring Wide(const std::string& utf8) {
  return ConvertFrom(CP_UTF8, utf8);
}

std::wstring FromData(const DataString& text) {
  return ConvertFrom(932, text.bytes());
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string utf8(static_cast<size_t>(std::max(n, 0)), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr,
                        nullptr);
  return utf8;
}

const std::wstring& ApplicationTitle() {
  return TitleStorage();
}

void SetApplicationTitle(const std::wstring& title) {
  TitleStorage() = title;
}

DialogButton ShowMessageDialog(HWND owner, DialogKind kind, const std::string& text, unsigned buttons) {
  if (AnswererStorage()) return AnswererStorage()(kind, text, buttons);
  static const LPCWSTR kIcons[] = {IDI_WARNING, IDI_INFORMATION, IDI_QUESTION};
  const int result = ShowBox(owner, Wide(DialogCaption(kind)), kIcons[static_cast<int>(kind)], text, buttons);
  if (result == kButtonYes || result == kButtonNo || result == kButtonOK || result == kButtonAbort)
    return static_cast<DialogButton>(result);
  return ClosedDialogAnswer(buttons);
}

void ShowErrorBox(HWND owner, const std::string& message) {
  if (ReporterStorage()) {
    ReporterStorage()(owner, message);
    return;
  }
  ShowBox(owner, ApplicationTitle(), IDI_ERROR, message, kButtonOK);
}

void SetErrorReporter(ErrorReporter reporter) {
  ReporterStorage() = std::move(reporter);
}

void SetDialogAnswerer(DialogAnswerer answerer) {
  AnswererStorage() = std::move(answerer);
}

int TextWidth(const std::wstring& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, FormFont());
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size.cx;
}

}  // namespace vn
