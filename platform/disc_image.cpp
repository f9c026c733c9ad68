#include "platform/disc_image.h"

#include <cstring>

#include "platform/error.h"
#include "platform/file.h"

namespace vn {

namespace fs = std::filesystem;

// The identifier of the first volume descriptor, in sector 16 of 2048 bytes, after its type byte.
constexpr int64_t kDescriptorOffset = 16 * 2048 + 1;

bool LooksLikeDiscImage(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  try {
    File in(file, FileAccess::kRead);
    char id[5] = {};
    if (in.ReadAt(kDescriptorOffset, id, 5) != 5) return false;
    return std::memcmp(id, "CD001", 5) == 0 || std::memcmp(id, "BEA01", 5) == 0 ||
           std::memcmp(id, "NSR0", 4) == 0;
  } catch (const Exception&) {
    return false;
  }
}

bool StartsLikeProgram(File& file) {
  char head[4] = {};
  const int64_t n = file.ReadAt(0, head, sizeof head);
  return (n == 4 && std::memcmp(head,
                                "\x7f"
                                "ELF",
                                4) == 0) ||
         (n >= 2 && head[0] == '#' && head[1] == '!');
}

}  // namespace vn
