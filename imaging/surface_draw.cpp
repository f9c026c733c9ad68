// Filling, copying, keyed copying and blending on raw rows: one inner loop per bit depth.
#include <algorithm>
#include <cstring>

#include "imaging/dib_surface.h"
#include "imaging/pixel_access.h"

namespace vn {

namespace {

// 4 x 4 ordered-dither matrix of the screen-door blend at 8 bits or fewer, rows from the top.
constexpr uint8_t kDither[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Keys are signed; pixel values are not. Comparing both as 64-bit numbers keeps -1 ("no key")
// different from every pixel, 0xFFFFFFFF included.
inline bool IsKey(uint32_t pixel, int32_t key) {
  return int64_t{pixel} == int64_t{key};
}

inline uint32_t Blend255(uint32_t d, uint32_t s, uint32_t o) {
  return ((255 - o) * d + o * s) / 255;
}

// The 32-bit blend: red and blue in one multiplication, green apart, divided by 256.
inline uint32_t Blend32(uint32_t d, uint32_t s, uint32_t o) {
  const uint32_t rb = (((255 - o) * (d & 0x00FF00FFu) + o * (s & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  const uint32_t g = (((d & 0x0000FF00u) * (255 - o) + (s & 0x0000FF00u) * o) >> 8) & 0x0000FF00u;
  return rb | g;
}

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}
inline uint32_t Load16(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8);
}
inline void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

struct Masks16 {
  uint32_t m[3];
};
Masks16 MasksFor(bool rgb555) {
  return rgb555 ? Masks16{{0x7C00, 0x03E0, 0x001F}} : Masks16{{0xF800, 0x07E0, 0x001F}};
}

}  // namespace

bool TDIBSurface::ClipDraw(int32_t& x, int32_t& y, TRect& rect, const TDIBSurface& source) const {
  // Keep the rectangle inside the source first (moving the position with it), so that a careless
  // rectangle can never read outside the source's rows.
  if (rect.left < 0) {
    x -= rect.left;
    rect.left = 0;
  }
  if (rect.top < 0) {
    y -= rect.top;
    rect.top = 0;
  }
  rect.right = std::min(rect.right, source.width_);
  rect.bottom = std::min(rect.bottom, source.height_);
  if (rect.Empty()) return false;
  if (x < 0) {
    rect.left -= x;
    x = 0;
  }
  if (int64_t{x} + rect.Width() > width_) rect.right = rect.left + (width_ - x);
  if (y < 0) {
    rect.top -= y;
    y = 0;
  }
  if (int64_t{y} + rect.Height() > height_) rect.bottom = rect.top + (height_ - y);
  return !rect.Empty();
}

void TDIBSurface::FillRect(TRect rect, uint32_t pixel) {
  rect.left = std::max(rect.left, 0);
  rect.top = std::max(rect.top, 0);
  rect.right = std::min(rect.right, width_);
  rect.bottom = std::min(rect.bottom, height_);
  if (rect.Empty()) return;
  const int32_t effective = EffectiveBitCount();
  if (effective == 15) pixel &= 0x7FFF;
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    uint8_t* row = Row(y);
    switch (effective) {
      case 1:
      case 4:
        for (int32_t x = rect.left; x < rect.right; ++x) pixel::Set(row, x, bit_count_, pixel);
        break;
      case 8:
        std::memset(row + rect.left, static_cast<uint8_t>(pixel), static_cast<size_t>(rect.Width()));
        break;
      case 15:
      case 16:
        for (int32_t x = rect.left; x < rect.right; ++x) Store16(row + 2 * x, pixel);
        break;
      case 24:
        if (y == rect.top) {
          for (int32_t x = rect.left; x < rect.right; ++x) pixel::Set(row, x, 24, pixel);
        } else {
          std::memcpy(row + 3 * rect.left, Row(rect.top) + 3 * rect.left,
                      static_cast<size_t>(rect.Width()) * 3);
        }
        break;
      case 32:
        for (int32_t x = rect.left; x < rect.right; ++x) Store32(row + 4 * x, pixel);
        break;
    }
  }
}

void TDIBSurface::CopyRect(int32_t x, int32_t y, TRect rect, const TDIBSurface& source) {
  if (source.bit_count_ != bit_count_) return;  // no conversion here: only like pictures are copied
  if (&source == this) {
    // Rows of one picture may overlap; copy through a private snapshot of the source.
    TDIBSurface snapshot;
    snapshot.SetSize(width_, height_, EffectiveBitCount());
    snapshot.bits_ = bits_;
    CopyRect(x, y, rect, snapshot);
    return;
  }
  // Intersect with the source and move the position by as much as the corner moved.
  TRect inside{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, source.width_),
               std::min(rect.bottom, source.height_)};
  if (inside.Empty()) return;
  x += inside.left - rect.left;
  y += inside.top - rect.top;
  rect = inside;
  // Clip against this surface.
  if (x < 0) {
    rect.left -= x;
    x = 0;
  }
  if (y < 0) {
    rect.top -= y;
    y = 0;
  }
  rect.right = std::min<int64_t>(rect.right, int64_t{rect.left} + (width_ - x));
  rect.bottom = std::min<int64_t>(rect.bottom, int64_t{rect.top} + (height_ - y));
  if (rect.Empty()) return;
  const int32_t w = rect.Width();
  for (int32_t i = 0; i < rect.Height(); ++i) {
    const uint8_t* src = source.Row(rect.top + i);
    uint8_t* dst = Row(y + i);
    switch (bit_count_) {
      case 1:
      case 4:
        // Bit-exact even when source and destination start at different places in their bytes.
        for (int32_t k = 0; k < w; ++k)
          pixel::Set(dst, x + k, bit_count_, pixel::Get(src, rect.left + k, bit_count_));
        break;
      case 8:
      case 16:
      case 24:
      case 32: {
        const int32_t bytes = bit_count_ / 8;
        std::memcpy(dst + static_cast<size_t>(x) * bytes, src + static_cast<size_t>(rect.left) * bytes,
                    static_cast<size_t>(w) * bytes);
        break;
      }
    }
  }
}

void TDIBSurface::DrawKeyed(int32_t x, int32_t y, int32_t key, TRect rect, const TDIBSurface& source) {
  if (source.bit_count_ != bit_count_) return;
  if (!ClipDraw(x, y, rect, source)) return;
  const int32_t w = rect.Width();
  for (int32_t i = 0; i < rect.Height(); ++i) {
    const uint8_t* src = source.Row(rect.top + i);
    uint8_t* dst = Row(y + i);
    switch (bit_count_) {
      case 1: {
        // A key selects the bit (key != 0) to skip; no key (negative) copies every bit, as at
        // every other depth.
        const uint32_t skip = key < 0 ? 2 : key != 0 ? 1 : 0;
        for (int32_t k = 0; k < w; ++k) {
          const uint32_t s = pixel::Get(src, rect.left + k, 1);
          if (s != skip) pixel::Set(dst, x + k, 1, s);
        }
        break;
      }
      case 4:
        for (int32_t k = 0; k < w; ++k) {
          const uint32_t s = pixel::Get(src, rect.left + k, 4);
          if (!IsKey(s, key)) pixel::Set(dst, x + k, 4, s);
        }
        break;
      case 8: {
        const uint8_t* s = src + rect.left;
        uint8_t* d = dst + x;
        for (int32_t k = 0; k < w; ++k)
          if (!IsKey(s[k], key)) d[k] = s[k];
        break;
      }
      case 16: {
        const uint8_t* s = src + 2 * rect.left;
        uint8_t* d = dst + 2 * x;
        for (int32_t k = 0; k < w; ++k) {
          const uint32_t v = Load16(s + 2 * k);
          if (!IsKey(v, key)) Store16(d + 2 * k, v);
        }
        break;
      }
      case 24: {
        const uint8_t* s = src + 3 * rect.left;
        uint8_t* d = dst + 3 * x;
        for (int32_t k = 0; k < w; ++k, s += 3, d += 3) {
          const uint32_t v = uint32_t{s[0]} | (uint32_t{s[1]} << 8) | (uint32_t{s[2]} << 16);
          if (!IsKey(v, key)) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
          }
        }
        break;
      }
      case 32: {
        const uint8_t* s = src + 4 * rect.left;
        uint8_t* d = dst + 4 * x;
        for (int32_t k = 0; k < w; ++k) {
          const uint32_t v = Load32(s + 4 * k);
          if (!IsKey(v, key)) Store32(d + 4 * k, v);
        }
        break;
      }
    }
  }
}

