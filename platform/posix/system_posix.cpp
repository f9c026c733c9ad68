#include <unistd.h>

#include "platform/system.h"
#include "platform/temporary_copy.h"

namespace vn {

namespace fs = std::filesystem;

bool IsAdministrator() {
  return true;
}

fs::path OwnExecutablePath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe;
}

fs::path RunningImagePath() {
#if defined(__linux__)
  return "/proc/self/exe";
#else
  return OwnExecutablePath();
#endif
}

bool DeleteOnReboot(const fs::path& file) {
  return ::unlink(file.c_str()) == 0;
}

}  // namespace vn
