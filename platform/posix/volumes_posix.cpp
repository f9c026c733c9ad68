#include <linux/magic.h>
#include <mntent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

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

// A mounted file system worth offering as a drive: not one of the system's own trees, with a size.
bool OfferedMount(const char* type, const std::string_view root) {
  const auto within = [&root](std::string_view tree) {
    return root.substr(0, tree.size()) == tree && (root.size() == tree.size() || root[tree.size()] == '/');
  };
  for (const char* system : {"/proc", "/sys", "/dev", "/boot", "/snap"}) {
    if (within(system)) return false;
  }
  if (within("/run") && !within("/run/media")) return false;
  if (std::string_view(type) == "rootfs") return false;  // the early root, hidden by the real one
  struct statvfs vfs;
  return ::statvfs(std::string(root).c_str(), &vfs) == 0 && vfs.f_blocks > 0;
}

// Whether `folder` (canonical) is where a file system is mounted in this process's view: the mount
// points of /proc/self/mountinfo (the fifth field, spaces and such written as octal escapes). A bind
// mount of a folder of the same file system is one though its device is its parent's.
bool ListedAsMountPoint(const fs::path& folder) {
  std::ifstream info("/proc/self/mountinfo");
  std::string line;
  while (std::getline(info, line)) {
    std::istringstream fields(line);
    std::string point;
    for (int field = 0; field < 5; ++field) fields >> point;  // the fifth: the mount point
    std::string unescaped;
    for (size_t i = 0; i < point.size(); ++i) {
      const auto octal = [&](size_t at) { return at < point.size() && point[at] >= '0' && point[at] <= '7'; };
      if (point[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
        unescaped +=
            static_cast<char>((point[i + 1] - '0') << 6 | (point[i + 2] - '0') << 3 | (point[i + 3] - '0'));
        i += 3;
      } else {
        unescaped += point[i];
      }
    }
    if (fs::path(unescaped) == folder) return true;
  }
  return false;
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

bool IsMountPoint(const fs::path& folder) {
  if (IsMountRoot(folder)) return true;
  std::error_code ec;
  const fs::path p = fs::canonical(folder, ec);
  return !ec && ListedAsMountPoint(p);
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

std::vector<fs::path> OfferedDrives() {
  std::vector<fs::path> drives;
  const std::unique_ptr<FILE, int (*)(FILE*)> mounts(setmntent("/proc/self/mounts", "r"), endmntent);
  if (!mounts) return drives;
  while (const mntent* mount = getmntent(mounts.get())) {
    if (OfferedMount(mount->mnt_type, mount->mnt_dir)) drives.emplace_back(mount->mnt_dir);
  }
  std::sort(drives.begin(), drives.end());
  drives.erase(std::unique(drives.begin(), drives.end()), drives.end());
  return drives;
}

}  // namespace vn
