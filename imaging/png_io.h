// PNG files through libpng: reading a picture for the encoder, writing decoded frames.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "imaging/dib_surface.h"

namespace vn {

// Decodes PNG bytes into a 24-bit surface; a PNG with transparency (an alpha channel or a
// transparent colour) also gives the surface an alpha plane. The stored samples are taken as they
// are (16-bit ones scaled to 8): no gamma or colour-profile conversion. Raises EFormatError with
// libpng's reason.
void ReadPng(std::string_view bytes, TDIBSurface& target);

// Receives a file's bytes piece by piece, in order.
using ByteSink = std::function<void(const void* data, size_t size)>;

// Encodes a 24-bit surface as an RGB PNG, or as RGBA with its alpha plane when with_alpha is set
// and it has one, handing the file to sink as it is made; an exception the sink raises comes out
// of WritePng. Compression favours speed: these are working files, converted often.
// rows_ready, when given, lets the picture's rows still be in the making (decoded on another
// thread): it returns once the first `rows` rows are final, or raises when they never will be.
void WritePng(const TDIBSurface& source, bool with_alpha, const ByteSink& sink,
              const std::function<void(int32_t rows)>& rows_ready = {});
std::string EncodePng(const TDIBSurface& source, bool with_alpha);

}  // namespace vn
