// PNG files through libpng as the picture commands read them; what loads is written by our PNG
// writer and must read back as the same picture. Input: the file.
#include "fuzz/picture_round_trip.h"
#include "imaging/png_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  TDIBSurface picture;
  try {
    ReadPng(fuzz::AsView(data, size), picture);
  } catch (const Exception&) {
    return 0;
  }
  fuzz::CheckRoundTrip(
      picture, [](const TDIBSurface& p) { return EncodePng(p, p.AlphaPlane() != nullptr); },
      [](const std::string& bytes, TDIBSurface& p) { ReadPng(bytes, p); });
  return 0;
}
