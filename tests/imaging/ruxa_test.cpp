// RXA pictures: every version, layout, plane coding and shuffling decodes to the pixels it was
// built from; layers composite by their rules; the documented edge cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "archive/stream.h"
#include "imaging/jpeg_codec.h"
#include "imaging/ruxa.h"
#include "imaging/ruxa_writer.h"
#include "platform/error.h"
#include "tests/imaging/ruxa_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

using test::Block;
using test::BuildRuxa;
using test::FrameSpec;
using test::LayerSpec;
using test::PictureSpec;
using test::Zlib;

std::unique_ptr<TRuxaFrameList> Load(const std::string& bytes, int32_t key = 0, bool first_only = false,
                                     bool transparency = false, bool keep = false) {
  auto list = std::make_unique<TRuxaFrameList>(key);
  TMemoryStream stream(bytes);
  list->LoadFromStream(stream, first_only, transparency, keep);
  return list;
}

TDIBSurface& Pattern(TDIBSurface& s, int32_t w, int32_t h, int32_t bits, uint32_t salt) {
  s.SetSize(w, h, bits);
  test::FillPattern(s, salt);
  return s;
}

std::vector<TPaletteEntry> GreyPalette(int32_t bits) {
  std::vector<TPaletteEntry> p;
  for (int i = 0; i < (1 << bits); ++i) p.push_back({uint8_t(i * 7), uint8_t(i * 5), uint8_t(i * 3), 0});
  return p;
}

FrameSpec FrameOf(const TDIBSurface& pic) {
  FrameSpec f;
  f.width = pic.Width();
  f.height = pic.Height();
  f.bits = pic.EffectiveBitCount();
  if (f.bits <= 8) f.palette = GreyPalette(f.bits);
  return f;
}

// Coded plane for the header's compression (0 zlib, 1 none).
std::string Code(const std::string& raw, uint8_t compression) {
  return compression == 1 ? raw : Zlib(raw);
}

TEST(Ruxa, RowsLayoutAtEveryVersionDepthCodingAndShuffle) {
  for (int32_t version : {-1, 100, 101, 102, 103, 104, 105, 106}) {
    for (int32_t bits : {1, 4, 8, 15, 16, 24, 32}) {
      for (uint8_t compression : {0, 1}) {
        for (int32_t key : {0, 77, -123456}) {
          if (version < 103 && (compression == 1 || key != 0)) continue;  // old pictures: zlib rows only
          SCOPED_TRACE(testing::Message() << "version " << version << " bits " << bits << " coding "
                                          << int(compression) << " key " << key);
          TDIBSurface pic;
          Pattern(pic, 13, 9, bits, static_cast<uint32_t>(bits));
          PictureSpec spec;
          spec.signature = version;
          spec.compression = compression;
          spec.shuffled = 1;  // a zero key shuffles nothing: rows in natural order
          FrameSpec frame = FrameOf(pic);
          LayerSpec layer;
          layer.colour = Code(test::RowsRaw(pic, key), compression);
          frame.layers.push_back(layer);
          spec.frames.push_back(frame);
          auto list = Load(BuildRuxa(spec), key);
          EXPECT_EQ(list->Version, version < 0 ? 0 : version);
          ASSERT_EQ(list->Count(), 1);
          EXPECT_TRUE(test::SamePixels(list->GetFrame(0).Surface, pic));
          EXPECT_EQ(list->GetFrame(0).LayerCount(), 0);  // layers freed without KeepLayers
        }
      }
    }
  }
}

