// Drives on Windows, mounted file systems here: free space and roots.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vn {

// Bytes the calling user may still write on the file system that holds `path`. A path that does not
// exist yet is measured at its nearest existing parent folder. -1 when nothing can be measured.
int64_t FreeSpace(const std::filesystem::path& path);

// True when `folder` is the root of a drive (POSIX: the root of a mounted file system, "/" included;
// Windows: a drive root or a folder a volume is mounted on).
bool IsMountRoot(const std::filesystem::path& folder);
// True when something is mounted on `folder`: a drive's root as above, or (POSIX) a mount point of
// /proc/self/mountinfo, such as a bind mount of a folder of the same file system, whose device is its
// parent's. Such a folder is no place for an installation; it is no medium of its own either, which
// is what IsMountRoot tells.
bool IsMountPoint(const std::filesystem::path& folder);

// The root of the drive / mounted file system that holds `path` (nearest existing parent for a path
// that does not exist); empty when it cannot be found.
std::filesystem::path MountPointOf(const std::filesystem::path& path);

// True when `a` and `b` (paths that do not exist yet: their nearest existing parents) lie on one
// drive / mounted file system (POSIX: the same device; Windows: the same volume root). False when
// either cannot be told.
bool OnSameVolume(const std::filesystem::path& a, const std::filesystem::path& b);

// True when `path` lies on an optical disc: a CD-ROM drive on Windows, an ISO 9660 or UDF file
// system on POSIX.
bool IsOpticalDisc(const std::filesystem::path& path);

// The drives offered for an installation, in name order. Windows: the root of every drive letter that
// has one. POSIX: the roots of the mounted file systems with a size, leaving out the system's own
// trees (/proc, /sys, /dev, /boot, /snap, and /run but for removable media under /run/media).
std::vector<std::filesystem::path> OfferedDrives();

}  // namespace vn
