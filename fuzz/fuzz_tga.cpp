// TGA files. Input: one byte (bit 0: keep the alpha channel, bit 1: write back run-length coded),
// then the file. What loads is written by our TGA writer and must read back as the same picture.
#include "fuzz/picture_round_trip.h"
#include "imaging/tga_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  if (size < 1) return 0;
  const bool keep_alpha = data[0] & 1;
  TDIBSurface picture;
  try {
    ReadTga(fuzz::AsView(data + 1, size - 1), picture, keep_alpha);
  } catch (const Exception&) {
    return 0;
  }
  TTgaSaveOptions options;
  options.rle = data[0] & 2;
  options.with_alpha = picture.AlphaPlane() != nullptr;
  fuzz::CheckRoundTrip(
      picture, [&](const TDIBSurface& p) { return EncodeTga(p, options); },
      [&](const std::string& bytes, TDIBSurface& p) { ReadTga(bytes, p, keep_alpha); });
  return 0;
}
