// The surface model: sizes and layouts, rows, colour conversion, filling and copying with clipping.
#include <gtest/gtest.h>

#include "imaging/dib_surface.h"
#include "platform/error.h"
#include "tests/imaging/ruxa_builder.h"

namespace vn {
namespace {

constexpr int32_t kDepths[] = {1, 4, 8, 15, 16, 24, 32};

TEST(Surface, SetSizeLayoutsRowsAndEmptying) {
  TDIBSurface s;
  s.SetSize(3, 2, 15);
  EXPECT_EQ(s.BitCount(), 16);
  EXPECT_EQ(s.EffectiveBitCount(), 15);
  EXPECT_EQ(s.RowSize(), 8);
  EXPECT_EQ(s.RowStep(), -8);
  s.SetSize(3, 2, 16);
  EXPECT_EQ(s.BitCount(), 16);
  EXPECT_EQ(s.EffectiveBitCount(), 16);
  s.SetSize(33, 1, 1);
  EXPECT_EQ(s.RowSize(), 8);  // 33 bits pad to two words
  s.SetSize(5, 1, 24);
  EXPECT_EQ(s.RowSize(), 16);
  // Rows are stored bottom first: row 0 is the last in memory.
  s.SetSize(1, 3, 32);
  EXPECT_EQ(s.ScanLine(0) - s.ScanLine(2), 2 * s.RowSize());

  s.EnsureAlphaPlane();
  s.SetSize(7, 4, 24);
  ASSERT_NE(s.AlphaPlane(), nullptr);
  EXPECT_EQ(s.AlphaPlane()->Width(), 7);
  EXPECT_EQ(s.AlphaPlane()->Height(), 4);
  s.SetSize(0, 5, 24);
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.Height(), 0);
  s.SetSize(5, -1, 24);
  EXPECT_TRUE(s.Empty());
  s.SetSize(2, 2, 8);
  s.Clear();
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.AlphaPlane(), nullptr);
}

TEST(Surface, AnEmptyPictureTakesAnEmptyAlphaPlane) {
  TDIBSurface picture, alpha;
  picture.SetSize(0, 0, 24);
  alpha.SetSize(0, 0, 8);
  picture.CopyAlphaFrom(alpha);  // nothing to copy: no null pointer may reach memcpy (UBSan)
  EXPECT_TRUE(picture.Empty());
  EXPECT_NE(picture.AlphaPlane(), nullptr);
}

TEST(Surface, RefusesImpossibleSizesBeforeAllocating) {
  TDIBSurface s;
  s.SetSize(4, 4, 24);
  EXPECT_THROW(s.SetSize(4, 4, 12), EFormatError);
  EXPECT_THROW(s.SetSize(65536, 1, 8), EFormatError);
  EXPECT_THROW(s.SetSize(60000, 60000, 32), EFormatError);
  // A refused size leaves the picture as it was.
  EXPECT_EQ(s.Width(), 4);
  EXPECT_EQ(s.BitCount(), 24);
}

TEST(Surface, ScanLineOutsideThePictureRaisesTheIndexError) {
  TDIBSurface s;
  s.SetSize(2, 3, 8);
  EXPECT_NO_THROW(s.ScanLine(2));
  try {
    s.ScanLine(3);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "スキャンラインのインデックスが範囲を越えました (3)");
  }
  EXPECT_THROW(s.ScanLine(-1), Exception);
}

