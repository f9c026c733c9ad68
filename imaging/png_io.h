// PNG files through libpng: reading a picture for the encoder, writing decoded frames.
#pragma once

#include <string>
#include <string_view>

#include "imaging/dib_surface.h"

namespace vn {

// Decodes PNG bytes into a 24-bit surface; a PNG with transparency (an alpha channel or a
// transparent colour) also gives the surface an alpha plane. The stored samples are taken as they
// are (16-bit ones scaled to 8): no gamma or colour-profile conversion. Raises EFormatError with
// libpng's reason.
void ReadPng(std::string_view bytes, TDIBSurface& target);

// Encodes a 24-bit surface as an RGB PNG, or as RGBA with its alpha plane when with_alpha is set
// and it has one. Compression favours speed: these are working files, converted often.
std::string EncodePng(const TDIBSurface& source, bool with_alpha);

}  // namespace vn
