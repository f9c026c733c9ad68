// TGA files. Input: one byte (bit 0: keep the alpha channel), then the file.
#include "fuzz/fuzz_support.h"
#include "imaging/tga_file.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  if (size < 1) return 0;
  TDIBSurface picture;
  try {
    ReadTga(fuzz::AsView(data + 1, size - 1), picture, data[0] & 1);
  } catch (const Exception&) {
  }
  return 0;
}
