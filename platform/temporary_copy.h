// The temporary copy of the launcher: the names it may carry and its removal.
#pragma once

#include <filesystem>
#include <string>

namespace vn {

// The candidate names in the temporary folder: attempt -1 gives "~vinstall.exe", attempt k >= 0
// gives "~vinstall<k>.exe" (the same names on every system).
std::string TemporaryCopyName(int attempt);

// True only when `exe` lies directly in the temporary folder and carries one of the candidate names
// (attempts 0 to 98). A launcher started by hand from anywhere else is never a temporary copy.
bool IsTemporaryCopy(const std::filesystem::path& exe);

// Has `file` deleted when the system next starts. POSIX: a running program keeps its file's content
// after the name is gone, so the file is deleted at once. Windows: MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT (which needs administrator rights). False when that failed.
bool DeleteOnReboot(const std::filesystem::path& file);

// DeleteOnReboot of the running executable, only when it is a temporary copy; false (and nothing
// deleted) for any other file.
bool RemoveTemporaryCopy(const std::filesystem::path& exe);

}  // namespace vn
