#include "imaging/grad_box.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/uint128.h"

namespace vn {

namespace {

// The nearest integer, a value exactly between two going to the even one.
int32_t Nearest(double value) {
  return static_cast<int32_t>(std::nearbyint(value));
}

// The colour a pixel of this surface shows for c: c itself at 24 and 32 bits, the 5-5-5 or 5-6-5
// colour at 16 bits, the nearest palette entry at 8 bits or fewer.
uint32_t NearestColor(const TDIBSurface& target, uint32_t c) {
  return target.PixelToColor(target.ColorToPixel(ColorRed(c), ColorGreen(c), ColorBlue(c)));
}

// Nearest((numerator / divisor) * factor) in x87 extended precision, the arithmetic these
// gradients have always been painted with: the quotient and the product each rounded to a 64-bit
// significand (to nearest, ties to even), then the nearest integer, ties to even. Doubles land on
// other sides of the ties: -255 / 50 * 25 comes out just above -127.5 and -255 / 54 * 27 exactly on
// it, where extended precision gives exactly -127.5 and just above it. Worked in integers so that
// every platform and compiler paints the same bands. divisor > 0.
int32_t ExtendedNearest(int32_t numerator, int32_t divisor, int32_t factor) {
  using u128 = UInt128;
  if (numerator == 0 || factor == 0) return 0;
  const auto bit_length = [](u128 v) {
    int n = 0;
    for (; v != 0; v >>= 1) ++n;
    return n;
  };
  // Rounds value * 2^-shift to the nearest integer, ties to even (0 < shift < 128).
  const auto round_shifted = [](u128 value, int shift) {
    const u128 rest = value & ((u128{1} << shift) - u128{1}), half = u128{1} << (shift - 1);
    value >>= shift;
    if (rest > half || (rest == half && (value & 1))) ++value;
    return value;
  };
  const bool negative = (numerator < 0) != (factor < 0);
  const u128 a = static_cast<uint32_t>(std::abs(numerator));
  const uint32_t b = static_cast<uint32_t>(divisor);
  // The quotient as m * 2^-e with 2^63 <= m < 2^64.
  int e = 64 - bit_length(a) + bit_length(b);
  u128 m = (a << e) / b;
  if (m >> 64) m = (a << --e) / b;
  const uint64_t r = (a << e) % b;
  if (2 * r > b || (2 * r == b && (m & 1))) ++m;
  if (m >> 64) {
    m >>= 1;
    --e;
  }
  // The product, again to 64 significant bits.
  u128 p = m * static_cast<uint32_t>(std::abs(factor));
  if (const int extra = bit_length(p) - 64; extra > 0) {
    p = round_shifted(p, extra);
    e -= extra;
  }
  const u128 n = e <= 0 ? p << -e : e >= 128 ? 0 : round_shifted(p, e);
  const auto value = static_cast<int32_t>(static_cast<uint64_t>(n));
  return negative ? -value : value;
}

uint8_t Component(uint32_t color, int shift) {
  return static_cast<uint8_t>(color >> shift);
}

}  // namespace

void TGradBox::Changed() {
  if (OnInvalidate) OnInvalidate();
  if (OnChange) OnChange(*this);
}

void TGradBox::SetStartColor(uint32_t color) {
  start_color_ = color;
  Changed();
}

void TGradBox::SetEndColor(uint32_t color) {
  end_color_ = color;
  Changed();
}

void TGradBox::SetGradStep(uint8_t step) {
  grad_step_ = step;
  Changed();
}

void TGradBox::SetDirection(TGradDirection direction) {
  if (direction == direction_) return;
  direction_ = direction;
  Changed();
}

void TGradBox::SetBounds(int32_t width, int32_t height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  if (OnInvalidate) OnInvalidate();
}

void TGradBox::Paint(TDIBSurface& target) const {
  const int32_t w = std::min(width_, target.Width()), h = std::min(height_, target.Height());
  if (w <= 0 || h <= 0) return;
  const uint32_t start = NearestColor(target, start_color_), end = NearestColor(target, end_color_);
  const int32_t g = grad_step_;
  const bool vertical = direction_ == TGradDirection::gdVertical;
  const bool center = direction_ == TGradDirection::gdHorzCenter;
  int32_t s = Nearest(static_cast<double>(vertical ? height_ : width_) / (g + 1));
  if (s == 0) s = 1;
  auto band_color = [&](int32_t i) {
    uint32_t color = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const int32_t from = Component(start, shift), to = Component(end, shift);
      int32_t value;
      if (center) {
        const int32_t half = g / 2;
        value = from + ExtendedNearest(to - from, half + 1, std::abs(half - i));
      } else {
        value = from + ExtendedNearest(to - from, g + 1, i);
      }
      color |= static_cast<uint32_t>(value & 0xFF) << shift;
    }
    return target.ColorToPixel(ColorRed(color), ColorGreen(color), ColorBlue(color));
  };
  auto fill = [&](int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t pixel) {
    // Cut at the control's bounds (the target clips to its own).
    const TRect rect{static_cast<int32_t>(std::clamp<int64_t>(left, 0, w)),
                     static_cast<int32_t>(std::clamp<int64_t>(top, 0, h)),
                     static_cast<int32_t>(std::clamp<int64_t>(right, 0, w)),
                     static_cast<int32_t>(std::clamp<int64_t>(bottom, 0, h))};
    target.FillRect(rect, pixel);
  };
  int64_t x = 0, y = 0;
  uint32_t pixel = 0;
  for (int32_t i = 0; i <= g + 1; ++i) {
    pixel = band_color(i);
    if (vertical) {
      fill(x, y, w, y + s, pixel);
      y += s;
    } else {
      fill(x, y, x + s, h, pixel);
      x += s;
    }
  }
  // Whatever the bands left uncovered takes the last band's colour, so no strip of the area stays
  // unpainted when the band size does not divide it.
  if (vertical ? y < h : x < w) fill(x, y, w, h, pixel);
}

}  // namespace vn