TEST(Ruxa, BlockLayoutWithNarrowEdgesRepeatsAndReferences) {
  for (int32_t bits : {4, 8, 15, 24, 32}) {
    for (uint8_t compression : {0, 1}) {
      for (int32_t key : {0, 9}) {
        SCOPED_TRACE(testing::Message()
                     << "bits " << bits << " coding " << int(compression) << " key " << key);
        // 13 x 7 in 4 x 3 blocks: 4 x 3 tiles, the last column 1 wide and the last row 1 high.
        const int32_t bw = 4, bh = 3;
        TDIBSurface first, second;
        Pattern(first, 13, 7, bits, 1);
        Pattern(second, 13, 7, bits, 2);
        // Frame 1 repeats tile 0 at tile 5 and takes tiles 2 and 11 from frame 0, layer 0.
        second.CopyRect(4, 3, {0, 0, 4, 3}, second);
        second.CopyRect(8, 0, {8, 0, 12, 3}, first);
        second.CopyRect(12, 6, {12, 6, 13, 7}, first);
        std::vector<Block> tiles(12), literal(12);
        tiles[5] = {-2, 0};
        tiles[2] = {0, 0};
        tiles[11] = {0, 0};
        PictureSpec spec;
        spec.compression = compression;
        spec.shuffled = key != 0;
        spec.block_width = bw;
        spec.block_height = bh;
        FrameSpec f0 = FrameOf(first), f1 = FrameOf(second);
        LayerSpec l0, l1;
        l0.colour = Code(test::BlocksRaw(first, bw, bh, literal, key), compression);
        l1.colour = Code(test::BlocksRaw(second, bw, bh, tiles, key), compression);
        f0.layers.push_back(l0);
        f1.layers.push_back(l1);
        spec.frames = {f0, f1};
        auto list = Load(BuildRuxa(spec), key);
        ASSERT_EQ(list->Count(), 2);
        EXPECT_TRUE(test::SamePixels(list->GetFrame(0).Surface, first));
        EXPECT_TRUE(test::SamePixels(list->GetFrame(1).Surface, second));
      }
    }
  }
}

TEST(Ruxa, PlaneCodingFollowsTheCompressionByteAlone) {
  // The record's Compression codes the planes whatever the record's version; a value without a
  // coding of its own means uncompressed. Below 103 the rows stay in natural order.
  TDIBSurface pic;
  Pattern(pic, 5, 3, 24, 1);
  for (auto [record_version, compression] : {std::pair<int32_t, uint8_t>{102, 1}, {106, 7}}) {
    SCOPED_TRACE(record_version);
    PictureSpec spec;
    spec.record_version = record_version;
    spec.compression = compression;
    spec.shuffled = 1;
    FrameSpec f = FrameOf(pic);
    LayerSpec l;
    l.colour = test::RowsRaw(pic, record_version < 103 ? 0 : 5);
    f.layers.push_back(l);
    spec.frames.push_back(f);
    EXPECT_TRUE(test::SamePixels(Load(BuildRuxa(spec), 5)->GetFrame(0).Surface, pic));
  }
}

TEST(Ruxa, OldHeadersAndBackgroundColour) {
  // Without signature: frame count, one skipped byte, zlib rows; a layer with 1 row of opacity 0
  // keeps the black background.
  TDIBSurface pic;
  Pattern(pic, 3, 2, 24, 1);
  for (int32_t version : {-1, 101, 102}) {
    PictureSpec spec;
    spec.signature = version;
    spec.background = RGBColor(10, 20, 30);
    FrameSpec f = FrameOf(pic);
    LayerSpec l;
    l.opacity = 0;
    l.trans_color = 5;
    l.colour = Zlib(test::RowsRaw(pic, 0));
    f.layers.push_back(l);
    spec.frames.push_back(f);
    auto list = Load(BuildRuxa(spec));
    const uint32_t bg = list->GetFrame(0).Surface.Pixels(2, 1);
    EXPECT_EQ(bg, version == 102 ? 0x0A141Eu : 0u) << version;  // 0x00RRGGBB of (10, 20, 30)
    if (version == 102) {
      // Below 102 the colour stays what it was: a reused list keeps the last one.
      spec.signature = 101;
      TMemoryStream stream(BuildRuxa(spec));
      list->LoadFromStream(stream, false, false, false);
      EXPECT_EQ(list->BackgroundColor, RGBColor(10, 20, 30));
    }
  }
  // 103 and later take it from the header record, on palette pictures the nearest entry.
  PictureSpec spec;
  spec.signature = 103;
  spec.background = RGBColor(3 * 9, 5 * 9, 7 * 9);  // palette entry 9
  TDIBSurface pal;
  Pattern(pal, 2, 2, 4, 1);
  spec.frames.push_back(FrameOf(pal));
  EXPECT_EQ(Load(BuildRuxa(spec))->GetFrame(0).Surface.Pixels(1, 1), 9u);
}

