#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

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

void AdviseHugePages(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  // Only whole huge pages inside the buffer: advice must start on a page boundary.
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace vn
