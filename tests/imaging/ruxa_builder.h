// Builds RXA pictures byte by byte for the tests: every header version, palettes, several frames
// and layers, rows and block layouts with literal, repeat and reference blocks.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/dib_surface.h"

namespace vn::test {

struct LayerSpec {
  uint8_t visible = 1;
  int32_t trans_color = -1;
  int32_t opacity = 255;
  uint8_t alpha_on = 0;
  std::string name;
  std::string colour;                // the coded colour plane
  std::optional<std::string> alpha;  // the coded alpha plane; none: size 0
};

struct FrameSpec {
  std::string name;
  int32_t trans_color = -1;
  int32_t delay = 0;
  uint8_t option = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bits = 24;
  std::vector<TPaletteEntry> palette;  // 2^bits entries at 8 bits or fewer
  std::vector<LayerSpec> layers;
  std::vector<std::array<int32_t, 4>> extra1, extra2;
};

struct PictureSpec {
  int32_t signature = 106;  // -1: no signature
  // Header record (103 and later); record_version defaults to the signature's.
  std::optional<int32_t> record_version;
  int32_t header_size = 40;
  std::optional<int32_t> frame_count;  // default: frames.size()
  uint8_t shuffled = 0;
  uint8_t compression = 0;
  uint32_t background = 0;
  int32_t block_width = 0;
  int32_t block_height = 0;
  uint8_t bottom_opaque = 0;
  std::vector<FrameSpec> frames;
};

std::string BuildRuxa(const PictureSpec& spec);

std::string Zlib(const std::string& raw);

// Raw planes from a picture, laid out independently of the decoder: the rows layout with stored row
// k taken from the k-th draw of a generator seeded with `seed` (0: natural order).
std::string RowsRaw(const TDIBSurface& picture, int32_t seed);

// Block layout: entries in tile order (row by row); literal tiles take their bytes from picture.
struct Block {
  int32_t tag = -1;
  int32_t index = 0;
};
std::string BlocksRaw(const TDIBSurface& picture, int32_t block_width, int32_t block_height,
                      const std::vector<Block>& tiles, int32_t shuffle_seed);

// Files of a few bytes that claim a huge picture: an RLE8 bitmap of side x side pixels whose data
// is only the end-of-picture mark, and a run-length TGA of side x side whose data is one packet.
std::string TinyRunLengthBitmap(int32_t side);
std::string TinyRunLengthTga(uint16_t side);

// A picture filled with distinct, position-dependent pixel values.
void FillPattern(TDIBSurface& picture, uint32_t salt);
// Whether two pictures show the same pixels (size, bit count and every pixel value).
bool SamePixels(const TDIBSurface& a, const TDIBSurface& b);

}  // namespace vn::test