TEST(Ruxa, ShortAndLongHeaderRecords) {
  PictureSpec spec;
  spec.header_size = 16;  // frame count lies beyond: 0 frames
  TDIBSurface pic;
  Pattern(pic, 2, 2, 24, 1);
  spec.frames.push_back(FrameOf(pic));
  const std::string bytes = BuildRuxa(spec);
  auto list = Load(bytes.substr(0, 7 + 4 + 16));
  EXPECT_EQ(list->Count(), 0);
  try {
    list->GetFrame(0);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Error:TRuxaFrameList.GetFrame");
  }
  // A record of 48 bytes: the 8 unknown bytes are skipped.
  spec.header_size = 48;
  EXPECT_EQ(Load(BuildRuxa(spec))->Count(), 1);
  // Signature digits must be a number.
  std::string bad = BuildRuxa(spec);
  bad[5] = 'x';
  EXPECT_THROW(Load(bad), EFormatError);
}

TEST(Ruxa, FirstFrameOnlyStopsAfterTheFirstFrame) {
  PictureSpec spec;
  spec.signature = 104;
  TDIBSurface pic;
  for (int i = 0; i < 5; ++i) {
    Pattern(pic, 4, 3, 8, static_cast<uint32_t>(i));
    FrameSpec f = FrameOf(pic);
    f.name = "frame" + std::to_string(i);
    f.extra1 = {{1, 2, 3, 4}};
    LayerSpec l;
    l.colour = Zlib(test::RowsRaw(pic, 0));
    f.layers.push_back(l);
    spec.frames.push_back(f);
  }
  const std::string all = BuildRuxa(spec);
  spec.frames.resize(1);
  const size_t first_end = BuildRuxa(spec).size();
  TMemoryStream stream(all);
  TRuxaFrameList list(0);
  list.LoadFromStream(stream, true, false, false);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(first_end));
  EXPECT_EQ(list.GetFrame(0).Name, "frame0");
  EXPECT_EQ(list.GetFrame(0).ExtraList1.size(), 1u);
  EXPECT_EQ(list.GetFrame(0).ExtraList1[0][3], 4);
  stream.SetPosition(0);
  list.LoadFromStream(stream, false, false, false);
  EXPECT_EQ(list.Count(), 5);
  EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(all.size()));
  EXPECT_TRUE(test::SamePixels(list.GetFrame(4).Surface, pic));
}

// Two layers over a background: the three drawing rules, visibility and opacity.
TEST(Ruxa, LayersCompositeByTheirRules) {
  TDIBSurface bottom, top;
  Pattern(bottom, 4, 4, 24, 1);
  Pattern(top, 4, 4, 24, 2);
  const int32_t key = static_cast<int32_t>(top.Pixels(1, 1));
  auto picture = [&](LayerSpec a, LayerSpec b, uint8_t bottom_opaque) {
    PictureSpec spec;
    spec.bottom_opaque = bottom_opaque;
    spec.background = RGBColor(1, 2, 3);
    FrameSpec f = FrameOf(bottom);
    a.colour = Zlib(test::RowsRaw(bottom, 0));
    b.colour = Zlib(test::RowsRaw(top, 0));
    f.layers = {a, b};
    spec.frames.push_back(f);
    return Load(BuildRuxa(spec));
  };
  LayerSpec plain, keyed;
  keyed.trans_color = key;
  {  // (b) then (c) at full opacity: the key keeps the layer below.
    auto list = picture(plain, keyed, 0);
    TDIBSurface& s = list->GetFrame(0).Surface;
    EXPECT_EQ(s.Pixels(1, 1), bottom.Pixels(1, 1));
    EXPECT_EQ(s.Pixels(2, 1), top.Pixels(2, 1));
  }
  {  // a keyed first layer over the background; BottomLayerOpaque makes it a plain copy.
    LayerSpec first_keyed;
    first_keyed.trans_color = static_cast<int32_t>(bottom.Pixels(0, 0));
    LayerSpec hidden;
    hidden.visible = 0;
    EXPECT_EQ(picture(first_keyed, hidden, 0)->GetFrame(0).Surface.Pixels(0, 0), 0x010203u);
    EXPECT_EQ(picture(first_keyed, hidden, 1)->GetFrame(0).Surface.Pixels(0, 0), bottom.Pixels(0, 0));
  }
  {  // an invisible layer is consumed but not drawn; opacity 0 leaves the frame.
    LayerSpec hidden, clear;
    hidden.visible = 0;
    clear.opacity = 0;
    EXPECT_TRUE(test::SamePixels(picture(plain, hidden, 0)->GetFrame(0).Surface, bottom));
    EXPECT_TRUE(test::SamePixels(picture(plain, clear, 0)->GetFrame(0).Surface, bottom));
  }
  {  // half opacity blends by /255
    LayerSpec half;
    half.opacity = 128;
    const uint32_t got = picture(plain, half, 0)->GetFrame(0).Surface.Pixels(3, 2);
    const uint32_t d = bottom.Pixels(3, 2) & 0xFF, s = top.Pixels(3, 2) & 0xFF;
    EXPECT_EQ(got & 0xFF, (127 * d + 128 * s) / 255);
  }
}