TEST(Surface, ColorToPixelAtEveryDepth) {
  TDIBSurface s;
  s.SetSize(1, 1, 15);
  EXPECT_EQ(s.ColorToPixel(255, 255, 255), 0x7FFFu);
  EXPECT_EQ(s.ColorToPixel(0x12, 0x34, 0x56), (0x12u >> 3 << 10) | (0x34u >> 3 << 5) | (0x56u >> 3));
  s.SetSize(1, 1, 16);
  EXPECT_EQ(s.ColorToPixel(255, 255, 255), 0xFFFFu);
  EXPECT_EQ(s.ColorToPixel(0x12, 0x34, 0x56), (0x12u >> 3 << 11) | (0x34u >> 2 << 5) | (0x56u >> 3));
  for (int32_t bits : {24, 32}) {
    s.SetSize(1, 1, bits);
    EXPECT_EQ(s.ColorToPixel(255, 255, 255), 0xFFFFFFu);
    EXPECT_EQ(s.ColorToPixel(0x12, 0x34, 0x56), 0x123456u);
  }
  // Palette depths: nearest entry by squared distance among the 2^bits entries; first on ties.
  s.SetSize(1, 1, 8);
  TPalette& p = s.Palette();
  p.fill({});
  p[3] = {0, 0, 200, 0};  // red 200
  p[7] = {0, 0, 210, 0};  // red 210
  p[9] = {100, 100, 100, 0};
  p[10] = {100, 100, 100, 0};
  EXPECT_EQ(s.ColorToPixel(204, 0, 0), 3u);
  EXPECT_EQ(s.ColorToPixel(206, 0, 0), 7u);
  EXPECT_EQ(s.ColorToPixel(205, 0, 0), 3u);  // tie: the first index
  EXPECT_EQ(s.ColorToPixel(99, 101, 100), 9u);
  EXPECT_EQ(s.ColorToPixel(1, 1, 1), 0u);
  s.SetSize(1, 1, 4);
  EXPECT_EQ(s.ColorToPixel(100, 100, 100), 9u);
  s.SetSize(1, 1, 1);  // only entries 0 and 1 count
  p[1] = {255, 255, 255, 0};
  EXPECT_EQ(s.ColorToPixel(200, 0, 0), 0u);
  EXPECT_EQ(s.ColorToPixel(200, 200, 200), 1u);
}

TEST(Surface, FillRectClipsAndWritesExactlyItsPixels) {
  for (int32_t bits : kDepths) {
    SCOPED_TRACE(bits);
    TDIBSurface s;
    s.SetSize(11, 5, bits);
    s.FillRect(s.BoundsRect(), 0);
    const uint32_t value = bits == 1    ? 1
                           : bits == 4  ? 9
                           : bits == 8  ? 0xA5
                           : bits <= 16 ? 0x5A5A
                                        : 0x00C0FFEE;
    s.FillRect({-3, 2, 7, 99}, value | (bits == 15 ? 0x8000 : 0));
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 11; ++x)
        EXPECT_EQ(s.Pixels(x, y), (x < 7 && y >= 2) ? value : 0u) << x << "," << y;
    // Wholly outside, and empty: nothing changes.
    s.FillRect({11, 0, 20, 5}, 0);
    s.FillRect({3, 3, 3, 5}, 0);
    EXPECT_EQ(s.Pixels(3, 3), value);
    // Row padding beyond the width stays untouched by a full-width fill.
    if (bits == 1) {
      EXPECT_EQ(s.ScanLine(4)[1] & 0x1F, 0);
    }
  }
}

TEST(Surface, CopyRectIsBitExactAtOneAndFourBits) {
  for (int32_t bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    TDIBSurface src, dst, expected;
    src.SetSize(21, 6, bits);
    dst.SetSize(19, 7, bits);
    expected.SetSize(19, 7, bits);
    test::FillPattern(src, 1);
    test::FillPattern(dst, 2);
    test::FillPattern(expected, 2);
    // Source starts at x 3, destination at x 6: different bit positions in their bytes.
    dst.CopyRect(6, 2, {3, 1, 20, 5}, src);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 19; ++x) {
        const bool inside = x >= 6 && y >= 2 && y < 6;  // 17 wide cut to 13 by the right edge
        const uint32_t want = inside ? src.Pixels(x - 3, y - 1) : expected.Pixels(x, y);
        ASSERT_EQ(dst.Pixels(x, y), want) << x << "," << y;
      }
  }
}

