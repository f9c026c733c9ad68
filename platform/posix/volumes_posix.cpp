#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

#include "platform/volumes.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// The path itself when it exists, else its nearest existing parent, as an absolute normal path.
fs::path NearestExisting(const fs::path& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec).lexically_normal();
  if (ec) return {};
  while (!fs::exists(p, ec)) {
    if (!p.has_relative_path()) return {};
    p = p.parent_path();
  }
  return fs::canonical(p, ec);
}

bool DeviceOf(const fs::path& p, dev_t& dev) {
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return false;
  dev = st.st_dev;
  return true;
}

}  // namespace

int64_t FreeSpace(const fs::path& path) {
  const fs::path existing = NearestExisting(path);
  struct statvfs vfs;
  if (existing.empty() || ::statvfs(existing.c_str(), &vfs) != 0) return -1;
  return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

bool IsMountRoot(const fs::path& folder) {
  std::error_code ec;
  const fs::path p = fs::canonical(folder, ec);
  if (ec || !fs::is_directory(p, ec)) return false;
  if (!p.has_relative_path()) return true;
  dev_t own, parent;
  return DeviceOf(p, own) && DeviceOf(p.parent_path(), parent) && own != parent;
}

fs::path MountPointOf(const fs::path& path) {
  fs::path p = NearestExisting(path);
  if (p.empty()) return {};
  dev_t dev;
  if (!DeviceOf(p, dev)) return {};
  std::error_code ec;
  if (!fs::is_directory(p, ec)) p = p.parent_path();
  while (p.has_relative_path()) {
    dev_t parent;
    if (!DeviceOf(p.parent_path(), parent) || parent != dev) break;
    p = p.parent_path();
  }
  return p;
}

bool OnSameVolume(const fs::path& a, const fs::path& b) {
  const fs::path x = NearestExisting(a), y = NearestExisting(b);
  dev_t dx, dy;
  return !x.empty() && !y.empty() && DeviceOf(x, dx) && DeviceOf(y, dy) && dx == dy;
}

bool IsOpticalDisc(const fs::path& path) {
  const fs::path existing = NearestExisting(path);
  struct statfs fs_info;
  if (existing.empty() || ::statfs(existing.c_str(), &fs_info) != 0) return false;
  return fs_info.f_type == ISOFS_SUPER_MAGIC || fs_info.f_type == UDF_SUPER_MAGIC;
}

}  // namespace vn
