// The folder chooser of vnsetup.exe: a window of the program's own (not the shell's "Browse for
// Folder", whose font lacks the Japanese glyphs and whose buttons follow the system's language),
// drawn in the designed font: the prompt, a tree of the drives and their folders, the chosen folder
// as text the user may also type, and the buttons "OK" and "中止(&A)".
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

namespace vn {

// Shows the chooser modally, owned by `owner`, opened at `start` (or its nearest existing parent).
// Returns the folder chosen; none when the user left with 中止(&A), Escape or the close box, or
// chose nothing.
std::optional<std::filesystem::path> ChooseFolder(HWND owner, const std::string& prompt,
                                                  const std::filesystem::path& start);

}  // namespace vn
