// Whole-picture operations: mirror and flip, copies with alpha, converted drawing, colour counts,
// free palette indices and colour reduction.
#include <gtest/gtest.h>

#include <set>

#include "imaging/dib_surface.h"
#include "tests/imaging/ruxa_builder.h"

namespace vn {
namespace {

constexpr int32_t kDepths[] = {1, 4, 8, 15, 16, 24, 32};

void GreyPalette(TDIBSurface& s) {
  for (int i = 0; i < 256; ++i) s.Palette()[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
}

TEST(SurfaceOps, MirrorAndFlipMovePixelsAtEveryDepth) {
  for (int32_t bits : kDepths) {
    SCOPED_TRACE(bits);
    for (int32_t w : {1, 6, 7}) {
      TDIBSurface a, b;
      a.SetSize(w, 5, bits);
      test::FillPattern(a, static_cast<uint32_t>(w));
      b.AssignWithAlpha(a);
      b.Mirror();
      for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < w; ++x) ASSERT_EQ(b.Pixels(x, y), a.Pixels(w - 1 - x, y)) << x << "," << y;
      b.AssignWithAlpha(a);
      b.Flip();
      for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < w; ++x) ASSERT_EQ(b.Pixels(x, y), a.Pixels(x, 4 - y));
    }
  }
}

TEST(SurfaceOps, AssignWithAlphaCopiesOrDropsThePlane) {
  TDIBSurface a, b;
  a.SetSize(3, 2, 15);
  test::FillPattern(a, 1);
  a.Palette()[3] = {1, 2, 3, 0};
  a.EnsureAlphaPlane();
  test::FillPattern(*a.AlphaPlane(), 2);
  b.AssignWithAlpha(a);
  EXPECT_TRUE(test::SamePixels(a, b));
  EXPECT_EQ(b.Palette()[3], a.Palette()[3]);
  ASSERT_NE(b.AlphaPlane(), nullptr);
  EXPECT_TRUE(test::SamePixels(*a.AlphaPlane(), *b.AlphaPlane()));
  a.FreeAlphaPlane();
  b.AssignWithAlpha(a);
  EXPECT_EQ(b.AlphaPlane(), nullptr);
}

TEST(SurfaceOps, PixelToColorShiftedFillsLowBitsOnlyWhenAsked) {
  TDIBSurface s;
  s.SetSize(1, 1, 16);
  EXPECT_EQ(s.PixelToColorShifted(0xF800 | (1 << 5), false), RGBColor(0xF8, 0x04, 0));
  EXPECT_EQ(s.PixelToColorShifted(0xF800 | (1 << 5), true), RGBColor(0xFF, 0x07, 0));
  s.SetSize(1, 1, 15);
  EXPECT_EQ(s.PixelToColorShifted(0x001F, true), RGBColor(0, 0, 0xFF));
}

TEST(SurfaceOps, CountCollectAndFreeIndex) {
  TDIBSurface s;
  s.SetSize(4, 2, 1);
  s.FillRect(s.BoundsRect(), 1);
  EXPECT_EQ(s.CountColors(), 1);
  s.SetPixels(3, 1, 0);
  EXPECT_EQ(s.CountColors(), 2);
  EXPECT_EQ(s.FindFreePaletteIndex(), -1);

  s.SetSize(4, 2, 8);
  GreyPalette(s);
  for (int32_t x = 0; x < 4; ++x) s.SetPixels(x, 0, static_cast<uint32_t>(x)), s.SetPixels(x, 1, 0);
  EXPECT_EQ(s.CountColors(), 4);
  EXPECT_EQ(s.FindFreePaletteIndex(), 4);
  s.Palette()[3] = s.Palette()[2];  // two entries showing one colour collect once
  EXPECT_EQ(s.CollectColors(), (std::vector<uint32_t>{0, RGBColor(1, 1, 1), RGBColor(2, 2, 2)}));

  // 32 bits: the fourth byte does not make another colour.
  s.SetSize(3, 1, 32);
  s.SetPixels(0, 0, 0x00ABCDEF);
  s.SetPixels(1, 0, 0xFFABCDEF);
  s.SetPixels(2, 0, 0x00000001);
  EXPECT_EQ(s.CountColors(), 2);
  EXPECT_EQ(s.CollectColors(), (std::vector<uint32_t>{RGBColor(0, 0, 1), RGBColor(0xAB, 0xCD, 0xEF)}));
  EXPECT_EQ(s.FindFreePaletteIndex(), -1);
  s.SetSize(2, 1, 15);
  s.SetPixels(0, 0, 0x7FFF);
  s.SetPixels(1, 0, 0xFFFF);
  EXPECT_EQ(s.CountColors(), 1);
}

TEST(SurfaceOps, ReduceColorsKeepsFewColoursExactlyAndOnlyRunsWhenAsked) {
  // Five indices showing three colours: they fit a 4-bit palette exactly.
  TDIBSurface s;
  s.SetSize(5, 3, 8);
  s.Palette()[0] = s.Palette()[3] = {1, 2, 3, 0};
  s.Palette()[1] = s.Palette()[4] = {40, 50, 60, 0};
  s.Palette()[2] = {200, 210, 220, 0};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) s.SetPixels(x, y, uint32_t(x + y) % 5);
  s.EnsureAlphaPlane();
  test::FillPattern(*s.AlphaPlane(), 9);
  TDIBSurface before;
  before.AssignWithAlpha(s);

