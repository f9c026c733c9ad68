// Disc images (ISO 9660 with Joliet and Rock Ridge, UDF) through our image reader, as vnsetup and
// vnkit read a disc set kept as image files: the directory tree read, every file opened and read
// whole, the files copied out. Whatever the image says, an entry's path stays inside the disc and
// a file with an extent lies inside the image.
//
// Input: the image with its long runs of zero sectors cut out (an image is mostly zeros: the system
// area, the gap before UDF's anchor at sector 256). One byte N (at most 16) of runs, N times a
// sector number and a count of zero sectors (two little-endian 32-bit numbers each, in ascending
// order), then the image's other sectors in order.
#include <algorithm>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "platform/disc_image.h"
#include "platform/error.h"

namespace {

constexpr int64_t kSector = 2048;
// Images of up to 32 MiB (sparse files: the zeros take no room).
constexpr int64_t kMaxSectors = 16384;

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Writes the image the input describes; false when the input describes none.
bool WriteImage(const std::filesystem::path& file, const uint8_t* data, size_t size) {
  if (size < 1 || data[0] > 16 || size < 1 + 8 * size_t{data[0]}) return false;
  const int runs = data[0];
  const uint8_t* sectors = data + 1 + 8 * runs;
  int64_t left = static_cast<int64_t>(size) - (1 + 8 * runs);
  vn::File out(file, vn::FileAccess::kCreate);
  int64_t at = 0;  // the next sector of the image
  for (int i = 0; i <= runs; ++i) {
    const int64_t run_at = i < runs ? Le32(data + 1 + 8 * i) : kMaxSectors;
    const int64_t run_count = i < runs ? Le32(data + 5 + 8 * i) : 0;
    if (run_at < at || run_at > kMaxSectors || run_count > kMaxSectors - run_at) return false;
    const int64_t bytes = std::min(left, (run_at - at) * kSector);
    out.WriteAt(at * kSector, sectors, bytes);
    sectors += bytes;
    left -= bytes;
    at = run_at + run_count;
    if (run_count > 0) out.SetSize(at * kSector);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  const std::filesystem::path folder = fuzz::Scratch();
  const std::filesystem::path image_file = folder / "disc.iso";
  fuzz::RemoveFile(image_file);
  if (!WriteImage(image_file, data, size)) return 0;
  const std::filesystem::path copy = folder / "copy";
  std::error_code ec;
  std::filesystem::remove_all(copy, ec);
  try {
    DiscImage image(image_file);
    int files = 0;
    int64_t file_bytes = 0;
    for (const DiscImageEntry& entry : image.Entries()) {
      const std::filesystem::path path(entry.path);
      if (entry.path.empty() || path.is_absolute()) std::abort();
      for (const auto& part : path) {
        if (part == ".." || part == "." || part.empty()) std::abort();
      }
      // A file's extents add up to its size and none starts before the image.
      int64_t extent_bytes = 0;
      for (const ImageExtent& extent : entry.extents) {
        if (extent.length < 0 || (extent.recorded && extent.block < 0)) std::abort();
        extent_bytes += extent.length;
      }
      if (entry.size < 0 || (!entry.extents.empty() && extent_bytes != entry.size)) std::abort();
      if (entry.directory) continue;
      file_bytes += entry.size;
      if (++files > 64) continue;
      try {
        File opened = image.OpenFile(entry);
        std::string bytes(static_cast<size_t>(std::min<int64_t>(entry.size, 1 << 20)), '\0');
        opened.ReadAt(0, bytes.data(), static_cast<int64_t>(bytes.size()));
      } catch (const Exception&) {
      }
    }
    // copied out as vnsetup copies a disc's files, when that is quick
    if (file_bytes <= (4 << 20)) {
      std::filesystem::create_directory(copy);
      image.ExtractTo(copy);
    }
  } catch (const Exception&) {
  }
  return 0;
}
