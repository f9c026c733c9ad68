// The gradient: band sizes and colours (nearest integer, ties to even), directions, the fill after
// the last band, and the change notifications.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/grad_box.h"
#include "imaging/png_io.h"
#include "platform/file.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

// Colour value (red low byte) of a 24-bit pixel.
uint32_t ColorAt(const TDIBSurface& s, int32_t x, int32_t y) {
  return s.PixelToColor(s.Pixels(x, y));
}

TEST(GradBox, VerticalBandsOfTheMainWindow) {
  TGradBox box;
  box.SetStartColor(0xFF0000);  // blue
  box.SetEndColor(0x800000);    // navy
  box.SetGradStep(128);
  box.SetBounds(60, 400);
  TDIBSurface s;
  s.SetSize(60, 400, 24);
  s.FillRect(s.BoundsRect(), 0x123456);
  box.Paint(s);
  // 400 / 129 rounds to 3: 130 bands of 3 rows cover 390 rows; the last 10 take the last colour.
  for (int32_t i = 0; i < 130; ++i) {
    const uint32_t blue = static_cast<uint32_t>(255 + std::nearbyint(-127.0 / 129 * i)) & 0xFF;
    for (int32_t r = 0; r < 3; ++r) ASSERT_EQ(ColorAt(s, 59, 3 * i + r), blue << 16) << "band " << i;
  }
  EXPECT_EQ(ColorAt(s, 0, 0), 0xFF0000u);
  for (int32_t y = 387; y < 400; ++y) EXPECT_EQ(ColorAt(s, 30, y), 0x800000u) << y;
  // Written to a file for a look.
  WriteFileAtomically(test::MakeTempDir("grad") / "vertical.png", EncodePng(s, false));
}

TEST(GradBox, NearestIntegerGoesToEven) {
  TGradBox box;
  box.SetStartColor(0);
  box.SetEndColor(RGBColor(1, 3, 0));
  box.SetGradStep(1);   // three bands, steps of (E - S) / 2
  box.SetBounds(4, 5);  // 5 / 2 = 2.5 -> 2 rows per band
  TDIBSurface s;
  s.SetSize(4, 5, 24);
  box.Paint(s);
  EXPECT_EQ(ColorAt(s, 0, 0), RGBColor(0, 0, 0));
  EXPECT_EQ(ColorAt(s, 0, 2), RGBColor(0, 2, 0));  // 0.5 -> 0, 1.5 -> 2
  EXPECT_EQ(ColorAt(s, 0, 3), RGBColor(0, 2, 0));
  EXPECT_EQ(ColorAt(s, 0, 4), RGBColor(1, 3, 0));  // third band, cut by the edge
  // A tie that doubles miss: band 25 of 51 from 255 to 0 is 255 + Nearest(-255 / 50 * 25), and
  // -127.5 goes to -128.
  box.SetStartColor(RGBColor(255, 0, 0));
  box.SetEndColor(0);
  box.SetGradStep(49);
  box.SetBounds(1, 50);  // one row per band
  s.SetSize(1, 50, 24);
  box.Paint(s);
  EXPECT_EQ(ColorAt(s, 0, 25), RGBColor(127, 0, 0));
}

TEST(GradBox, HorizontalAndCentredDirections) {
  TGradBox box;
  box.SetStartColor(RGBColor(200, 0, 0));
  box.SetEndColor(RGBColor(0, 0, 0));
  box.SetGradStep(4);
  box.SetDirection(TGradDirection::gdHorizontal);
  box.SetBounds(23, 2);  // band 23 / 5 = 4.6 -> 5 pixels; 6 bands reach past the edge
  TDIBSurface s;
  s.SetSize(23, 2, 24);
  box.Paint(s);
  EXPECT_EQ(ColorAt(s, 0, 1), RGBColor(200, 0, 0));
  EXPECT_EQ(ColorAt(s, 5, 0), RGBColor(160, 0, 0));
  EXPECT_EQ(ColorAt(s, 22, 0), RGBColor(40, 0, 0));  // band 4, cut

  box.SetDirection(TGradDirection::gdHorzCenter);
  box.SetBounds(32, 1);  // 32 / 5 = 6.4 -> bands of 6; start colour in band G div 2 = 2
  s.SetSize(32, 1, 24);
  box.Paint(s);
  EXPECT_EQ(ColorAt(s, 12, 0), RGBColor(200, 0, 0));
  EXPECT_EQ(ColorAt(s, 0, 0), RGBColor(200 - 133, 0, 0));  // k = 2: -200 / 3 * 2 = -133.3
  EXPECT_EQ(ColorAt(s, 31, 0), RGBColor(0, 0, 0));         // last band (k = 3, cut): the end colour
  EXPECT_EQ(ColorAt(s, 25, 0), RGBColor(200 - 133, 0, 0));
}

// When the bands stop less than one band short of the edge, the strip left is filled with the
// last band's colour too, in every direction: no part of the control stays unpainted.
TEST(GradBox, StripShorterThanABandIsFilled) {
  for (TGradDirection direction :
       {TGradDirection::gdVertical, TGradDirection::gdHorizontal, TGradDirection::gdHorzCenter}) {
    SCOPED_TRACE(static_cast<int>(direction));
    TGradBox box;
    box.SetStartColor(0xFF0000);
    box.SetEndColor(0x800000);
    box.SetDirection(direction);
    const bool vertical = direction == TGradDirection::gdVertical;
    box.SetBounds(vertical ? 4 : 392, vertical ? 392 : 4);  // 392 / 129 -> 3: 130 bands cover 390
    TDIBSurface s;
    s.SetSize(vertical ? 4 : 392, vertical ? 392 : 4, 24);
    s.FillRect(s.BoundsRect(), 0x123456);
    box.Paint(s);
    for (int32_t at = 387; at < 392; ++at)
      EXPECT_EQ(vertical ? ColorAt(s, 1, at) : ColorAt(s, at, 1), 0x800000u) << at;
  }
}

TEST(GradBox, SmallControlsAndZeroStep) {
  TGradBox box;         // white to black
  box.SetBounds(5, 3);  // smaller than G + 1: band size 1, later bands beyond the edge
  TDIBSurface s;
  s.SetSize(5, 3, 24);
  box.Paint(s);
  EXPECT_EQ(ColorAt(s, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(ColorAt(s, 0, 2), RGBColor(251, 251, 251));  // 255 + round(-255 / 129 * 2)
  box.SetGradStep(0);                                    // one band as large as the control
  box.Paint(s);
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(ColorAt(s, 4, y), 0xFFFFFFu);
  // On a 16-bit target the colours are the nearest the target can show.
  s.SetSize(5, 3, 16);
  box.SetStartColor(RGBColor(13, 13, 13));
  box.Paint(s);
  EXPECT_EQ(s.Pixels(0, 0), s.ColorToPixel(13, 13, 13));
}

TEST(GradBox, SettersRaiseChangeAndRepaint) {
  TGradBox box;
  int changes = 0, repaints = 0;
  box.OnChange = [&](TGradBox&) { ++changes; };
  box.OnInvalidate = [&] { ++repaints; };
  box.SetStartColor(0xFFFFFF);  // unchanged values still notify
  box.SetEndColor(0);
  box.SetGradStep(128);
  EXPECT_EQ(changes, 3);
  box.SetDirection(TGradDirection::gdVertical);  // unchanged: nothing
  EXPECT_EQ(changes, 3);
  box.SetDirection(TGradDirection::gdHorzCenter);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(repaints, 4);
  EXPECT_EQ(box.Width(), 128);
  EXPECT_EQ(box.Height(), 128);
}

}  // namespace
}  // namespace vn