void TDIBSurface::DrawTranslucent(int32_t x, int32_t y, int32_t opacity, int32_t key, TRect rect,
                                  const TDIBSurface& source) {
  if (opacity == 0) return;
  const bool palette = bit_count_ <= 8;
  const int32_t level = palette && opacity > 0 ? opacity / 16 : 0;
  if (opacity >= 255 || opacity < 0 || (palette && level >= 15)) {
    DrawKeyed(x, y, key, rect, source);
    return;
  }
  if (source.bit_count_ != bit_count_) return;
  if (!ClipDraw(x, y, rect, source)) return;
  const uint32_t o = static_cast<uint32_t>(opacity);
  const int32_t w = rect.Width();
  const Masks16 masks = MasksFor(rgb555_);
  for (int32_t i = 0; i < rect.Height(); ++i) {
    const int32_t dy = y + i;
    const uint8_t* src = source.Row(rect.top + i);
    uint8_t* dst = Row(dy);
    switch (bit_count_) {
      case 1:
      case 4:
      case 8: {
        // Screen door: the dither cell of the destination pixel decides whether it takes the source.
        const uint8_t* cells = kDither[dy & 3];
        for (int32_t k = 0; k < w; ++k) {
          const int32_t dx = x + k;
          if (cells[dx & 3] > level) continue;
          const uint32_t s = pixel::Get(src, rect.left + k, bit_count_);
          if (!IsKey(s, key)) pixel::Set(dst, dx, bit_count_, s);
        }
        break;
      }
      case 16: {
        const uint8_t* s = src + 2 * rect.left;
        uint8_t* d = dst + 2 * x;
        for (int32_t k = 0; k < w; ++k) {
          const uint32_t sv = Load16(s + 2 * k);
          if (IsKey(sv, key)) continue;
          const uint32_t dv = Load16(d + 2 * k);
          uint32_t out = 0;
          for (uint32_t m : masks.m) out |= m & (((255 - o) * (dv & m) + o * (sv & m)) / 255);
          Store16(d + 2 * k, out);
        }
        break;
      }
      case 24: {
        const uint8_t* s = src + 3 * rect.left;
        uint8_t* d = dst + 3 * x;
        // The source's three bytes against the key's three low bytes; a top byte of the key is ignored.
        const uint32_t key_bytes = static_cast<uint32_t>(key) & 0x00FFFFFFu;
        for (int32_t k = 0; k < w; ++k, s += 3, d += 3) {
          if (key >= 0 && (uint32_t{s[0]} | (uint32_t{s[1]} << 8) | (uint32_t{s[2]} << 16)) == key_bytes)
            continue;
          d[0] = static_cast<uint8_t>(Blend255(d[0], s[0], o));
          d[1] = static_cast<uint8_t>(Blend255(d[1], s[1], o));
          d[2] = static_cast<uint8_t>(Blend255(d[2], s[2], o));
        }
        break;
      }
      case 32: {
        const uint8_t* s = src + 4 * rect.left;
        uint8_t* d = dst + 4 * x;
        for (int32_t k = 0; k < w; ++k) {
          const uint32_t sv = Load32(s + 4 * k);
          if (IsKey(sv, key)) continue;
          Store32(d + 4 * k, Blend32(Load32(d + 4 * k), sv, o));
        }
        break;
      }
    }
  }
}

