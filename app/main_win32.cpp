// vnsetup.exe: the launcher, installer and uninstaller of a game disc, on Windows.
//
// A windowed program (no console of its own). `vnsetup --unattended [options] [SOURCE]` runs
// without any window, as on Linux, and writes to the console it was started from (or wherever its
// standard output and error were redirected).
//
// VNSETUP_SCREENSHOT=FILE runs without a user for a picture of the first window: it is saved to FILE
// (its path printed) and closed as by its close box. VNSETUP_SCREENSHOT_PAGES=FOLDER saves every
// wizard page there as well.
#include <windows.h>
// after <windows.h>, whose types they use
#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/unattended_command.h"
#include "launcher/entry_flow.h"
#include "messages/messages.h"
#include "platform/console.h"
#include "platform/shell.h"
#include "ui/win32/form_style.h"
#include "ui/win32/launcher_ui_win32.h"

namespace {

bool Usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// A windowed program starts without a console: standard streams that the parent redirected are kept,
// the others go to the console of the parent (the command prompt it was typed into), if it has one.
void ConnectToParentConsole() {
  const bool have_out = Usable(GetStdHandle(STD_OUTPUT_HANDLE));
  const bool have_err = Usable(GetStdHandle(STD_ERROR_HANDLE));
  if ((have_out && have_err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!have_out) std::freopen("CONOUT$", "w", stdout);
  if (!have_err) std::freopen("CONOUT$", "w", stderr);
}

// The entry flow's arguments after the program name, split as the launcher makes its own command
// lines: a backslash before a double quote is an ordinary character, so the temporary copy's
// "C:\disc\" arrives whole (the C runtime's rules would take \" for a quote).
std::vector<std::string> EntryArguments() {
  const std::wstring line = GetCommandLineW();
  size_t i = 0;
  if (i < line.size() && line[i] == L'"') {
    i = line.find(L'"', 1);
    i = i == std::wstring::npos ? line.size() : i + 1;
  }
  while (i < line.size() && line[i] != L' ' && line[i] != L'\t') ++i;
  return vn::SplitParameters(vn::Narrow(line.substr(i)));
}

std::wstring Environment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value ? value : L"";
}

}  // namespace

int main(int argc, char** argv) {
  // UTF-8 arguments from the wide command line, never the ANSI code page's, split by one rule for
  // the windows and the unattended mode.
  std::vector<std::string> args = EntryArguments();
  std::string program = argc > 0 ? argv[0] : "vnsetup";
  std::vector<char*> utf8_argv = {program.data()};
  for (std::string& a : args) utf8_argv.push_back(a.data());
  utf8_argv.push_back(nullptr);
  int count = static_cast<int>(utf8_argv.size()) - 1;
  char** values = utf8_argv.data();
  if (const std::string problem = vn::ChooseLanguage(count, values); !problem.empty()) {
    ConnectToParentConsole();
    std::fprintf(stderr, "vnsetup: %s\n", problem.c_str());
    return 2;
  }

  if (vn::WantsUnattended(count, values)) {
    ConnectToParentConsole();
    vn::PrepareStandardStreams();
    const int code = vn::RunUnattendedCommand(count, values);
    std::fflush(stdout);
    std::fflush(stderr);
    return code;
  }

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the shell links
  INITCOMMONCONTROLSEX controls{
      sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  const vn::EntryEnvironment env = vn::ProcessEnvironment(count, values);
  vn::Win32LauncherUi ui(env);
  if (const std::wstring file = Environment(L"VNSETUP_SCREENSHOT"); !file.empty()) ui.SetScreenshotFile(file);
  if (const std::wstring folder = Environment(L"VNSETUP_SCREENSHOT_PAGES"); !folder.empty())
    ui.SetPageFolder(folder);
  if (!Environment(L"VNSETUP_SCREENSHOT").empty() || !Environment(L"VNSETUP_SCREENSHOT_PAGES").empty()) {
    ConnectToParentConsole();  // the pictures' paths and the answered messages
  }
  try {
    return vn::RunEntryFlow(env, ui);
  } catch (const std::exception& e) {
    // The report of an error nothing below caught: its message, the application title as caption.
    vn::ShowErrorBox(nullptr, e.what());
    return 1;
  }
}
