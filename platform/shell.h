// The shell's "open": start a program, or hand a document or folder to the desktop.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vn {

// Results below or at this value are errors, as the Windows shell reports them.
constexpr int kShellErrorLimit = 32;
// Error results.
constexpr int kShellOutOfResources = 0;
constexpr int kShellFileNotFound = 2;
constexpr int kShellPathNotFound = 3;
constexpr int kShellAccessDenied = 5;
constexpr int kShellBadFormat = 11;
constexpr int kShellNoAssociation = 31;
// The result of a successful start (any value above kShellErrorLimit means success).
constexpr int kShellStarted = 42;

// Opens `file`: a program is started with the arguments in `params` (UTF-8) in `working_folder` (the
// caller's current folder when empty); anything else goes to the desktop's opener. The caller never
// waits for what was started. Returns kShellStarted, or an error code: kShellFileNotFound,
// kShellPathNotFound (its folder, or the working folder, is missing), kShellAccessDenied,
// kShellBadFormat, kShellNoAssociation (no opener), kShellOutOfResources.
//
// POSIX: a program is a regular file we may execute that is an ELF binary or a script starting with
// "#!"; it is started in a session of its own, detached from this process. A Windows program (a
// regular file starting with "MZ", executable bit or not) is started the same way through Wine:
// $VN_WINE, else `wine` found on PATH, with WineLocaleVariables() for it so that it runs under code
// page 932 in the right prefix (PrepareWindowsProgram's work done first); without Wine the
// result is kShellNoAssociation (ShellOpenFailureHint says what to install). Everything else
// (documents, folders) goes to `xdg-open FILE` -- $VN_XDG_OPEN names another opener -- which counts
// as success once it was started; `params` are not passed to it.
// Windows: ShellExecuteW "open"; an error is the shell's own code (at most kShellErrorLimit).
int ShellOpen(const std::filesystem::path& file, std::string_view params,
              const std::filesystem::path& working_folder);

// Whether this system starts Windows programs itself (elsewhere they run through Wine).
#ifdef _WIN32
constexpr bool kRunsWindowsProgramsNatively = true;
#else
constexpr bool kRunsWindowsProgramsNatively = false;
#endif

// Whether `file` is a Windows program: a regular file that begins with "MZ".
bool IsWindowsProgram(const std::filesystem::path& file);

// The environment variables ("NAME=value") a Windows program gets when it is started through Wine:
// LC_ALL and LANG ja_JP.UTF-8 (code page 932), LOCPATH where that locale is not installed and a
// private copy made with localedef serves instead, so that Wine can still convert Japanese file
// names, and WINEPREFIX: the user's when set, else vnsetup's own prefix under the Local AppData folder
// (vnsetup/wine), where it writes font replacements for the Windows fonts games name ("ＭＳ ゴシック",
// "ＭＳ Ｐゴシック", "ＭＳ 明朝", "ＭＳ Ｐ明朝" to Noto Sans/Serif CJK JP or the IPA faces). POSIX only.
std::vector<std::string> WineLocaleVariables();

// Readies what the Windows program `file` needs to run here as ShellOpen starts it (the Japanese
// locale compiled, vnsetup's Wine prefix with its font replacements) and says, in UTF-8 for a message,
// what still keeps it from running as it should: without Wine what to install (as
// ShellOpenFailureHint says it), without a Japanese locale that Wine can use (none installed, none
// can be compiled) that Japanese file names will fail and what to install. Empty when nothing does,
// for anything that is no Windows program, and on Windows.
std::string PrepareWindowsProgram(const std::filesystem::path& file);

// What the user must do so that ShellOpen(file) can succeed after it failed with `result`, in UTF-8
// for a message; empty when there is nothing to add. POSIX: a Windows program without Wine names the
// package to install.
std::string ShellOpenFailureHint(const std::filesystem::path& file, int result);

// The arguments of a command-line parameter string: split at spaces and tabs outside double quotes;
// the quotes themselves are dropped ("\"a b\" c" gives "a b" and "c"). A backslash is an ordinary
// character, so a quoted folder ending in a delimiter stays whole.
std::vector<std::string> SplitParameters(std::string_view params);

}  // namespace vn