  s.ReduceColors(0, 4, false, 4);
  ASSERT_EQ(s.BitCount(), 4);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x)
      EXPECT_EQ(s.PixelToColor(s.Pixels(x, y)), before.PixelToColor(before.Pixels(x, y)));
  ASSERT_NE(s.AlphaPlane(), nullptr);
  EXPECT_TRUE(test::SamePixels(*s.AlphaPlane(), *before.AlphaPlane()));

  s.ReduceColors(0, 4, false, 16);  // not narrower and within the limit
  s.ReduceColors(1, 1, false, 16);  // narrower, but the colours are within the limit
  s.ReduceColors(7, 1, false, 2);   // no such method
  EXPECT_EQ(s.BitCount(), 4);
  before.SetSize(5, 3, 24);
  before.ReduceColors(0, 8, false, 256);  // a 24-bit picture within the limit stays as it is
  EXPECT_EQ(before.BitCount(), 24);
}

TEST(SurfaceOps, ReduceColorsQuantisesManyColours) {
  for (bool dither : {false, true}) {
    SCOPED_TRACE(dither);
    TDIBSurface s;
    s.SetSize(32, 32, 24);
    for (int32_t y = 0; y < 32; ++y)
      for (int32_t x = 0; x < 32; ++x)
        s.SetPixels(x, y, (uint32_t(x * 8) << 16) | (uint32_t(y * 8) << 8) | 0x40);
    s.ReduceColors(2, 4, dither, 16);
    ASSERT_EQ(s.BitCount(), 4);
    EXPECT_LE(s.CountColors(), 16);
    EXPECT_GE(s.CountColors(), 8);
    // Without dithering every pixel is near what it was (a 4 x 4 grid of 64-wide cells at worst).
    if (!dither) {
      for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) {
          const uint32_t c = s.PixelToColor(s.Pixels(x, y));
          EXPECT_LE(std::abs(int(ColorRed(c)) - x * 8), 40);
          EXPECT_LE(std::abs(int(ColorGreen(c)) - y * 8), 40);
        }
    }
  }
  // Wider than 8 bits: the depth is kept and the colour limit applied.
  TDIBSurface s;
  s.SetSize(16, 1, 24);
  for (int32_t x = 0; x < 16; ++x) s.SetPixels(x, 0, uint32_t(x) * 0x101010);
  s.ReduceColors(0, 16, false, 4);
  EXPECT_EQ(s.EffectiveBitCount(), 16);
  EXPECT_LE(s.CountColors(), 4);
}

}  // namespace
}  // namespace vn
