// Writing RXA pictures: one frame with one 24-bit layer and an optional alpha plane, as the
// backgrounds of new discs are made.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/dib_surface.h"

namespace vn {

struct TRuxaEncodeOptions {
  int32_t key = 0;          // seed of the shuffled layout
  bool shuffle = false;     // store rows (or the block table) in the key's order
  int32_t block_width = 0;  // > 0 with block_height: block layout, identical blocks stored once
  int32_t block_height = 0;
  int jpeg_quality = 0;  // 1 .. 100: JPEG colour plane; 0: zlib planes
};

// Encodes a 24-bit picture (with its alpha plane, when it has one) as an RXA picture of version 106.
// key_matters, when given, tells whether a reader with another key would see another picture.
// Raises EFormatError for another bit depth, an empty picture or unusable options.
std::string EncodeRuxa(const TDIBSurface& picture, const TRuxaEncodeOptions& options,
                       bool* key_matters = nullptr);

}  // namespace vn
