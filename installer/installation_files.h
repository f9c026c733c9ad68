// Clean-up shared by the install and uninstall engines: temporaries that a stopped run left beside
// the files of an installation, folders made for an installation, the launcher copied without the
// archive it may carry, and the pause points end-to-end tests kill a run at. Internal to the
// installer library.
#pragma once

#include <filesystem>
#include <set>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace vn {

class File;
class FolderHandle;

// A recorded file as a path inside the install folder, or empty when it must not be touched: a name
// that would leave the folder, or one whose folders pass through a symbolic link (which could lead
// anywhere). The file itself may be a link: deleting it removes the link only.
// The joiner is made on the install folder (without trailing delimiter) and serves a whole batch.
std::filesystem::path InstalledFilePath(PathJoiner& joiner, const DataString& name);

// Deletes the temporaries that atomic writes of `files` left behind when their process was stopped
// (killed, power lost): regular files named like TemporarySibling's names of one of them, "<name>.tmp"
// followed by a process number, '-' and a counter, in the same folder. Nothing else is touched.
void RemoveStaleTemporaries(const std::vector<std::filesystem::path>& files);
// The same for `files` relative to `folder`, found and removed through its handle (a folder on the
// way that is a link is passed over).
void RemoveStaleTemporaries(const FolderHandle& folder, const std::vector<std::filesystem::path>& files);

// Adds to `folders` every folder between `base` (not included) and `file` (not included).
void AddFoldersOnPath(const std::filesystem::path& base, const std::filesystem::path& file,
                      std::set<std::filesystem::path>& folders);

// Removes each of `folders` that is a real folder (not a link) and empty, deepest first, so a folder
// emptied by removing its sub-folders goes too. Folders holding anything stay, with their parents.
void RemoveFoldersIfEmpty(const std::set<std::filesystem::path>& folders);

// Copies the executable `program` onto `target` without the archive an update executable carries
// behind it (the part before the start its trailer names), keeping its permissions and time. The
// copy is written beside the target and renamed over it; when it cannot be made its temporary is
// removed and the error names the file and the cause (a full disk, a read-only target): EFOpenError,
// EReadError, EWriteError; EFormatError when the trailer names no place inside the program.
void CopyProgramAlone(const std::filesystem::path& program, const std::filesystem::path& target);
// The same into `target`, a new file open for writing (synced, with the program's permissions and
// time); the caller puts it in place.
void CopyProgramAloneInto(const std::filesystem::path& program, File& target);

// The length of the program in front of an archive appended to `exe` (the archive start of its
// trailer, the 4 bytes before the final "vd"); -1 when it carries no trailer. EFormatError when the
// trailer's start lies outside the file.
int64_t ProgramLengthBeforeArchive(const std::filesystem::path& exe);

// Holds the install folder `folder` for one install or uninstall run, whatever the title: two runs
// in one folder would each take the other's files for their own. Exception naming the folder when
// another run holds it.
InstanceMutex LockFolderForRun(const std::filesystem::path& folder);

// Test hook: when the environment variable VNSETUP_TEST_PAUSE names `point` ("copy", "merge", ...;
// "copy:3" the third time the point is passed), the run creates the file VNSETUP_TEST_PAUSE_FILE
// names and waits there for the test to kill it, or to remove that file to let the run go on.
// Without the variable nothing happens.
void PauseForTest(std::string_view point);

// Test hook: the milliseconds VNSETUP_TEST_SLOW_COPY asks the copy to wait after each piece of a
// file (0 without it), a slow source for the window tests that watch the bar against the bytes.
int CopyDelayForTest();

}  // namespace vn
