// The rows of a PNG's image data: the picture's pixels in the file's byte order, and the filters
// that turn each row into differences from its neighbours before compression.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/dib_surface.h"

namespace vn::png {

// The filters this writer chooses from (the value is the type byte of the format).
enum class RowFilter : uint8_t { kSub = 1, kUp = 2, kPaeth = 4 };

// Row y of a 24-bit surface as red, green, blue, and alpha after each pixel when `alpha` is given.
void PackRow(const TDIBSurface& source, const TDIBSurface* alpha, int32_t y, uint8_t* out);

// Writes the filter's type byte, then `size` bytes of row filtered against `above` (the packed row
// above it; zeros above the first row). bpp is the bytes of one pixel.
void FilterRow(RowFilter filter, const uint8_t* row, const uint8_t* above, size_t size, size_t bpp,
               uint8_t* out);

}  // namespace vn::png
