// Truevision TGA files: colour-mapped, true-colour and grey pictures, plain or run-length encoded,
// with the version 2.0 footer and its extension area (the transparent colour).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "imaging/dib_surface.h"

namespace vn {

// Reads a TGA picture into target and returns its transparent colour as a pixel value of target
// (-1 for none). Image types other than 1, 2, 3, 9, 10 and 11 leave target empty. Grey pictures
// with alpha (16 bits: grey, alpha) become 32-bit with the alpha in the fourth byte. With
// keep_alpha, a 32-bit picture's fourth bytes become its alpha plane (all 0: opaque) and it turns
// 24-bit. Raises EFormatError with the reason for a damaged file.
int32_t ReadTga(std::string_view bytes, TDIBSurface& target, bool keep_alpha);

struct TTgaSaveOptions {
  bool rle = false;          // run-length encode the pixels (image types 9 and 10)
  bool with_alpha = false;   // with an alpha plane: 32 bits, the alpha in each fourth byte
  int32_t transparent = -1;  // pixel value of the source written as the transparent colour
};

// Writes the surface as a TGA file: top row first, colour map of 256 24-bit entries for pictures
// of 8 bits or fewer (those of 4 or fewer become 8-bit), 16-bit pixels as 5-5-5, 32-bit pixels of
// a picture without alpha with 255 in the fourth byte, then the footer.
std::string EncodeTga(const TDIBSurface& source, const TTgaSaveOptions& options);

}  // namespace vn
