// wizard_driver STEP...: works another program's windows as a user would, with mouse and keyboard.
// Each STEP is "CAPTION|TEXT": wait (up to 60 s) until a visible, enabled top-level window titled
// CAPTION has an enabled control whose text is TEXT, then move the mouse pointer onto that control and
// click it (SendInput, the system's synthetic input). TEXT "{RETURN}" presses the Return key in that
// window instead; "{TEXTS}" prints the texts of the window and of its controls, one a line, as they
// read back (GetWindowTextW); "{TYPE}..." puts the text after it into the window's first edit box
// that takes typing (as if typed: the window hears of the change). Two steps also find a window that
// a question disables: "{HOVER}TEXT" rests the pointer on the control whose text ends with TEXT and
// prints that text ("line: ...") and the tool tip that shows ("tip: ..."); "{PROGRESS}FOLDER" samples the
// window's progress bar and the bytes of the files under FOLDER (in this order, so that the bytes are never
// fewer than when the bar was read), "bar MAX-OF-BAR BYTES LINE" a line, LINE the text just above the bar,
// until the bar is no longer shown. "wizard_driver --drive-type D:\" prints the type of that drive as
// GetDriveTypeW gives it. Exit status: 0 every step done, 1 a step timed out (named on stderr), 2 bad
// arguments.
#include <windows.h>
// after <windows.h>, whose types it uses
#include <commctrl.h>
#include <shellapi.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr,
                      nullptr);
  return utf8;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

struct Search {
  std::wstring caption, text;
  HWND window = nullptr, control = nullptr;
};

BOOL CALLBACK FindControl(HWND child, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (IsWindowVisible(child) && IsWindowEnabled(child) && TextOf(child) == s->text) {
    s->control = child;
    return FALSE;
  }
  return TRUE;
}

constexpr wchar_t kReturnKey[] = L"{RETURN}";
constexpr wchar_t kTexts[] = L"{TEXTS}";
constexpr wchar_t kType[] = L"{TYPE}";
constexpr wchar_t kHover[] = L"{HOVER}";
constexpr wchar_t kProgress[] = L"{PROGRESS}";

bool Starts(const std::wstring& text, const wchar_t* tag) {
  return text.compare(0, wcslen(tag), tag) == 0;
}

