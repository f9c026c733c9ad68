// File operations of the installer: copying, sizes, file times, attributes, folder trees.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>

namespace vn {

class File;

// --- DOS date-time --------------------------------------------------------------------------
// The archive's time stamp: date in the high 16 bits (day 0-4, month 5-8, year - 1980 9-15), time in
// the low 16 bits (seconds / 2 0-4, minutes 5-10, hours 11-15), local time. Compared as int32.

// The fields of a DOS date-time as stored (not checked; see IsValidDosDateTime).
struct DosDateTimeFields {
  int year, month, day, hour, minute, second;
};
DosDateTimeFields SplitDosDateTime(int32_t dos);

// A moment as DOS date-time in local time. Odd seconds round down; moments before 1980 give
// 1980-01-01 00:00:00 and after 2107 the last representable second, the range the form can hold.
int32_t TimeToDosDateTime(std::time_t time);
// True when every field of a DOS date-time is in range: month 1-12, a day the month has, hour 0-23,
// minute 0-59, second 0-58.
bool IsValidDosDateTime(int32_t dos);
// The moment of a DOS date-time read as local time; none when a field is out of range (month 0 or
// 13, day 0 or past the month's end, hour 24, minute 60, second 60).
std::optional<std::time_t> DosDateTimeToTime(int32_t dos);

// The modification time of a file as DOS date-time, -1 when the file cannot be examined.
int32_t FileAge(const std::filesystem::path& file);
// Sets the modification (and access) time of a file from a DOS date-time; false on failure or an
// invalid date-time.
bool FileSetDate(const std::filesystem::path& file, int32_t dos);
// The same through a file open for writing, once it is written (no lookup of the name): for many files.
bool FileSetDate(File& file, int32_t dos);

// --- Copy ---------------------------------------------------------------------------------

// Told the count of bytes each time a run of them has reached the copy: a progress bar that follows
// the bytes, not the files. Returning false stops the copy, which then fails.
using CopyProgress = std::function<bool(int64_t bytes)>;

// Copies `source` onto `target`, replacing it, and gives the copy the source's modification time and
// permissions, as the Windows copy call does with its time and attributes. Fails (false) when the
// source cannot be read, the target's folder does not exist, or an existing target is read-only.
// The copy is written beside the target and renamed over it, so a failure leaves the old target intact.
bool CopyFileOver(const std::filesystem::path& source, const std::filesystem::path& target);

// Copies the first `count` bytes of `source` into `target` from its start, inside the system where it
// can (File::CopyRangeFrom: no trip through this process's memory), telling `progress` of every few
// MiB. False when `progress` stopped it; EReadError naming the source when it ends first, EWriteError
// naming the target (a full disk).
bool CopyFileContent(File& source, File& target, int64_t count, const CopyProgress& progress = {});
// Copies the regular file `source` into `target` (a new file open for writing) with the source's
// permissions (the owner may always write the copy) and modification time. False when the source
// cannot be opened or read whole, or `progress` stopped the copy; EWriteError when the target cannot
// be written.
bool CopyFileInto(const std::filesystem::path& source, File& target, const CopyProgress& progress = {});
// Gives an open file the permissions `mode` (POSIX; on Windows nothing: a file written through one is
// never read-only), and the modification (and access) time `time`. False when the system refuses.
bool FileSetPermissions(File& file, std::filesystem::perms mode);
bool FileSetModified(File& file, std::filesystem::file_time_type time);

// What tells one file from every other on this machine (device and inode; on Windows volume serial
// number and file index), for recognising a file under another name with one system call.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// None when the file cannot be examined. Links are followed.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// The size of a file in bytes, 0 when it cannot be opened. (Sizes past 2 GiB are returned exactly.)
int64_t FileSizeOf(const std::filesystem::path& file);

// --- Attributes and folders ----------------------------------------------------------------

// Takes the read-only attribute off a file or folder (POSIX: gives the owner write permission; a
// symbolic link is left alone). False when it does not exist or cannot be changed.
bool ClearReadOnly(const std::filesystem::path& path);
// True when the file or folder is read-only (POSIX: the owner has no write permission).
bool IsReadOnly(const std::filesystem::path& path);

// True when `path` is a folder itself, not a link to one (a symbolic link, or on Windows any reparse
// point such as a junction).
bool IsRealFolder(const std::filesystem::path& path);

// Creates a folder and its missing parents; true when it exists afterwards.
bool ForceDirectories(const std::filesystem::path& folder);

// Deletes a folder with everything inside it. A symbolic link inside is deleted as a link: what it
// points to is never touched; `folder` itself being a link only the link goes. Read-only folders in the
// tree are made writable first, as their attribute would not stop the deletion on Windows. Failures are not
// reported one by one; the result says whether the folder is gone.
bool DeleteFolderTree(const std::filesystem::path& folder);

// Deletes a file; false when it is still there afterwards.
bool DeleteFileIfExists(const std::filesystem::path& file);

}  // namespace vn
