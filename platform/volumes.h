// Drives on Windows, mounted file systems here: free space and roots.
#pragma once

#include <cstdint>
#include <filesystem>

namespace vn {

// Bytes the calling user may still write on the file system that holds `path`. A path that does not
// exist yet is measured at its nearest existing parent folder. -1 when nothing can be measured.
int64_t FreeSpace(const std::filesystem::path& path);

// True when `folder` is the root of a drive (POSIX: the root of a mounted file system, "/" included;
// Windows: a drive root or a folder a volume is mounted on).
bool IsMountRoot(const std::filesystem::path& folder);

// The root of the drive / mounted file system that holds `path` (nearest existing parent for a path
// that does not exist); empty when it cannot be found.
std::filesystem::path MountPointOf(const std::filesystem::path& path);

}  // namespace vn
