// The round trip of the picture targets: a picture read, written by our writer and read again shows
// the same colours (and alpha) in every pixel.
#pragma once

#include <functional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "imaging/dib_surface.h"
#include "platform/error.h"

namespace vn::fuzz {

inline bool SameColours(const TDIBSurface& a, const TDIBSurface& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  if ((a.AlphaPlane() == nullptr) != (b.AlphaPlane() == nullptr)) return false;
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      if (a.PixelToColor(a.Pixels(x, y)) != b.PixelToColor(b.Pixels(x, y))) return false;
      if (a.AlphaPlane() && a.AlphaPlane()->Pixels(x, y) != b.AlphaPlane()->Pixels(x, y)) return false;
    }
  }
  return true;
}

// Writes `read` with `encode` and reads that back with `decode`: what our writer makes of a picture we
// read must read as the same picture. Pictures above a few megapixels are left out (time, not
// correctness).
inline void CheckRoundTrip(const TDIBSurface& read,
                           const std::function<std::string(const TDIBSurface&)>& encode,
                           const std::function<void(const std::string&, TDIBSurface&)>& decode) {
  if (read.Empty() || int64_t{read.Width()} * read.Height() > (int64_t{1} << 22)) return;
  std::string written;
  try {
    written = encode(read);
  } catch (const Exception&) {
    RoundTripFailed("a picture that was read cannot be written");
  }
  TDIBSurface again;
  try {
    decode(written, again);
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    RoundTripFailed("what was written cannot be read");
  }
  if (!SameColours(read, again)) RoundTripFailed("what was written reads as another picture");
}

}  // namespace vn::fuzz
