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
// "#!"; it is started in a session of its own, detached from this process. Everything else (documents,
// folders, Windows programs) goes to `xdg-open FILE` -- $VN_XDG_OPEN names another opener -- which
// counts as success once it was started; `params` are not passed to it.
// Windows: ShellExecuteW "open"; an error is the shell's own code (at most kShellErrorLimit).
int ShellOpen(const std::filesystem::path& file, std::string_view params,
              const std::filesystem::path& working_folder);

// The arguments of a command-line parameter string: split at spaces and tabs outside double quotes;
// the quotes themselves are dropped ("\"a b\" c" gives "a b" and "c"). A backslash is an ordinary
// character, so a quoted folder ending in a delimiter stays whole.
std::vector<std::string> SplitParameters(std::string_view params);

}  // namespace vn
