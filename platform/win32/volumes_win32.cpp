#include <windows.h>

#include "platform/paths.h"
#include "platform/volumes.h"
#include "platform/win32/wide.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// The folder itself when it exists, else its nearest existing parent folder, as an absolute path.
fs::path NearestExistingFolder(const fs::path& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec).lexically_normal();
  if (ec) return {};
  for (;;) {
    if (const std::optional<DWORD> attr = win32::AttributesOf(p)) {
      return (*attr & FILE_ATTRIBUTE_DIRECTORY) ? p : p.parent_path();
    }
    if (!p.has_relative_path()) return {};
    p = p.parent_path();
  }
}

// The root of the volume that holds `path` ("C:\", or the folder a volume is mounted on), with its
// trailing delimiter; empty when the system cannot tell.
std::wstring VolumeRoot(const fs::path& path) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(path.c_str(), buffer, MAX_PATH + 1)) return {};
  return buffer;
}

}  // namespace

int64_t FreeSpace(const fs::path& path) {
  const fs::path existing = NearestExistingFolder(path);
  ULARGE_INTEGER available;  // what this user may still write, quotas included
  if (existing.empty() ||
      !GetDiskFreeSpaceExW(FolderWithDelimiter(existing).c_str(), &available, nullptr, nullptr)) {
    return -1;
  }
  return static_cast<int64_t>(available.QuadPart);
}

bool IsMountRoot(const fs::path& folder) {
  std::error_code ec;
  const fs::path p = fs::absolute(folder, ec).lexically_normal();
  const std::optional<DWORD> attr = win32::AttributesOf(p);
  if (ec || !attr || !(*attr & FILE_ATTRIBUTE_DIRECTORY)) return false;
  const std::wstring root = VolumeRoot(p);
  return !root.empty() &&
         CompareStringOrdinal(root.c_str(), -1, FolderWithDelimiter(p).c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool IsMountPoint(const fs::path& folder) {
  return IsMountRoot(folder);
}

fs::path MountPointOf(const fs::path& path) {
  const fs::path existing = NearestExistingFolder(path);
  if (existing.empty()) return {};
  const fs::path root(VolumeRoot(existing));
  // "C:\" stays as it is; a volume mounted on a folder is named without the trailing delimiter.
  return FolderWithoutDelimiter(root);
}

bool OnSameVolume(const fs::path& a, const fs::path& b) {
  const fs::path x = NearestExistingFolder(a), y = NearestExistingFolder(b);
  if (x.empty() || y.empty()) return false;
  const std::wstring rx = VolumeRoot(x), ry = VolumeRoot(y);
  return !rx.empty() && CompareStringOrdinal(rx.c_str(), -1, ry.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool IsOpticalDisc(const fs::path& path) {
  const fs::path existing = NearestExistingFolder(path);
  const std::wstring root = existing.empty() ? std::wstring() : VolumeRoot(existing);
  return !root.empty() && GetDriveTypeW(root.c_str()) == DRIVE_CDROM;
}

std::vector<fs::path> OfferedDrives() {
  std::vector<fs::path> drives;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\";
    const UINT type = GetDriveTypeW(root.c_str());
    if (type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN) drives.emplace_back(root);
  }
  return drives;
}

}  // namespace vn
