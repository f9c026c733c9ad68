// RXA pictures with every load option, from a memory stream and from a plain one.
//
// Input: one byte of options (bit 0 first frame only, bit 1 apply transparency, bit 2 keep layers,
// bit 3 a plain stream), four bytes of key (little-endian), then the picture.
#include "fuzz/fuzz_support.h"
#include "imaging/ruxa.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  if (size < 5) return 0;
  const uint8_t options = data[0];
  int32_t key;
  std::memcpy(&key, data + 1, 4);
  const std::string_view picture = fuzz::AsView(data + 5, size - 5);
  TRuxaFrameList list(key);
  try {
    if (options & 8) {
      fuzz::ViewStream stream(picture);
      list.LoadFromStream(stream, options & 1, options & 2, options & 4);
    } else {
      TMemoryStream stream{std::string(picture)};
      list.LoadFromStream(stream, options & 1, options & 2, options & 4);
    }
  } catch (const Exception&) {
  }
  return 0;
}
