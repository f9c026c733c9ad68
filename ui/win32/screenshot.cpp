#include "ui/win32/screenshot.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/png_io.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "ui/win32/form.h"
#include "ui/win32/form_style.h"

namespace vn {

namespace fs = std::filesystem;

void CaptureClient(HWND window, TDIBSurface& target) {
  RECT client{};
  GetClientRect(window, &client);
  const int width = client.right, height = client.bottom;
  target.SetSize(width, height, 24);
  if (width <= 0 || height <= 0) return;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  HDC window_dc = GetDC(window);
  HDC memory = CreateCompatibleDC(window_dc);
  HBITMAP bitmap = CreateCompatibleBitmap(window_dc, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  // The window's own surface holds what it and its controls have drawn.
  BitBlt(memory, 0, 0, width, height, window_dc, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, the surface's row order
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), target.ScanLine(height - 1), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, window_dc);
}

void DrawInFront(TDIBSurface& picture, HWND back, HWND front) {
  TDIBSurface in_front;
  CaptureClient(front, in_front);
  POINT back_origin{0, 0}, front_origin{0, 0};
  ClientToScreen(back, &back_origin);
  ClientToScreen(front, &front_origin);
  picture.CopyFrom(front_origin.x - back_origin.x, front_origin.y - back_origin.y, in_front);
}

namespace {

// Whether a control draws its text cut: a label's wrapped lines taller or wider than the label, a
// button's or a check box's caption wider than the room beside its box. Lines that name files are
// shortened by design (SS_PATHELLIPSIS) and are not counted.
bool TextCut(HWND control, const std::wstring& text) {
  if (text.empty() || !IsWindowVisible(control)) return false;
  wchar_t window_class[32] = {};
  GetClassNameW(control, window_class, 32);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  const bool label = _wcsicmp(window_class, L"Static") == 0;
  if (!label && _wcsicmp(window_class, L"Button") != 0) return false;
  if (label && ((style & SS_TYPEMASK) != SS_LEFT || (style & SS_PATHELLIPSIS))) return false;
  RECT room{};
  GetClientRect(control, &room);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT drawn{0, 0, room.right, 0};
  bool cut;
  if (label) {
    DrawTextW(dc, text.c_str(), -1, &drawn,
              DT_CALCRECT | DT_WORDBREAK | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
    cut = drawn.bottom > room.bottom || drawn.right > room.right;
  } else {
    DrawTextW(dc, text.c_str(), -1, &drawn, DT_CALCRECT | DT_SINGLELINE);
    const LONG type = style & BS_TYPEMASK;
    const bool boxed = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                       type == BS_AUTORADIOBUTTON;
    cut = drawn.right > room.right - (boxed ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 4);
  }
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return cut;
}

}  // namespace

void SavePicture(const TDIBSurface& picture, const TForm& form, const fs::path& file) {
  const std::string png = EncodePng(picture, false);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  if (!out.flush()) throw Exception("cannot save the picture " + PathToUtf8(file));

  fs::path layout_file = file;
  layout_file.replace_extension(".layout");
  std::ofstream layout(layout_file, std::ios::binary | std::ios::trunc);
  RECT client{};
  GetClientRect(form.Handle(), &client);
  wchar_t caption[256] = {};
  GetWindowTextW(form.Handle(), caption, 256);
  layout << "client 0 0 " << client.right << ' ' << client.bottom << " visible enabled " << Narrow(caption)
         << '\n';
  for (const std::string& line : form.WindowlessLayout()) layout << line << '\n';
  std::vector<std::string> cut;
  for (const TForm::Control& c : form.Controls()) {
    RECT r{};
    GetWindowRect(c.handle, &r);
    MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&r), 2);
    wchar_t text[512] = {};
    GetWindowTextW(c.handle, text, 512);
    std::wstring shown = text;
    if (TextCut(c.handle, shown)) cut.push_back("cut " + std::string(c.name) + ' ' + Narrow(shown));
    for (wchar_t& ch : shown) {
      if (ch == L'\r' || ch == L'\n') ch = L' ';
    }
    if (shown.size() > 80) shown.resize(80);
    layout << c.name << ' ' << r.left << ' ' << r.top << ' ' << (r.right - r.left) << ' '
           << (r.bottom - r.top) << (IsWindowVisible(c.handle) ? " visible" : " hidden")
           << (IsWindowEnabled(c.handle) ? " enabled " : " disabled ") << Narrow(shown) << '\n';
  }
  // Texts drawn cut, one line each after the controls: "cut NAME TEXT".
  for (const std::string& line : cut) layout << line << '\n';
  if (!layout.flush()) throw Exception("cannot save the layout " + PathToUtf8(layout_file));
  std::printf("%s\n", PathToUtf8(file).c_str());
  std::fflush(stdout);
}

}  // namespace vn
