// The 1024x768 24-bit picture the picture benchmarks work on: smooth gradients with a little noise
// (`noise_bits` of it per channel), so that runs are short as in scanned or rendered pictures.
#pragma once

#include <cstdint>

#include "imaging/dib_surface.h"

namespace vn::bench {

inline void MakeSamplePicture(TDIBSurface& s, int noise_bits) {
  s.SetSize(1024, 768, 24);
  uint32_t seed = 1;
  for (int y = 0; y < 768; ++y) {
    uint8_t* row = s.ScanLine(y);
    for (int x = 0; x < 1024 * 3; ++x) {
      seed = seed * 1664525u + 1013904223u;
      row[x] = static_cast<uint8_t>((x / 3 + y) / 8 + (seed >> (32 - noise_bits)));
    }
  }
}

}  // namespace vn::bench
