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

// Moves the running program's file `exe` out of its folder, so that the folder can be removed:
// Windows deletes no program file while it runs, but lets it be renamed within its volume. It goes
// into the temporary folder under the first candidate name that is free (a left-over copy there is
// replaced), is DeleteOnReboot-ed there, and is replaced by a later temporary copy of that name.
// False when it could not be moved (the temporary folder on another volume): it stays where it was.
bool MoveRunningProgramToTemporaryFolder(const std::filesystem::path& exe);

}  // namespace vn
