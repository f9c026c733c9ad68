// JPEG colour planes through libjpeg: decoding at full quality (accurate integer DCT, smooth
// chroma upsampling) straight into 24-bit surface rows, and encoding for the picture encoder.
// Library errors come back as EFormatError; the library never ends the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "imaging/dib_surface.h"

namespace vn {

// Decodes a JPEG stream into target as a 24-bit picture. The image must be expected_width x
// expected_height; another size is refused before anything is decoded or allocated. on_rows, when
// given, hears how many rows from the top are decoded, every few rows and at the end.
void DecodeJpegPlane(const uint8_t* data, size_t size, int32_t expected_width, int32_t expected_height,
                     TDIBSurface& target, const std::function<void(int32_t rows)>& on_rows = {});

// Encodes a 24-bit surface (alpha ignored) at the given quality (1 .. 100).
std::string EncodeJpeg(const TDIBSurface& source, int quality);

}  // namespace vn