TEST(Ruxa, AlphaPlanesReplaceTheKeyAndBlend) {
  TDIBSurface bottom, top, alpha;
  Pattern(bottom, 5, 3, 24, 1);
  Pattern(top, 5, 3, 24, 2);
  alpha.SetSize(5, 3, 8);
  alpha.FillRect(alpha.BoundsRect(), 255);
  alpha.SetPixels(0, 0, 0);
  alpha.SetPixels(1, 0, 128);
  PictureSpec spec;
  spec.signature = 106;
  FrameSpec f = FrameOf(bottom);
  LayerSpec a, b;
  a.alpha_on = 1;
  a.trans_color = 7;  // replaced by the alpha plane
  a.colour = Zlib(test::RowsRaw(bottom, 0));
  a.alpha = Zlib(test::RowsRaw(alpha, 0));
  b = a;
  b.colour = Zlib(test::RowsRaw(top, 0));
  f.layers = {a, b};
  spec.frames.push_back(f);
  auto list = Load(BuildRuxa(spec), 0, false, false, true);
  TRuxaFrame& frame = list->GetFrame(0);
  ASSERT_EQ(frame.LayerCount(), 2);
  EXPECT_EQ(frame.Layer(0).TransColor, -1);
  ASSERT_TRUE(frame.HasAlphaPlane());  // taken from the first visible layer
  EXPECT_TRUE(test::SamePixels(*frame.Surface.AlphaPlane(), alpha));
  // Layer 0 is copied (position 0 never goes through DrawAlpha); layer 1 blends by its alpha.
  EXPECT_EQ(frame.Surface.Pixels(0, 0), bottom.Pixels(0, 0));
  EXPECT_EQ(frame.Surface.Pixels(4, 2), top.Pixels(4, 2));
  const uint32_t d = bottom.Pixels(1, 0) & 0xFF, s = top.Pixels(1, 0) & 0xFF;
  EXPECT_EQ(frame.Surface.Pixels(1, 0) & 0xFF, (128 * s + 127 * d) >> 8);
}

TEST(Ruxa, TransparencyPostProcessing) {
  // An 8-bit frame keyed by palette index 3 becomes 24-bit with alpha 0 where the key was.
  TDIBSurface pic;
  Pattern(pic, 6, 4, 8, 4);
  pic.SetPixels(2, 1, 3);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 6; ++x)
      if (pic.Pixels(x, y) == 3 && (x != 2 || y != 1)) pic.SetPixels(x, y, 4);
  PictureSpec spec;
  FrameSpec f = FrameOf(pic);
  f.trans_color = 3;
  LayerSpec l;
  l.colour = Zlib(test::RowsRaw(pic, 0));
  f.layers.push_back(l);
  spec.frames.push_back(f);
  auto list = Load(BuildRuxa(spec), 0, false, true, true);
  TRuxaFrame& frame = list->GetFrame(0);
  EXPECT_EQ(frame.Surface.BitCount(), 24);
  EXPECT_EQ(frame.TransRGB, static_cast<int32_t>(RGBColor(9, 15, 21)));
  EXPECT_EQ(frame.TransColor, 0x090F15);  // the 24-bit pixel now at (2, 1)
  ASSERT_TRUE(frame.HasAlphaPlane());
  EXPECT_EQ(frame.Surface.AlphaPlane()->Pixels(2, 1), 0u);
  EXPECT_EQ(frame.Surface.AlphaPlane()->Pixels(0, 0), 255u);
  const uint32_t v = pic.Pixels(5, 3);
  EXPECT_EQ(frame.Surface.Pixels(5, 3), ((v * 3) & 0xFF) << 16 | ((v * 5) & 0xFF) << 8 | ((v * 7) & 0xFF));
  ASSERT_EQ(frame.LayerCount(), 1);
  EXPECT_EQ(frame.Layer(0).Surface.BitCount(), 24);
  EXPECT_EQ(frame.Layer(0).Surface.AlphaPlane()->Pixels(2, 1), 0u);
}

