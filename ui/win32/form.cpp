#include "ui/win32/form.h"

#include <exception>

#include "installer/wizard_host.h"
#include "ui/win32/form_style.h"

namespace vn {

namespace {

constexpr wchar_t kFormClass[] = L"VnSetupForm";
constexpr UINT kShownMessage = WM_APP + 1;
constexpr DWORD kFormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr int kFirstControlId = 100;
constexpr int kFocusRingWidth = 2;

// The modal runs in progress, innermost last: ProcessMessages gives the keyboard to the innermost.
std::vector<TForm*>& ModalStack() {
  static std::vector<TForm*> stack;
  return stack;
}

void RegisterFormClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;  // replaced per window once it knows its object
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kFormClass;
  RegisterClassExW(&wc);
  registered = true;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  return name;
}

bool IsPushButton(HWND window) {
  if (!window || _wcsicmp(ClassOf(window).c_str(), L"Button") != 0) return false;
  const LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool IsDroppedCombo(HWND window) {
  for (HWND w = window; w; w = GetParent(w)) {
    if (_wcsicmp(ClassOf(w).c_str(), L"ComboBox") == 0) return SendMessageW(w, CB_GETDROPPEDSTATE, 0, 0) != 0;
  }
  return false;
}

void Click(HWND button) {
  if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) return;
  SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

}  // namespace

TForm::TForm() = default;

TForm::~TForm() {
  if (handle_) {
    SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

void TForm::CreateForm(HWND owner, const std::wstring& caption, int client_width, int client_height) {
  RegisterFormClass();
  handle_ = CreateWindowExW(kFormExStyle, kFormClass, caption.c_str(), kFormStyle, 0, 0, 100, 100, owner,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!handle_) throw std::runtime_error("CreateWindowEx failed");
  SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm::WindowProc));
  SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
  SetClientSize(client_width, client_height);
}

void TForm::SetClientSize(int width, int height) {
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int outer_w = frame.right - frame.left, outer_h = frame.bottom - frame.top;
  // The client area centred on the desktop.
  const int x = area.left + (area.right - area.left - width) / 2 + frame.left;
  const int y = area.top + (area.bottom - area.top - height) / 2 + frame.top;
  SetWindowPos(handle_, nullptr, x, y, outer_w, outer_h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::CenterOn(HWND other) {
  RECT client{}, mine{}, frame{};
  GetClientRect(other, &client);
  POINT origin{0, 0};
  ClientToScreen(other, &origin);
  GetClientRect(handle_, &mine);
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  const int x = origin.x + (client.right - mine.right) / 2 + frame.left;
  const int y = origin.y + (client.bottom - mine.bottom) / 2 + frame.top;
  SetWindowPos(handle_, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm::SetCaption(const std::wstring& caption) {
  SetWindowTextW(handle_, caption.c_str());
}

HWND TForm::AddControl(const char* name, const wchar_t* window_class, const std::wstring& caption,
                       DWORD style, int left, int top, int width, int height) {
  const int id = kFirstControlId + static_cast<int>(controls_.size());
  HWND control = CreateWindowExW(0, window_class, caption.c_str(), WS_CHILD | WS_VISIBLE | style, left, top,
                                 width, height, handle_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  if (!control) throw std::runtime_error(std::string("cannot create the control ") + name);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
  controls_.push_back({name, control});
  return control;
}

void TForm::FocusFirstControl() {
  for (const Control& c : controls_) {
    const LONG style = GetWindowLongW(c.handle, GWL_STYLE);
    if ((style & WS_TABSTOP) && IsWindowVisible(c.handle) && IsWindowEnabled(c.handle)) {
      SetFocus(c.handle);
      return;
    }
  }
}

int TForm::ShowModal() {
  HWND owner = GetWindow(handle_, GW_OWNER);
  const bool owner_was_enabled = owner && IsWindowEnabled(owner);
  if (owner_was_enabled) EnableWindow(owner, FALSE);
  ModalStack().push_back(this);
  ShowWindow(handle_, SW_SHOW);
  SetForegroundWindow(handle_);
  const HWND focus = GetFocus();
  if (!focus || !IsChild(handle_, focus)) FocusFirstControl();
  // The system's own focus marks are shown from the start, not only once a key was pressed.
  SendMessageW(handle_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  UpdateFocusRing();
  UpdateWindow(handle_);
  shown_ = false;
  PostMessageW(handle_, kShownMessage, 0, 0);

  MSG msg;
  for (;;) {
    if (FormResult() != mrNone) {
      if (CloseQuery()) break;
      SetFormResult(mrNone);
      continue;
    }
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {  // WM_QUIT: end the run, and let the outer loops see it too
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      SetFormResult(mrCancel);
      break;
    }
    if (!HandleKeyboard(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    UpdateFocusRing();
  }
  ModalStack().pop_back();
  if (owner_was_enabled) EnableWindow(owner, TRUE);
  ShowWindow(handle_, SW_HIDE);
  if (owner) SetForegroundWindow(owner);
  return FormResult();
}

void TForm::ProcessMessages() {
  TForm* modal = ModalStack().empty() ? nullptr : ModalStack().back();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (modal && modal->HandleKeyboard(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (modal) modal->UpdateFocusRing();
}

RECT TForm::FocusRingRect(HWND control) const {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, handle_, reinterpret_cast<POINT*>(&r), 2);
  InflateRect(&r, kFocusRingWidth, kFocusRingWidth);
  return r;
}

void TForm::UpdateFocusRing() {
  // The control itself, not the edit inside a combo box.
  HWND control = GetFocus();
  while (control && GetParent(control) != handle_) control = GetParent(control);
  if (control && !IsWindowVisible(control)) control = nullptr;
  if (control == focus_ring_) return;
  for (HWND moved : {focus_ring_, control}) {
    if (!moved) continue;
    const RECT r = FocusRingRect(moved);
    InvalidateRect(handle_, &r, FALSE);
  }
  focus_ring_ = control;
}

bool TForm::HandleKeyboard(MSG& msg) {
  if (msg.hwnd != handle_ && !IsChild(handle_, msg.hwnd)) return false;
  if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
    if (IsDroppedCombo(msg.hwnd)) return false;  // the list closes first
    if (msg.wParam == VK_ESCAPE) {
      SendMessageW(handle_, WM_CLOSE, 0, 0);
    } else {
      const HWND focus = GetFocus();
      Click(IsPushButton(focus) ? focus : default_button_);
    }
    return true;
  }
  // Return and Escape arrive as characters as well once translated; they were handled above.
  if (msg.message == WM_CHAR && (msg.wParam == L'\r' || msg.wParam == 27)) return true;
  return IsDialogMessageW(handle_, &msg) != FALSE;
}

void TForm::PaintBackground(HDC dc, const RECT& client) {
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
}

void TForm::CloseBox() {
  if (FormResult() == mrNone) SetFormResult(mrCancel);
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (lparam) {
        ++handler_depth_;
        try {
          ControlCommand(reinterpret_cast<HWND>(lparam), HIWORD(wparam));
        } catch (const std::exception& e) {
          ShowErrorBox(handle_, e.what());
        }
        --handler_depth_;
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers the whole client area
    case WM_PAINT: {
      UpdateFocusRing();  // the focus may have moved without a message (a picture taken at once)
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(handle_, &ps);
      RECT client;
      GetClientRect(handle_, &client);
      PaintBackground(dc, client);
      if (focus_ring_ && IsWindowVisible(focus_ring_)) {
        RECT ring = FocusRingRect(focus_ring_);
        for (int i = 0; i < kFocusRingWidth; ++i) {
          FrameRect(dc, &ring, GetSysColorBrush(COLOR_HIGHLIGHT));
          InflateRect(&ring, -1, -1);
        }
      }
      EndPaint(handle_, &ps);
      return 0;
    }
    case WM_CLOSE:
      CloseBox();
      return 0;
    case kShownMessage:
      if (!shown_ && OnShown) {
        shown_ = true;
        RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        try {
          OnShown(*this);
        } catch (const std::exception& e) {
          ShowErrorBox(handle_, e.what());
        }
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(handle_, message, wparam, lparam);
}

LRESULT CALLBACK TForm::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form) return DefWindowProcW(window, message, wparam, lparam);
  // No exception may leave through the system's frames.
  try {
    return form->HandleMessage(message, wparam, lparam);
  } catch (const std::exception& e) {
    ShowErrorBox(window, e.what());
  } catch (...) {
    ShowErrorBox(window, "unknown error");
  }
  return 0;
}

}  // namespace vn
