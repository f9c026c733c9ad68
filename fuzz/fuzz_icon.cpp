// Icon and cursor files (bitmap and PNG images). Input: one byte (bit 0 keep alpha, the rest the
// image to choose when there are several), then the file.
#include "fuzz/fuzz_support.h"
#include "imaging/icon_file.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  if (size < 1) return 0;
  const std::string_view bytes = fuzz::AsView(data + 1, size - 1);
  try {
    for (const TIconImageInfo& info : ListIconImages(bytes)) (void)info;
  } catch (const Exception&) {
  }
  TIconLoadOptions options;
  options.keep_alpha = data[0] & 1;
  options.key_color = 0xFF00FF;
  options.choose = [&](const std::vector<TIconImageInfo>&) { return static_cast<int32_t>(data[0] >> 1); };
  TDIBSurface picture;
  try {
    ReadIcon(bytes, picture, options);
  } catch (const Exception&) {
  }
  return 0;
}
