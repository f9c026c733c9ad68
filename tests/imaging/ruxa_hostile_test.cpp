// Damaged and hostile RXA pictures: every one is refused with an error that says why; none reads or
// writes outside a buffer (the suite runs under AddressSanitizer).
#include <gtest/gtest.h>

#include <cstring>

#include "archive/seeded_random.h"
#include "archive/stream.h"
#include "imaging/ruxa.h"
#include "imaging/ruxa_planes.h"
#include "imaging/ruxa_writer.h"
#include "platform/error.h"
#include "tests/imaging/ruxa_builder.h"

namespace vn {
namespace {

using test::Block;
using test::BuildRuxa;
using test::FrameSpec;
using test::LayerSpec;
using test::PictureSpec;
using test::Zlib;

void Load(const std::string& bytes, int32_t key = 0) {
  TRuxaFrameList list(key);
  TMemoryStream stream(bytes);
  list.LoadFromStream(stream, false, true, false);
}

std::string ErrorOf(const std::string& bytes) {
  try {
    Load(bytes);
  } catch (const EFormatError& e) {
    return e.what();
  }
  return "(no error)";
}

// Small pictures covering each reading path: old rows, palettes, blocks with references and
// repeats, alpha planes, JPEG.
std::vector<std::string> Samples() {
  std::vector<std::string> out;
  TDIBSurface pic;
  pic.SetSize(9, 5, 8);
  test::FillPattern(pic, 1);
  PictureSpec old;
  old.signature = 100;
  FrameSpec f;
  f.width = 9;
  f.height = 5;
  f.bits = 8;
  f.palette.resize(256);
  LayerSpec l;
  l.colour = Zlib(test::RowsRaw(pic, 0));
  l.alpha = Zlib(std::string(static_cast<size_t>(pic.RowSize()) * 5, '\x80'));
  f.layers = {l, l};
  old.frames = {f};
  out.push_back(BuildRuxa(old));

  PictureSpec blocks;
  blocks.compression = 1;
  blocks.shuffled = 1;
  blocks.block_width = 4;
  blocks.block_height = 2;
  std::vector<Block> literal(9), refs(9);
  refs[1] = {-2, 0};
  refs[4] = {0, 0};
  f.layers.clear();
  l.colour = test::BlocksRaw(pic, 4, 2, literal, 3);
  l.alpha = test::BlocksRaw(pic, 4, 2, literal, 3);
  l.alpha_on = 1;
  f.layers.push_back(l);
  l.colour = test::BlocksRaw(pic, 4, 2, refs, 3);
  f.layers.push_back(l);
  f.extra1 = {{1, 2, 3, 4}};
  blocks.frames = {f, f};
  out.push_back(BuildRuxa(blocks));

  TDIBSurface photo;
  photo.SetSize(19, 11, 24);
  test::FillPattern(photo, 2);
  photo.EnsureAlphaPlane();
  test::FillPattern(*photo.AlphaPlane(), 3);
  TRuxaEncodeOptions jpeg;
  jpeg.jpeg_quality = 50;
  out.push_back(EncodeRuxa(photo, jpeg));
  return out;
}

// The shuffle's fast placement draws exactly what the generator's pool draws.
TEST(RuxaHostile, PlacementOrderMatchesTheGenerator) {
  for (int32_t seed : {1, -1, 12345, 0x7FFFFFFF}) {
    for (int32_t n : {1, 2, 7, 64, 1000}) {
      TSeededRandom random(seed);
      random.Reset(n);
      std::vector<int32_t> expected;
      for (int32_t k = 0; k < n; ++k) expected.push_back(random.Draw());
      EXPECT_EQ(ruxa::PlacementOrder(seed, n), expected) << seed << " " << n;
    }
  }
}

TEST(RuxaHostile, EveryTruncationIsRefused) {
  for (const std::string& sample : Samples()) {
    ASSERT_NO_THROW(Load(sample, 3));
    for (size_t n = 0; n < sample.size(); ++n) {
      // A truncated JPEG stream still decodes (the library fills the rest); everything else is refused.
      try {
        Load(sample.substr(0, n), 3);
      } catch (const EFormatError&) {
      }
    }
  }
  // Without the JPEG case every prefix must fail.
  const std::string sample = Samples()[1];
  for (size_t n = 0; n < sample.size(); ++n) EXPECT_THROW(Load(sample.substr(0, n), 3), EFormatError) << n;
}

TEST(RuxaHostile, EveryCorruptedByteIsHandled) {
  for (const std::string& sample : Samples()) {
    for (size_t i = 0; i < sample.size(); ++i) {
      for (uint8_t flip : {0x01, 0x80, 0xFF}) {
        std::string bad = sample;
        bad[i] = static_cast<char>(bad[i] ^ flip);
        try {
          Load(bad, 3);
        } catch (const Exception&) {
        }
      }
    }
  }
}

// A one-frame, one-layer 24-bit picture with fields to spoil.
struct Spoil {
  int32_t width = 4, height = 3, bits = 24;
  int32_t layers = 1;
  int32_t block_width = 0, block_height = 0;
  std::string plane;
  bool raw = true;
};

std::string Build(const Spoil& s) {
  PictureSpec spec;
  spec.compression = s.raw ? 1 : 0;
  spec.block_width = s.block_width;
  spec.block_height = s.block_height;
  FrameSpec f;
  f.width = s.width;
  f.height = s.height;
  f.bits = s.bits;
  LayerSpec l;
  l.colour = s.plane;
  for (int i = 0; i < s.layers; ++i) f.layers.push_back(l);
  spec.frames = {f};
  return BuildRuxa(spec);
}

TEST(RuxaHostile, ImpossibleSizesAreRefusedBeforeAllocating) {
  Spoil s;
  s.width = -4;
  EXPECT_NE(ErrorOf(Build(s)).find("impossible size"), std::string::npos);
  s = {};
  s.bits = 12;
  EXPECT_NE(ErrorOf(Build(s)).find("unsupported bit depth (12)"), std::string::npos);
  s = {};
  s.width = s.height = 60000;
  s.bits = 32;
  EXPECT_NE(ErrorOf(Build(s)).find("larger than"), std::string::npos);
  s = {};
  std::string bytes = Build(s);
  // The layer count sits 16 bytes before the end of the frame header (count, width, height, bits).
  const size_t frame = 7 + 4 + 40;
  const int32_t many = 1 << 28;
  std::memcpy(bytes.data() + frame + 4 + 4 + 4 + 1 + 4, &many, 4);
  EXPECT_NE(ErrorOf(bytes).find("impossible layer count"), std::string::npos);
  // Plane data shorter than the rows need.
  s = {};
  s.plane = std::string(5, 'x');
  EXPECT_NE(ErrorOf(Build(s)).find("holds 5 bytes; the picture needs 36"), std::string::npos);
  // A plane size beyond the data.
  bytes = Build(s);
  const int32_t huge = 1 << 30;
  std::memcpy(bytes.data() + bytes.size() - 8 - 4 - 5 - 4, &huge,
              4);  // before plane, alpha size, extra lists
  EXPECT_NE(ErrorOf(bytes).find("colour plane size"), std::string::npos);
  // A negative header size.
  bytes = Build(s);
  const int32_t negative = -1;
  std::memcpy(bytes.data() + 7, &negative, 4);
  EXPECT_NE(ErrorOf(bytes).find("header size"), std::string::npos);
  // A few bytes of zlib data cannot fill 8000 x 8000 pixels: refused before the layer is allocated.
  s = {};
  s.raw = false;
  s.width = s.height = 8000;
  s.plane = Zlib(std::string(100, '\0'));
  EXPECT_NE(ErrorOf(Build(s)).find("its data could not fill them"), std::string::npos);
  // Padding makes the file large enough for the frame, so the plane's own check speaks.
  EXPECT_NE(
      ErrorOf(Build(s) + std::string(24000, '\0')).find("bytes of zlib data; the picture needs 192000000"),
      std::string::npos);
  // 1x1 blocks on a 16 MB 1-bit picture: a block table over 1 GiB, refused before inflating.
  s = {};
  s.raw = false;
  s.width = 16384;
  s.height = 8200;
  s.bits = 1;
  s.block_width = s.block_height = 1;
  s.plane = Zlib(std::string(100, '\0')) + std::string(1100000, 'x');  // enough to pass the 1032x rule
  EXPECT_NE(ErrorOf(Build(s)).find("block table of 134348800 blocks"), std::string::npos);
  // Damaged zlib data names the plane.
  s = {};
  s.raw = false;
  s.plane = "\x78\x9c garbage";
  EXPECT_NE(ErrorOf(Build(s)).find("frame 0, layer 0, colour plane: damaged zlib data"), std::string::npos);
}

// A frame without layers needs no data at all, so a file of a few dozen bytes could ask for the
// largest frame; surfaces are bounded by what the file could fill.
TEST(RuxaHostile, AFrameWithoutLayersIsBoundedByTheFileSize) {
  Spoil s;
  s.layers = 0;
  s.width = s.height = 8000;
  s.bits = 8;
  const std::string tiny = Build(s);
  EXPECT_LT(tiny.size(), 2000u);
  EXPECT_NE(
      ErrorOf(tiny).find("asks for 64000000 bytes (or pixels) of pictures; its data could not fill them"),
      std::string::npos);
  // At 1 bit the same memory holds eight times the pixels, and filling goes pixel by pixel.
  s.width = s.height = 16000;
  s.bits = 1;
  EXPECT_NE(ErrorOf(Build(s)).find("asks for 256000000 bytes (or pixels)"), std::string::npos);
  s.width = s.height = 1000;
  EXPECT_EQ(ErrorOf(Build(s)), "(no error)");  // small pictures always fit
}

// 200 layers of 2000 x 2000 take more than the budget: refused before the first layer is decoded
// (damaged data in it would speak first otherwise), not after the budget was spent on a hundred.
TEST(RuxaHostile, ALayerCountTheBudgetCannotHoldIsRefusedUpFront) {
  Spoil s;
  s.raw = false;
  s.width = s.height = 2000;
  s.layers = 200;
  s.plane = "\x78\x9c" + std::string(12000, 'x');
  EXPECT_NE(ErrorOf(Build(s)).find("needs more memory than this program allows"), std::string::npos);
  s.layers = 2;
  EXPECT_NE(ErrorOf(Build(s)).find("layer 0, colour plane: damaged zlib data"), std::string::npos);
}

TEST(RuxaHostile, BlockReferencesAreChecked) {
  TDIBSurface pic;
  pic.SetSize(4, 3, 24);
  test::FillPattern(pic, 1);
  auto with = [&](Block block, int32_t bits = 24) {
    Spoil s;
    s.block_width = 2;
    s.block_height = 3;
    s.bits = bits;
    TDIBSurface p;
    p.SetSize(4, 3, bits);
    s.plane = test::BlocksRaw(p, 2, 3, {block, {-1, 0}}, 0);
    return ErrorOf(Build(s));
  };
  EXPECT_NE(with({5, 0}).find("a block refers to frame 5, which is not read before this one"),
            std::string::npos);
  EXPECT_NE(with({0, 3}).find("refers to layer 3 of frame 0, which does not exist"), std::string::npos);
  EXPECT_NE(with({-2, 2}).find("repeats block 2, which does not exist"), std::string::npos);
  EXPECT_NE(with({-2, -7}).find("which does not exist"), std::string::npos);
  EXPECT_EQ(with({0, 0}), "(no error)");  // the layer being read refers to itself: allowed

  // An alpha plane that refers to a layer without one.
  PictureSpec spec;
  spec.compression = 1;
  spec.block_width = 4;
  spec.block_height = 3;
  FrameSpec f;
  f.width = 4;
  f.height = 3;
  LayerSpec plain;
  plain.colour = test::BlocksRaw(pic, 4, 3, {{-1, 0}}, 0);
  LayerSpec referring = plain;
  TDIBSurface alpha;
  alpha.SetSize(4, 3, 8);
  referring.alpha = test::BlocksRaw(alpha, 4, 3, {{0, 0}}, 0);
  f.layers = {plain, referring};
  spec.frames = {f};
  EXPECT_NE(ErrorOf(BuildRuxa(spec)).find("alpha plane of layer 0 of frame 0, which has none"),
            std::string::npos);

  // A reference to a frame of another bit depth.
  FrameSpec f16 = f;
  f16.bits = 16;
  TDIBSurface p16;
  p16.SetSize(4, 3, 16);
  f16.layers = {plain};
  f16.layers[0].colour = test::BlocksRaw(p16, 4, 3, {{0, 0}}, 0);
  f.layers = {plain};
  spec.frames = {f, f16};
  EXPECT_NE(ErrorOf(BuildRuxa(spec)).find("another bit depth"), std::string::npos);

  // One-bit blocks of one pixel: the byte positions of the format run past the row.
  Spoil s;
  s.bits = 1;
  s.width = 40;
  s.height = 1;
  s.block_width = 1;
  s.block_height = 1;
  s.plane = std::string(40 * 8 + 40, '\0');
  for (int t = 0; t < 40; ++t) std::memcpy(s.plane.data() + 8 * t, "\xff\xff\xff\xff", 4);
  EXPECT_NE(ErrorOf(Build(s)).find("outside the picture's rows"), std::string::npos);
}

TEST(RuxaHostile, JpegPlanesOfTheWrongSizeOrDamaged) {
  TDIBSurface photo;
  photo.SetSize(16, 8, 24);
  test::FillPattern(photo, 1);
  TRuxaEncodeOptions jpeg;
  jpeg.jpeg_quality = 90;
  std::string bytes = EncodeRuxa(photo, jpeg);
  // The frame says 16 x 9 while the JPEG holds 16 x 8.
  const size_t height_at = 7 + 4 + 40 + 4 + 4 + 4 + 1 + 4 + 4 + 4;
  bytes[height_at] = 9;
  EXPECT_NE(ErrorOf(bytes).find("JPEG plane of 16 x 8 pixels in a picture of 16 x 9"), std::string::npos);
  bytes[height_at] = 8;
  // Spoil the JPEG's start-of-frame marker: the library's error comes back, the process lives.
  const size_t sof = bytes.find("\xff\xc0");
  ASSERT_NE(sof, std::string::npos);
  bytes[sof + 1] = '\x01';
  EXPECT_NE(ErrorOf(bytes).find("JPEG plane"), std::string::npos);
}

}  // namespace
}  // namespace vn