void TDIBSurface::DrawAlpha(int32_t x, int32_t y, int32_t opacity, TRect rect, const TDIBSurface& source) {
  const TDIBSurface* alpha = source.AlphaPlane();
  if (!alpha || alpha->width_ != source.width_ || alpha->height_ != source.height_) {
    DrawTranslucent(x, y, opacity, -1, rect, source);
    return;
  }
  if (source.bit_count_ != bit_count_) return;
  if (!ClipDraw(x, y, rect, source)) return;
  const int32_t w = rect.Width();
  const Masks16 masks = MasksFor(rgb555_);
  for (int32_t i = 0; i < rect.Height(); ++i) {
    const uint8_t* src = source.Row(rect.top + i);
    const uint8_t* a = alpha->Row(rect.top + i) + rect.left;
    uint8_t* dst = Row(y + i);
    switch (bit_count_) {
      case 1:
      case 4:
      case 8:
        for (int32_t k = 0; k < w; ++k)
          if (a[k] >= 128) pixel::Set(dst, x + k, bit_count_, pixel::Get(src, rect.left + k, bit_count_));
        break;
      case 16: {
        const uint8_t* s = src + 2 * rect.left;
        uint8_t* d = dst + 2 * x;
        for (int32_t k = 0; k < w; ++k) {
          const uint32_t av = a[k];
          if (av == 0) continue;
          const uint32_t sv = Load16(s + 2 * k);
          if (av == 255) {
            Store16(d + 2 * k, sv);
            continue;
          }
          const uint32_t dv = Load16(d + 2 * k);
          uint32_t out = 0;
          for (uint32_t m : masks.m) out |= m & (((255 - av) * (dv & m) + av * (sv & m)) >> 8);
          Store16(d + 2 * k, out);
        }
        break;
      }
      case 24: {
        const uint8_t* s = src + 3 * rect.left;
        uint8_t* d = dst + 3 * x;
        if (opacity >= 255) {
          for (int32_t k = 0; k < w; ++k, s += 3, d += 3) {
            const uint32_t av = a[k];
            if (av == 0) continue;
            if (av == 255) {
              d[0] = s[0];
              d[1] = s[1];
              d[2] = s[2];
              continue;
            }
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((av * s[c] + (255 - av) * d[c]) >> 8);
          }
        } else {
          for (int32_t k = 0; k < w; ++k, s += 3, d += 3) {
            const int64_t product = int64_t{opacity} * a[k];
            if (product <= 255) continue;
            const uint32_t e = static_cast<uint32_t>(product >> 8);
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(((255 - e) * d[c] + e * s[c]) >> 8);
          }
        }
        break;
      }
      case 32: {
        const uint8_t* s = src + 4 * rect.left;
        uint8_t* d = dst + 4 * x;
        for (int32_t k = 0; k < w; ++k) {
          const uint32_t av = a[k];
          if (av == 0) continue;
          const uint32_t sv = Load32(s + 4 * k);
          Store32(d + 4 * k, av == 255 ? sv : Blend32(Load32(d + 4 * k), sv, av));
        }
        break;
      }
    }
  }
}

}  // namespace vn
