// RXA pictures with every load option, from a memory stream and from a plain one. The first frame of
// what loads is written by our RXA writer (in the layout the options pick) and must read back as the
// same picture.
//
// Input: one byte of options (bit 0 first frame only, bit 1 apply transparency, bit 2 keep layers,
// bit 3 a plain stream, bits 4-5 the layout written back: plain, shuffled rows, blocks, shuffled
// blocks), four bytes of key (little-endian), then the picture.
#include "fuzz/picture_round_trip.h"
#include "imaging/ruxa.h"
#include "imaging/ruxa_writer.h"

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
    return 0;
  }
  if (list.Count() == 0 || list.GetFrame(0).Surface.Empty()) return 0;
  // The writer takes 24-bit pictures: the frame's colours at 24 bits (its alpha plane kept).
  TDIBSurface frame;
  frame.AssignWithAlpha(list.GetFrame(0).Surface);
  if (frame.BitCount() != 24) frame.ConvertBitCount(24);
  TRuxaEncodeOptions encode;
  encode.key = key;
  encode.shuffle = options & 16;
  if (options & 32) encode.block_width = encode.block_height = 8;
  fuzz::CheckRoundTrip(
      frame, [&](const TDIBSurface& p) { return EncodeRuxa(p, encode); },
      [&](const std::string& bytes, TDIBSurface& p) {
        TRuxaFrameList back(key);
        TMemoryStream stream{bytes};
        back.LoadFromStream(stream, true, false, false);
        if (back.Count() == 0) throw EFormatError("no frame");
        p.AssignWithAlpha(back.GetFrame(0).Surface);
      });
  return 0;
}