TEST(Ruxa, JpegPlanesDecodeAsDjpegDoes) {
  TDIBSurface photo;
  photo.SetSize(37, 21, 24);  // not a multiple of the 16-pixel chroma blocks
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 37; ++x)
      photo.SetPixels(x, y, RGBColor(uint8_t(x * 7), uint8_t(y * 12), uint8_t((x ^ y) * 9)));
  photo.EnsureAlphaPlane();
  photo.FillAlphaOpaque();
  photo.AlphaPlane()->SetPixels(3, 3, 17);
  TRuxaEncodeOptions options;
  options.jpeg_quality = 85;
  auto list = Load(EncodeRuxa(photo, options));
  TRuxaFrame& frame = list->GetFrame(0);
  ASSERT_TRUE(frame.HasAlphaPlane());
  EXPECT_EQ(frame.Surface.AlphaPlane()->Pixels(3, 3), 17u);
  // The reference decoder: libjpeg's own djpeg at its defaults (accurate DCT, smooth upsampling).
  const auto dir = test::MakeTempDir("jpeg");
  test::WriteFile(dir / "p.jpg", EncodeJpeg(photo, 85));
  const std::string command =
      "djpeg -ppm -outfile '" + (dir / "p.ppm").string() + "' '" + (dir / "p.jpg").string() + "'";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "djpeg is not installed";
  const std::string ppm = test::ReadFile(dir / "p.ppm");
  const std::string header = "P6\n37 21\n255\n";
  ASSERT_EQ(ppm.substr(0, header.size()), header);
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 37; ++x) {
      const auto* p = reinterpret_cast<const uint8_t*>(ppm.data() + header.size() + (y * 37 + x) * 3);
      ASSERT_EQ(frame.Surface.PixelToColor(frame.Surface.Pixels(x, y)), RGBColor(p[0], p[1], p[2]))
          << x << "," << y;
    }
}

TEST(Ruxa, JpegPlanesTakeTheFramesDepth) {
  TDIBSurface photo;
  photo.SetSize(16, 16, 24);
  test::FillPattern(photo, 3);
  PictureSpec spec;
  spec.compression = 2;
  FrameSpec f;
  f.width = f.height = 16;
  LayerSpec l;
  l.colour = EncodeJpeg(photo, 90);
  f.layers = {l};
  for (int32_t bits : {15, 32}) {
    f.bits = bits;
    spec.frames = {f};
    auto list = Load(BuildRuxa(spec));
    EXPECT_EQ(list->GetFrame(0).Surface.EffectiveBitCount(), bits);
  }
  f.bits = 8;
  f.palette.resize(256);
  spec.frames = {f};
  EXPECT_THROW(Load(BuildRuxa(spec)), EFormatError);
}

