// Keyed copies and the blends, pixel for pixel at each depth, with their clipping.
#include <gtest/gtest.h>

#include "imaging/dib_surface.h"
#include "tests/imaging/ruxa_builder.h"

namespace vn {
namespace {

// A one-row picture with the given pixel values.
void Row(TDIBSurface& s, int32_t bits, std::initializer_list<uint32_t> values) {
  s.SetSize(static_cast<int32_t>(values.size()), 1, bits);
  int32_t x = 0;
  for (uint32_t v : values) s.SetPixels(x++, 0, v);
}

TEST(Blend, DrawKeyedSkipsTheKeyAtEveryDepth) {
  TDIBSurface src, dst;
  for (int32_t bits : {4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    Row(src, bits, {1, 7, 2});
    Row(dst, bits, {5, 5, 5});
    dst.DrawKeyed(0, 0, 7, src.BoundsRect(), src);
    EXPECT_EQ(dst.Pixels(0, 0), 1u);
    EXPECT_EQ(dst.Pixels(1, 0), 5u);
    EXPECT_EQ(dst.Pixels(2, 0), 2u);
    dst.DrawKeyed(0, 0, -1, src.BoundsRect(), src);  // no key: a plain copy
    EXPECT_EQ(dst.Pixels(1, 0), 7u);
  }
  // One bit: a source bit is copied when it differs from (key != 0).
  Row(src, 1, {0, 1, 0, 1});
  Row(dst, 1, {1, 0, 1, 0});
  dst.DrawKeyed(0, 0, 5, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 0u);
  EXPECT_EQ(dst.Pixels(1, 0), 0u);
  Row(dst, 1, {1, 0, 1, 0});
  dst.DrawKeyed(0, 0, 0, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 1u);
  EXPECT_EQ(dst.Pixels(1, 0), 1u);
  Row(dst, 1, {1, 0, 1, 0});
  dst.DrawKeyed(0, 0, -1, src.BoundsRect(), src);  // no key: every bit
  EXPECT_EQ(dst.Pixels(0, 0), 0u);
  EXPECT_EQ(dst.Pixels(1, 0), 1u);
}

TEST(Blend, TranslucentDividesBy255At16And24BitsAndBy256At32) {
  TDIBSurface src, dst;
  // 24 bits: ((255 - o) * d + o * s) / 255 per byte; every pixel blends with key -1.
  Row(src, 24, {0xFFFFFF, 0x102030});
  Row(dst, 24, {0x000000, 0xF0E0D0});
  dst.DrawTranslucent(0, 0, 128, -1, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 0x808080u);  // 128 * 255 / 255
  const auto mix = [](uint32_t d, uint32_t s) { return (127 * d + 128 * s) / 255; };
  EXPECT_EQ(dst.Pixels(1, 0), (mix(0xF0, 0x10) << 16) | (mix(0xE0, 0x20) << 8) | mix(0xD0, 0x30));
  // The key compares the source's three bytes.
  Row(dst, 24, {0x000000, 0x000000});
  dst.DrawTranslucent(0, 0, 128, 0x102030, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(1, 0), 0u);
  EXPECT_EQ(dst.Pixels(0, 0), 0x808080u);
  // Only the key's three low bytes count here.
  Row(dst, 24, {0x000000, 0x000000});
  dst.DrawTranslucent(0, 0, 128, 0x7F102030, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(1, 0), 0u);

  // 32 bits: red and blue together, green apart, divided by 256; the top byte becomes 0.
  Row(src, 32, {0xFFFFFFFF});
  Row(dst, 32, {0x00000000});
  dst.DrawTranslucent(0, 0, 128, -1, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 0x007F7F7Fu);  // 128 * 255 >> 8 = 127

  // 16 bits in both layouts: per component mask, / 255.
  Row(src, 16, {0xFFFF});
  Row(dst, 16, {0x0000});
  dst.DrawTranslucent(0, 0, 128, -1, src.BoundsRect(), src);
  const uint32_t r565 = 0xF800 & (128 * 0xF800u / 255), g565 = 0x07E0 & (128 * 0x07E0u / 255),
                 b565 = 128 * 31u / 255;
  EXPECT_EQ(dst.Pixels(0, 0), r565 | g565 | b565);
  Row(src, 15, {0x7FFF});
  Row(dst, 15, {0x0000});
  dst.DrawTranslucent(0, 0, 200, -1, src.BoundsRect(), src);
  const uint32_t r555 = 0x7C00 & (200 * 0x7C00u / 255), g555 = 0x03E0 & (200 * 0x03E0u / 255),
                 b555 = 200 * 31u / 255;
  EXPECT_EQ(dst.Pixels(0, 0), r555 | g555 | b555);
}

TEST(Blend, TranslucentOpacityLimits) {
  TDIBSurface src, dst, keyed;
  src.SetSize(6, 3, 24);
  test::FillPattern(src, 1);
  dst.SetSize(6, 3, 24);
  keyed.SetSize(6, 3, 24);
  test::FillPattern(dst, 2);
  test::FillPattern(keyed, 2);
  const uint32_t key = src.Pixels(2, 1);
  dst.DrawTranslucent(0, 0, 0, -1, src.BoundsRect(), src);
  EXPECT_TRUE(test::SamePixels(dst, keyed));  // opacity 0: unchanged
  dst.DrawTranslucent(0, 0, 255, static_cast<int32_t>(key), src.BoundsRect(), src);
  keyed.DrawKeyed(0, 0, static_cast<int32_t>(key), src.BoundsRect(), src);
  EXPECT_TRUE(test::SamePixels(dst, keyed));  // 255: exactly the keyed copy
  EXPECT_NE(dst.Pixels(2, 1), key);
}

TEST(Blend, ScreenDoorFollowsTheDitherMatrix) {
  constexpr int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  for (int32_t bits : {1, 4, 8}) {
    SCOPED_TRACE(bits);
    TDIBSurface src, dst;
    src.SetSize(9, 9, bits);
    dst.SetSize(10, 10, bits);
    src.FillRect(src.BoundsRect(), 1);
    dst.FillRect(dst.BoundsRect(), 0);
    // Opacity 128 = level 8. Drawn at (1, 1): the cell is the destination's position.
    dst.DrawTranslucent(1, 1, 128, -1, src.BoundsRect(), src);
    int taken = 0;
    for (int32_t y = 1; y < 5; ++y)
      for (int32_t x = 1; x < 5; ++x) {
        EXPECT_EQ(dst.Pixels(x, y), kMatrix[y % 4][x % 4] <= 8 ? 1u : 0u) << x << "," << y;
        taken += static_cast<int>(dst.Pixels(x, y));
      }
    EXPECT_EQ(taken, 9);  // 9 of 16
    // Level 0 draws one pixel in 16.
    dst.FillRect(dst.BoundsRect(), 0);
    dst.DrawTranslucent(0, 0, 15, -1, {0, 0, 4, 4}, src);
    EXPECT_EQ(dst.Pixels(0, 0), 1u);
    EXPECT_EQ(dst.Pixels(1, 0) + dst.Pixels(2, 2) + dst.Pixels(3, 3), 0u);
    // Opacity 240 (level 15) is a keyed copy: every pixel.
    dst.FillRect(dst.BoundsRect(), 0);
    dst.DrawTranslucent(0, 0, 240, -1, {0, 0, 4, 4}, src);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(dst.Pixels(x, y), 1u);
  }
  // The key is skipped inside the pattern too.
  TDIBSurface src, dst;
  src.SetSize(4, 4, 8);
  dst.SetSize(4, 4, 8);
  src.FillRect(src.BoundsRect(), 3);
  dst.FillRect(dst.BoundsRect(), 0);
  dst.DrawTranslucent(0, 0, 200, 3, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 0u);
}

TEST(Blend, AlphaBlendAtEachDepth) {
  TDIBSurface src, dst;
  auto give_alpha = [](TDIBSurface& s, std::initializer_list<uint32_t> values) {
    s.EnsureAlphaPlane();
    int32_t x = 0;
    for (uint32_t a : values) s.AlphaPlane()->SetPixels(x++, 0, a);
  };
  // 24 bits at full opacity: (a * s + (255 - a) * d) >> 8, with 0 and 255 exact.
  Row(src, 24, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF});
  give_alpha(src, {0, 128, 255});
  Row(dst, 24, {0x101010, 0x000000, 0x000000});
  dst.DrawAlpha(0, 0, 255, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 0x101010u);
  EXPECT_EQ(dst.Pixels(1, 0), 0x7F7F7Fu);  // 128 * 255 >> 8
  EXPECT_EQ(dst.Pixels(2, 0), 0xFFFFFFu);
  // 24 bits below full opacity: e = (o * a) >> 8; o * a <= 255 leaves the pixel.
  Row(dst, 24, {0x000000, 0x000000, 0x000000});
  give_alpha(src, {1, 255, 128});
  dst.DrawAlpha(0, 0, 200, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 0u);  // 200 * 1 <= 255
  const uint32_t e1 = 200 * 255 >> 8, e2 = 200 * 128 >> 8;
  EXPECT_EQ(dst.Pixels(1, 0) & 0xFF, (e1 * 255) >> 8);
  EXPECT_EQ(dst.Pixels(2, 0) & 0xFF, (e2 * 255) >> 8);

  // 32 bits: the translucent formula with a for o.
  Row(src, 32, {0xFFFFFFFF, 0x00FFFFFF});
  give_alpha(src, {255, 128});
  Row(dst, 32, {0, 0});
  dst.DrawAlpha(0, 0, 10, src.BoundsRect(), src);  // opacity counts only at 24 bits
  EXPECT_EQ(dst.Pixels(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(dst.Pixels(1, 0), 0x007F7F7Fu);

  // 16 bits: components >> 8.
  Row(src, 16, {0xFFFF, 0xFFFF});
  give_alpha(src, {128, 0});
  Row(dst, 16, {0, 0x1234});
  dst.DrawAlpha(0, 0, 255, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0),
            (0xF800 & (128 * 0xF800u >> 8)) | (0x07E0 & (128 * 0x07E0u >> 8)) | (128 * 31u >> 8));
  EXPECT_EQ(dst.Pixels(1, 0), 0x1234u);

  // Palette depths: the source pixel where a >= 128.
  Row(src, 8, {9, 9, 9});
  give_alpha(src, {127, 128, 255});
  Row(dst, 8, {1, 1, 1});
  dst.DrawAlpha(0, 0, 0, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 1u);
  EXPECT_EQ(dst.Pixels(1, 0), 9u);
  EXPECT_EQ(dst.Pixels(2, 0), 9u);
}

// Two 24-bit boundaries: below full opacity, o * a of exactly 255 leaves the pixel while 256 and
// more blend; and key 0 is a key like any other (black source pixels leave the destination).
TEST(Blend, TwentyFourBitBoundaries) {
  TDIBSurface src, dst;
  Row(src, 24, {0x000000, 0x000000});
  src.EnsureAlphaPlane();
  src.AlphaPlane()->SetPixels(0, 0, 3);  // 85 * 3 = 255
  src.AlphaPlane()->SetPixels(1, 0, 4);  // 85 * 4 = 340: e = 1
  Row(dst, 24, {0xFFFFFF, 0xFFFFFF});
  dst.DrawAlpha(0, 0, 85, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 0xFFFFFFu);
  EXPECT_EQ(dst.Pixels(1, 0), 0xFDFDFDu);  // (254 * 255) >> 8

  Row(src, 24, {0x000000, 0x000001});
  Row(dst, 24, {0x808080, 0x808080});
  dst.DrawTranslucent(0, 0, 128, 0, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), 0x808080u);
  EXPECT_EQ(dst.Pixels(1, 0), 0x3F3F40u);  // (127 * 128 + 128 * s) / 255
}

TEST(Blend, AlphaWithoutPlaneIsTranslucentWithoutKey) {
  TDIBSurface src, a, b;
  src.SetSize(5, 5, 24);
  test::FillPattern(src, 4);
  a.SetSize(5, 5, 24);
  b.SetSize(5, 5, 24);
  test::FillPattern(a, 5);
  test::FillPattern(b, 5);
  a.DrawAlpha(1, 0, 100, {0, 0, 5, 5}, src);
  b.DrawTranslucent(1, 0, 100, -1, {0, 0, 5, 5}, src);
  EXPECT_TRUE(test::SamePixels(a, b));
}

TEST(Blend, DrawsClipAtEveryEdge) {
  TDIBSurface src, dst;
  src.SetSize(4, 4, 32);
  test::FillPattern(src, 7);
  dst.SetSize(3, 3, 32);
  dst.FillRect(dst.BoundsRect(), 0);
  // Left and top: the source rectangle grows by the overhang.
  dst.DrawKeyed(-1, -2, -1, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(0, 0), src.Pixels(1, 2));
  EXPECT_EQ(dst.Pixels(2, 1), src.Pixels(3, 3));
  EXPECT_EQ(dst.Pixels(0, 2), 0u);
  // Right and bottom: cut to fit.
  dst.FillRect(dst.BoundsRect(), 0);
  dst.DrawTranslucent(2, 2, 255, -1, src.BoundsRect(), src);
  EXPECT_EQ(dst.Pixels(2, 2), src.Pixels(0, 0));
  EXPECT_EQ(dst.Pixels(1, 1), 0u);
  // Nothing left: nothing drawn; and a rectangle beyond the source reads nothing outside it.
  dst.DrawAlpha(3, 0, 255, src.BoundsRect(), src);
  dst.DrawKeyed(0, 0, -1, {2, 2, 40, 40}, src);
  EXPECT_EQ(dst.Pixels(0, 0), src.Pixels(2, 2));
  EXPECT_EQ(dst.Pixels(2, 2), src.Pixels(0, 0));
}

}  // namespace
}  // namespace vn
