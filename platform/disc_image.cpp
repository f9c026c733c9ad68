#include "platform/disc_image.h"

#include <cstring>

#include "messages/messages.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// The identifier of the first volume descriptor, in sector 16, after its type byte.
constexpr int64_t kDescriptorOffset = 16 * 2048 + 1;
constexpr int64_t kRawSectorSize = 2352;
// Where a raw sector's 2048 bytes of data begin: after the sync pattern and header (MODE1), and
// after the sub-header too (MODE2 form 1).
constexpr int64_t kMode1Data = 16;
constexpr int64_t kMode2Data = 24;

bool IsDescriptorId(const char* id) {
  return std::memcmp(id, "CD001", 5) == 0 || std::memcmp(id, "BEA01", 5) == 0 ||
         std::memcmp(id, "NSR0", 4) == 0;
}

// Sector 16 of an image of raw sectors: the sync pattern that starts every sector, then "CD001".
bool HasRawDescriptor(File& in) {
  static const unsigned char kSync[12] = {0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0};
  unsigned char sync[12] = {};
  if (in.ReadAt(0, sync, 12) != 12 || std::memcmp(sync, kSync, 12) != 0) return false;
  for (const int64_t data : {kMode1Data, kMode2Data}) {
    char id[5] = {};
    if (in.ReadAt(16 * kRawSectorSize + data + 1, id, 5) == 5 && std::memcmp(id, "CD001", 5) == 0)
      return true;
  }
  return false;
}

}  // namespace

bool HasDiscImageName(const fs::path& file) {
  const std::string extension = AsciiLowerCase(PathToUtf8(file.extension()));
  for (const char* known : {".iso", ".bin", ".img", ".cue", ".ccd", ".nrg", ".udf"}) {
    if (extension == known) return true;
  }
  return false;
}

bool LooksLikeDiscImage(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  try {
    File in(file, FileAccess::kRead);
    char id[5] = {};
    if (in.ReadAt(kDescriptorOffset, id, 5) == 5 && IsDescriptorId(id)) return true;
    if (HasRawDescriptor(in)) return true;
  } catch (const Exception&) {
    return false;
  }
  return LooksLikeDescribedImage(file);
}

void RefuseFalseDiscImage(const fs::path& file) {
  std::error_code ec;
  if (!HasDiscImageName(file) || !fs::is_regular_file(file, ec) || LooksLikeDiscImage(file)) return;
  throw EFormatError(Tr(Msg::kNotDiscImage, {PathToUtf8(file)}));
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
