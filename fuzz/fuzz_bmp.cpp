// Bitmap files. Input: one byte (bit 0: keep the alpha channel), then the file. What loads is
// written by our bitmap writer and must read back as the same picture.
#include "fuzz/picture_round_trip.h"
#include "imaging/bmp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  if (size < 1) return 0;
  const bool keep_alpha = data[0] & 1;
  TDIBSurface picture;
  try {
    ReadBmp(fuzz::AsView(data + 1, size - 1), picture, keep_alpha);
  } catch (const Exception&) {
    return 0;
  }
  fuzz::CheckRoundTrip(
      picture, [](const TDIBSurface& p) { return EncodeBmp(p, p.AlphaPlane() != nullptr); },
      [&](const std::string& bytes, TDIBSurface& p) { ReadBmp(bytes, p, keep_alpha); });
  return 0;
}