// A bottom JPEG layer that covers the frame is decoded straight into it when the layers are not
// kept; whatever the layer's flags, the frame must come out as when the layers are kept (each
// layer decoded on its own, then drawn over the background).
TEST(Ruxa, JpegBottomLayersComposeAlikeWithAndWithoutKeptLayers) {
  TDIBSurface photo, alpha;
  Pattern(photo, 24, 17, 24, 5);
  Pattern(alpha, 24, 17, 8, 6);
  const std::string jpeg = EncodeJpeg(photo, 90);
  const std::string alpha_plane = test::Zlib(test::RowsRaw(alpha, 0));
  struct Case {
    uint8_t visible;
    int32_t opacity, trans_color;
    uint8_t bottom_opaque, alpha_on;
    bool with_alpha, second_layer;
  };
  const Case cases[] = {
      {1, 255, -1, 0, 0, false, false},       {1, 255, -1, 0, 0, false, true},
      {0, 255, -1, 0, 0, false, true},        {1, 128, -1, 0, 0, false, false},
      {1, 255, 0x102030, 0, 0, false, false}, {1, 255, 0x102030, 1, 0, false, false},
      {1, 255, -1, 0, 1, true, false},        {1, 255, 7, 0, 1, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.visible) << " " << c.opacity << " " << c.trans_color << " "
                                      << int(c.bottom_opaque) << " " << c.with_alpha << c.second_layer);
    PictureSpec spec;
    spec.compression = 2;
    spec.background = 0x405060;
    spec.bottom_opaque = c.bottom_opaque;
    FrameSpec f;
    f.width = 24;
    f.height = 17;
    LayerSpec bottom;
    bottom.visible = c.visible;
    bottom.opacity = c.opacity;
    bottom.trans_color = c.trans_color;
    bottom.alpha_on = c.alpha_on;
    bottom.colour = jpeg;
    if (c.with_alpha) bottom.alpha = alpha_plane;
    f.layers = {bottom};
    if (c.second_layer) {
      LayerSpec top;
      top.opacity = 100;
      top.colour = jpeg;
      f.layers.push_back(top);
    }
    spec.frames = {f};
    const std::string bytes = BuildRuxa(spec);
    for (const bool transparency : {false, true}) {
      auto straight = Load(bytes, 0, false, transparency, false);
      auto kept = Load(bytes, 0, false, transparency, true);
      const TDIBSurface& a = straight->GetFrame(0).Surface;
      const TDIBSurface& b = kept->GetFrame(0).Surface;
      EXPECT_TRUE(test::SamePixels(a, b));
      ASSERT_EQ(a.AlphaPlane() != nullptr, b.AlphaPlane() != nullptr);
      if (a.AlphaPlane()) {
        EXPECT_TRUE(test::SamePixels(*a.AlphaPlane(), *b.AlphaPlane()));
      }
    }
  }
}

TEST(Ruxa, EncoderRoundTripsEveryLayout) {
  TDIBSurface pic;
  Pattern(pic, 50, 31, 24, 8);
  pic.CopyRect(16, 16, {0, 0, 16, 15}, pic);  // a repeated block
  pic.EnsureAlphaPlane();
  test::FillPattern(*pic.AlphaPlane(), 9);
  for (int32_t bw : {0, 16, 7}) {
    for (bool shuffle : {false, true}) {
      TRuxaEncodeOptions options;
      options.key = 4242;
      options.shuffle = shuffle;
      options.block_width = bw;
      options.block_height = bw ? 16 : 0;
      const std::string bytes = EncodeRuxa(pic, options);
      auto list = Load(bytes, 4242);
      TRuxaFrame& frame = list->GetFrame(0);
      EXPECT_TRUE(test::SamePixels(frame.Surface, pic)) << bw << shuffle;
      ASSERT_TRUE(frame.HasAlphaPlane());
      EXPECT_TRUE(test::SamePixels(*frame.Surface.AlphaPlane(), *pic.AlphaPlane()));
      TMemoryStream probe(bytes);
      EXPECT_FALSE(IsUncompressedRxa(probe));
    }
  }
}

TEST(Ruxa, ReadsFromFileStreamsAndProbesUncompressed) {
  TDIBSurface pic;
  Pattern(pic, 5, 4, 16, 2);
  PictureSpec spec;
  spec.compression = 1;
  FrameSpec f = FrameOf(pic);
  LayerSpec l;
  l.colour = test::RowsRaw(pic, 0);
  f.layers.push_back(l);
  spec.frames.push_back(f);
  const auto path = test::MakeTempDir("rxa") / "p.rxa";
  test::WriteFile(path, BuildRuxa(spec));
  TFileStream file(path, FileAccess::kRead);
  TRuxaFrameList list(0);
  list.LoadFromStream(file, false, false, false);
  EXPECT_TRUE(test::SamePixels(list.GetFrame(0).Surface, pic));
  file.SetPosition(0);
  EXPECT_TRUE(IsUncompressedRxa(file));
  spec.signature = 102;
  TMemoryStream old(BuildRuxa(spec));
  EXPECT_FALSE(IsUncompressedRxa(old));
}

}  // namespace
}  // namespace vn
