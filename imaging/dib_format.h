// The on-file structures of device-independent bitmaps (bitmap and icon files) and the decoder
// both file readers share. Little-endian on file; the structs are read with memcpy.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "imaging/dib_surface.h"

namespace vn {

static_assert(std::endian::native == std::endian::little, "file structures are read in host order");

#pragma pack(push, 1)
struct TBitmapFileHeader {
  char type[2];  // "BM"
  uint32_t size;
  uint16_t reserved1;
  uint16_t reserved2;
  uint32_t bits_offset;
};
static_assert(sizeof(TBitmapFileHeader) == 14);

struct TBitmapInfoHeader {
  uint32_t size;
  int32_t width;
  int32_t height;
  uint16_t planes;
  uint16_t bit_count;
  uint32_t compression;
  uint32_t size_image;
  int32_t x_pels_per_meter;
  int32_t y_pels_per_meter;
  uint32_t colors_used;
  uint32_t colors_important;
};
static_assert(sizeof(TBitmapInfoHeader) == 40);

// The oldest header form (OS/2): 16-bit sizes and 3-byte colour table entries.
struct TBitmapCoreHeader {
  uint32_t size;
  uint16_t width;
  uint16_t height;
  uint16_t planes;
  uint16_t bit_count;
};
static_assert(sizeof(TBitmapCoreHeader) == 12);
#pragma pack(pop)

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;  // four masks after a 40-byte header

// Copies a T out of data at offset; false when it does not fit.
template <class T>
bool ReadStruct(std::string_view data, uint64_t offset, T& out) {
  if (offset > data.size() || data.size() - offset < sizeof(T)) return false;
  std::memcpy(&out, data.data() + offset, sizeof(T));
  return true;
}

// Appends a struct or a little-endian number to a byte string.
template <class T>
void Append(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

struct TDibLayout {
  int32_t width = 0;
  int32_t height = 0;  // the picture's, after the icon halving
  int32_t bits = 0;
  uint64_t pixels_end = 0;  // offset just past the colour rows
};

// Decodes the bitmap whose information header starts at `header` in data into target. The colour
// rows start at pixels_offset, or right after the colour table when none is given (icons). Icon
// images store twice their height (colour and mask rows): height_divisor 2. A 32-bit target holds
// the alpha in each pixel's fourth byte (255 where the layout has no alpha); colour masks a surface
// cannot hold as they are (4-4-4-4, 1-5-5-5, any alpha mask at 16 bits ...) are decoded into such a
// 32-bit target. Raises EFormatError with the reason for anything damaged or unsupported.
TDibLayout DecodeDib(std::string_view data, uint64_t header, std::optional<uint64_t> pixels_offset,
                     int32_t height_divisor, TDIBSurface& target);

}  // namespace vn