TEST(Surface, CopyRectClipsSourceAndDestination) {
  TDIBSurface src, dst;
  src.SetSize(4, 4, 8);
  dst.SetSize(4, 4, 8);
  test::FillPattern(src, 5);
  dst.FillRect(dst.BoundsRect(), 0);
  // Source rectangle reaching left of the source moves the position by the same amount.
  dst.CopyRect(0, 0, {-2, 0, 2, 1}, src);
  EXPECT_EQ(dst.Pixels(0, 0), 0u);
  EXPECT_EQ(dst.Pixels(2, 0), src.Pixels(0, 0));
  EXPECT_EQ(dst.Pixels(3, 0), src.Pixels(1, 0));
  // Negative destination position cuts the source's left and top.
  dst.FillRect(dst.BoundsRect(), 0);
  dst.CopyFrom(-1, -2, src);
  EXPECT_EQ(dst.Pixels(0, 0), src.Pixels(1, 2));
  EXPECT_EQ(dst.Pixels(2, 1), src.Pixels(3, 3));
  EXPECT_EQ(dst.Pixels(3, 0), 0u);
  EXPECT_EQ(dst.Pixels(0, 2), 0u);
  // Copying within one picture over itself works like a copy from a snapshot.
  test::FillPattern(dst, 6);
  TDIBSurface before;
  before.SetSize(4, 4, 8);
  test::FillPattern(before, 6);
  dst.CopyRect(1, 0, {0, 0, 3, 4}, dst);
  for (int32_t x = 1; x < 4; ++x) EXPECT_EQ(dst.Pixels(x, 2), before.Pixels(x - 1, 2));
}

TEST(Surface, ConvertBitCountKeepsColours) {
  TDIBSurface s;
  s.SetSize(3, 1, 4);
  s.Palette()[2] = {0x30, 0x20, 0x10, 0};
  s.Palette()[5] = {0xFF, 0x00, 0x80, 0};
  s.SetPixels(0, 0, 2);
  s.SetPixels(1, 0, 5);
  s.SetPixels(2, 0, 2);
  s.ConvertBitCount(24);
  EXPECT_EQ(s.BitCount(), 24);
  EXPECT_EQ(s.Pixels(0, 0), 0x102030u);
  EXPECT_EQ(s.Pixels(1, 0), 0x8000FFu);
  s.ConvertBitCount(15);
  EXPECT_EQ(s.EffectiveBitCount(), 15);
  EXPECT_EQ(s.Pixels(1, 0), (0x80u >> 3 << 10) | 31u);
  s.ConvertBitCount(32);
  EXPECT_EQ(s.Pixels(1, 0), 0x8400FFu);  // 5 bits widened: 0x10 -> 0x84
  s.ConvertBitCount(0);
  EXPECT_TRUE(s.Empty());
  s.ConvertBitCount(8);
  EXPECT_EQ(s.Width(), 1);
  EXPECT_EQ(s.Height(), 1);
  EXPECT_EQ(s.BitCount(), 8);
}

TEST(Surface, AlphaPlaneOperationsAndAssign) {
  TDIBSurface s, other;
  s.SetSize(5, 2, 24);
  s.EnsureAlphaPlane();
  s.FillAlphaOpaque();
  EXPECT_EQ(s.AlphaPlane()->Pixels(4, 1), 255u);
  EXPECT_EQ(s.AlphaPlane()->ScanLine(0)[7], 255);  // the padding too
  other.SetSize(5, 2, 8);
  test::FillPattern(other, 3);
  s.CopyAlphaFrom(other);
  EXPECT_TRUE(test::SamePixels(*s.AlphaPlane(), other));
  other.SetSize(4, 2, 8);
  EXPECT_THROW(s.CopyAlphaFrom(other), EFormatError);
  s.FreeAlphaPlane();
  EXPECT_EQ(s.AlphaPlane(), nullptr);

  TBitmapData bitmap;
  bitmap.width = 2;
  bitmap.height = 2;
  bitmap.bit_count = 8;
  bitmap.stride = 3;
  bitmap.pixels = {1, 2, 0, 3, 4};
  bitmap.palette[4] = {1, 2, 3, 0};
  s.Assign(bitmap);
  EXPECT_EQ(s.BitCount(), 8);
  EXPECT_EQ(s.Pixels(1, 1), 4u);
  EXPECT_EQ(s.Palette()[4], (TPaletteEntry{1, 2, 3, 0}));
  bitmap.pixels.pop_back();
  EXPECT_THROW(s.Assign(bitmap), EFormatError);
}

}  // namespace
}  // namespace vn
