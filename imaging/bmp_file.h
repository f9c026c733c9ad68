// Bitmap files (".bmp" and every extension without a reader of its own).
#pragma once

#include <string>
#include <string_view>

#include "imaging/dib_surface.h"

namespace vn {

// Reads a bitmap file of 1, 4, 8, 16, 24 or 32 bits per pixel (uncompressed, with colour masks of
// any layout and an alpha mask, or run-length coded at 4 and 8 bits).
// With keep_alpha, a 32-bit picture's fourth bytes become its alpha plane and it turns 24-bit.
// Raises EFormatError with the reason.
void ReadBmp(std::string_view bytes, TDIBSurface& target, bool keep_alpha);

// Writes the surface as a bitmap file, rows bottom first. With with_alpha and an alpha plane, the
// picture is written at 32 bits with the alpha in each pixel's fourth byte; a 32-bit picture
// without one gets 255 there.
std::string EncodeBmp(const TDIBSurface& source, bool with_alpha);

// Moves a 32-bit picture's fourth bytes into its alpha plane and makes it 24-bit. Fourth bytes
// that are all 0 carry no alpha: the picture is then opaque.
void SplitAlphaChannel(TDIBSurface& picture);

}  // namespace vn