bool IsTyping(const std::wstring& text) {
  return Starts(text, kType);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// The first edit box the user could type into: shown and not read-only.
BOOL CALLBACK FindEdit(HWND child, LPARAM param) {
  if (_wcsicmp(ClassOf(child).c_str(), L"Edit") != 0 || !IsWindowVisible(child) ||
      (GetWindowLongW(child, GWL_STYLE) & ES_READONLY))
    return TRUE;
  *reinterpret_cast<HWND*>(param) = child;
  return FALSE;
}

BOOL CALLBACK PrintText(HWND child, LPARAM) {
  std::printf("%s\n", Narrow(TextOf(child)).c_str());
  return TRUE;
}

BOOL CALLBACK FindControlEndingWith(HWND child, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  const std::wstring text = TextOf(child);
  if (IsWindowVisible(child) && text.size() >= s->text.size() &&
      text.compare(text.size() - s->text.size(), s->text.size(), s->text) == 0) {
    s->control = child;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindProgressBar(HWND child, LPARAM param) {
  if (_wcsicmp(ClassOf(child).c_str(), PROGRESS_CLASSW) != 0 || !IsWindowVisible(child)) return TRUE;
  *reinterpret_cast<HWND*>(param) = child;
  return FALSE;
}

BOOL CALLBACK FindWindowWithControl(HWND top, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  const bool disabled_too = Starts(s->text, kHover) || Starts(s->text, kProgress);
  if (!IsWindowVisible(top) || (!IsWindowEnabled(top) && !disabled_too) || TextOf(top) != s->caption)
    return TRUE;
  if (s->text == kReturnKey || s->text == kTexts) s->control = top;
  if (IsTyping(s->text)) EnumChildWindows(top, FindEdit, reinterpret_cast<LPARAM>(&s->control));
  if (Starts(s->text, kProgress))
    EnumChildWindows(top, FindProgressBar, reinterpret_cast<LPARAM>(&s->control));
  if (!s->control && Starts(s->text, kHover)) {
    Search label = *s;
    label.text = s->text.substr(wcslen(kHover));
    EnumChildWindows(top, FindControlEndingWith, reinterpret_cast<LPARAM>(&label));
    s->control = label.control;
  }
  if (!s->control) EnumChildWindows(top, FindControl, param);
  if (!s->control) return TRUE;
  s->window = top;
  return FALSE;
}

void ClickAt(int x, int y) {
  SetCursorPos(x, y);
  Sleep(50);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof(INPUT));
}

int64_t BytesUnder(const std::wstring& folder) {
  int64_t bytes = 0;
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      bytes += BytesUnder(folder + L"\\" + name);
    } else {
      bytes += (static_cast<int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return bytes;
}

// The text of the visible static control whose bottom lies nearest above the bar's top.
struct LineAbove {
  RECT bar;
  HWND line = nullptr;
  LONG bottom = LONG_MIN;
};

BOOL CALLBACK FindLineAbove(HWND child, LPARAM param) {
  auto* s = reinterpret_cast<LineAbove*>(param);
  RECT r{};
  if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && IsWindowVisible(child) &&
      GetWindowRect(child, &r) && r.bottom <= s->bar.top && r.bottom > s->bottom) {
    s->line = child;
    s->bottom = r.bottom;
  }
  return TRUE;
}

void SampleProgress(HWND window, HWND bar, const std::wstring& folder) {
  while (IsWindow(bar) && IsWindowVisible(bar)) {
    const LRESULT position = SendMessageW(bar, PBM_GETPOS, 0, 0);
    const LRESULT maximum = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
    const int64_t bytes = BytesUnder(folder);
    LineAbove above{};
    GetWindowRect(bar, &above.bar);
    EnumChildWindows(window, FindLineAbove, reinterpret_cast<LPARAM>(&above));
    std::printf("%ld %ld %lld %s\n", static_cast<long>(position), static_cast<long>(maximum),
                static_cast<long long>(bytes), above.line ? Narrow(TextOf(above.line)).c_str() : "");
    std::fflush(stdout);
    Sleep(20);
  }
}

// The text of the tool tip shown first within a few seconds.
BOOL CALLBACK FindShownTip(HWND top, LPARAM param) {
  if (_wcsicmp(ClassOf(top).c_str(), TOOLTIPS_CLASSW) != 0 || !IsWindowVisible(top)) return TRUE;
  // Asked of the tip itself: the text of another program's window is otherwise its caption.
  wchar_t text[1024] = {};
  SendMessageW(top, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  *reinterpret_cast<std::wstring*>(param) = text;
  return FALSE;
}

std::wstring ShownTip() {
  std::wstring tip;
  for (int i = 0; i < 50 && tip.empty(); ++i) {
    Sleep(100);
    EnumWindows(FindShownTip, reinterpret_cast<LPARAM>(&tip));
  }
  return tip;
}

void PressReturn() {
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_KEYBOARD;
  input[0].ki.wVk = input[1].ki.wVk = VK_RETURN;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

}  // namespace

int main() {
  // The steps from the wide command line: the ANSI code page need not hold their Japanese texts.
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) {
    std::fprintf(stderr, "usage: wizard_driver CAPTION|TEXT...\n");
    return 2;
  }
  if (argc == 3 && std::wstring(argv[1]) == L"--drive-type") {
    std::printf("%u\n", GetDriveTypeW(argv[2]));
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    const std::wstring wide_step = argv[i];
    const std::string step = Narrow(wide_step);
    const size_t bar = wide_step.find(L'|');
    if (bar == std::wstring::npos) {
      std::fprintf(stderr, "wizard_driver: no '|' in the step %s\n", step.c_str());
      return 2;
    }
    Search search;
    search.caption = wide_step.substr(0, bar);
    search.text = wide_step.substr(bar + 1);
    const DWORD start = GetTickCount();
    while (!search.control && GetTickCount() - start < 60000) {
      Sleep(200);
      EnumWindows(FindWindowWithControl, reinterpret_cast<LPARAM>(&search));
    }
    if (!search.control) {
      std::fprintf(stderr, "wizard_driver: step %d timed out: %s\n", i, step.c_str());
      return 1;
    }
    if (Starts(search.text, kProgress)) {
      SampleProgress(search.window, search.control, search.text.substr(wcslen(kProgress)));
      continue;
    }
    if (Starts(search.text, kHover)) {
      RECT r{};
      GetWindowRect(search.control, &r);
      SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
      std::printf("line: %s\n", Narrow(TextOf(search.control)).c_str());
      std::printf("tip: %s\n", Narrow(ShownTip()).c_str());
      std::fflush(stdout);
      continue;
    }
    SetForegroundWindow(search.window);
    Sleep(300);  // the window has painted its page
    if (search.text == kReturnKey) {
      PressReturn();
    } else if (search.text == kTexts) {
      std::printf("%s\n", Narrow(TextOf(search.window)).c_str());
      EnumChildWindows(search.window, PrintText, 0);
    } else if (IsTyping(search.text)) {
      SendMessageW(search.control, WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(search.text.substr(wcslen(kType)).c_str()));
    } else {
      RECT r{};
      GetWindowRect(search.control, &r);
      ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    std::printf("clicked: %s\n", step.c_str());
    std::fflush(stdout);
    Sleep(300);
  }
  return 0;
}
