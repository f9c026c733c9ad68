// Whole-picture operations: mirroring and flipping, copying with the alpha plane, drawing a source
// of another pixel format, counting and collecting colours, and colour reduction.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/dib_surface.h"
#include "imaging/pixel_access.h"

namespace vn {

namespace {

// One bit per value, for the colour counts (2^24 bits = 2 MiB at 24 and 32 bits per pixel).
class TValueSet {
 public:
  explicit TValueSet(size_t values) : words_((values + 63) / 64) {}
  bool Insert(uint32_t v) {
    uint64_t& w = words_[v >> 6];
    const uint64_t bit = uint64_t{1} << (v & 63);
    if (w & bit) return false;
    w |= bit;
    return true;
  }
  bool Contains(uint32_t v) const { return (words_[v >> 6] >> (v & 63)) & 1; }

 private:
  std::vector<uint64_t> words_;
};

// The value a pixel is counted under: 15-bit pixels without their unused top bit, 32-bit ones
// without their fourth byte.
uint32_t CountedValue(uint32_t pixel, int32_t effective_bits) {
  if (effective_bits == 15) return pixel & 0x7FFF;
  if (effective_bits == 32) return pixel & 0xFFFFFF;
  return pixel;
}

size_t ValueRange(int32_t effective_bits) {
  return effective_bits <= 8    ? size_t{1} << effective_bits
         : effective_bits <= 16 ? size_t{1} << 16
                                : size_t{1} << 24;
}

int32_t Distance(const TPaletteEntry& e, int32_t r, int32_t g, int32_t b) {
  const int32_t dr = e.red - r, dg = e.green - g, db = e.blue - b;
  return dr * dr + dg * dg + db * db;
}

// Median cut over a histogram of 5-5-5 colour cells, each holding its pixel count and colour sums.
struct TCell {
  uint32_t count = 0;
  uint64_t red = 0, green = 0, blue = 0;
};

struct TBox {
  std::vector<uint16_t> cells;  // indices of non-empty cells
  uint64_t pixels = 0;
};

int Component(uint16_t cell, int axis) {
  return (cell >> (10 - 5 * axis)) & 31;
}

std::vector<TPaletteEntry> MedianCut(const std::vector<TCell>& histogram, int32_t colours) {
  std::vector<TBox> boxes(1);
  for (uint32_t i = 0; i < histogram.size(); ++i) {
    if (histogram[i].count == 0) continue;
    boxes[0].cells.push_back(static_cast<uint16_t>(i));
    boxes[0].pixels += histogram[i].count;
  }
  while (static_cast<int32_t>(boxes.size()) < colours) {
    // Split the box holding the most pixels among those that still can be split.
    TBox* widest = nullptr;
    for (TBox& box : boxes) {
      if (box.cells.size() > 1 && (!widest || box.pixels > widest->pixels)) widest = &box;
    }
    if (!widest) break;
    int axis = 0, longest = -1;
    for (int a = 0; a < 3; ++a) {
      auto [lo, hi] =
          std::minmax_element(widest->cells.begin(), widest->cells.end(),
                              [a](uint16_t p, uint16_t q) { return Component(p, a) < Component(q, a); });
      if (Component(*hi, a) - Component(*lo, a) > longest) {
        longest = Component(*hi, a) - Component(*lo, a);
        axis = a;
      }
    }
    std::sort(widest->cells.begin(), widest->cells.end(),
              [axis](uint16_t p, uint16_t q) { return Component(p, axis) < Component(q, axis); });
    // The weighted median, keeping at least one cell on each side.
    uint64_t seen = 0;
    size_t split = 1;
    for (; split < widest->cells.size() - 1; ++split) {
      seen += histogram[widest->cells[split - 1]].count;
      if (seen * 2 >= widest->pixels) break;
    }
    TBox upper;
    upper.cells.assign(widest->cells.begin() + static_cast<std::ptrdiff_t>(split), widest->cells.end());
    widest->cells.resize(split);
    for (uint16_t c : upper.cells) upper.pixels += histogram[c].count;
    widest->pixels -= upper.pixels;
    boxes.push_back(std::move(upper));
  }
  std::vector<TPaletteEntry> palette;
  for (const TBox& box : boxes) {
    TCell sum;
    for (uint16_t c : box.cells) {
      sum.count += histogram[c].count;
      sum.red += histogram[c].red;
      sum.green += histogram[c].green;
      sum.blue += histogram[c].blue;
    }
    if (sum.count == 0) continue;
    palette.push_back({static_cast<uint8_t>(sum.blue / sum.count),
                       static_cast<uint8_t>(sum.green / sum.count), static_cast<uint8_t>(sum.red / sum.count),
                       0});
  }
  return palette;
}

uint16_t CellOf(int32_t r, int32_t g, int32_t b) {
  return static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

}  // namespace

void TDIBSurface::Mirror() {
  for (int32_t y = 0; y < height_; ++y) {
    uint8_t* row = Row(y);
    for (int32_t x = 0; x < width_ / 2; ++x) {
      const uint32_t left = pixel::Get(row, x, bit_count_);
      pixel::Set(row, x, bit_count_, pixel::Get(row, width_ - 1 - x, bit_count_));
      pixel::Set(row, width_ - 1 - x, bit_count_, left);
    }
  }
}

void TDIBSurface::Flip() {
  std::vector<uint8_t> buffer(static_cast<size_t>(row_size_));
  for (int32_t y = 0; y < height_ / 2; ++y) {
    uint8_t* top = Row(y);
    uint8_t* bottom = Row(height_ - 1 - y);
    std::memcpy(buffer.data(), top, buffer.size());
    std::memcpy(top, bottom, buffer.size());
    std::memcpy(bottom, buffer.data(), buffer.size());
  }
}

uint32_t TDIBSurface::PixelToColorShifted(uint32_t pixel, bool fill_low) const {
  auto widen = [fill_low](uint32_t v, int bits) {
    const uint32_t shifted = v << (8 - bits);
    return static_cast<uint8_t>(fill_low && v != 0 ? shifted | ((1u << (8 - bits)) - 1) : shifted);
  };
  switch (EffectiveBitCount()) {
    case 15:
      return RGBColor(widen((pixel >> 10) & 31, 5), widen((pixel >> 5) & 31, 5), widen(pixel & 31, 5));
    case 16:
      return RGBColor(widen((pixel >> 11) & 31, 5), widen((pixel >> 5) & 63, 6), widen(pixel & 31, 5));
    default:
      return PixelToColor(pixel);
  }
}

void TDIBSurface::AssignWithAlpha(const TDIBSurface& source) {
  if (&source == this) return;
  SetSize(source.width_, source.height_, source.EffectiveBitCount());
  palette_ = source.palette_;
  bits_ = source.bits_;
  if (source.alpha_) {
    CopyAlphaFrom(*source.alpha_);
  } else {
    FreeAlphaPlane();
  }
}

int64_t TDIBSurface::CountColors() const {
  if (Empty()) return 0;
  const int32_t effective = EffectiveBitCount();
  TValueSet seen(ValueRange(effective));
  int64_t count = 0;
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* row = Row(y);
    for (int32_t x = 0; x < width_; ++x) {
      if (seen.Insert(CountedValue(pixel::Get(row, x, bit_count_), effective))) ++count;
    }
  }
  return count;
}

std::vector<uint32_t> TDIBSurface::CollectColors() const {
  std::vector<uint32_t> colours;
  if (Empty()) return colours;
  const int32_t effective = EffectiveBitCount();
  TValueSet seen(ValueRange(effective));
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* row = Row(y);
    for (int32_t x = 0; x < width_; ++x) {
      const uint32_t v = CountedValue(pixel::Get(row, x, bit_count_), effective);
      if (seen.Insert(v)) colours.push_back(PixelToColor(v));
    }
  }
  // Palette entries and widened 16-bit pixels may show the same colour twice.
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  return colours;
}

int32_t TDIBSurface::FindFreePaletteIndex() const {
  if (bit_count_ > 8 || Empty()) return bit_count_ > 8 ? -1 : 0;
  TValueSet used(size_t{1} << bit_count_);
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* row = Row(y);
    for (int32_t x = 0; x < width_; ++x) used.Insert(pixel::Get(row, x, bit_count_));
  }
  for (uint32_t i = 0; i < (1u << bit_count_); ++i) {
    if (!used.Contains(i)) return static_cast<int32_t>(i);
  }
  return -1;
}

void TDIBSurface::ReduceColors(int32_t method, int32_t bits, bool dither, int32_t max_colors) {
  const int32_t b = bit_count_;
  if (Empty() || method < 0 || method > 3 || !IsSupportedBitCount(bits) || max_colors < 1) return;
  // Only a picture above 8 bits, a change of depth past 8 bits or down, or a limit below what the
  // depth holds asks for work; and then only a depth above 8 bits or more colours than allowed.
  if (!(b > 8 || bits > 8 || bits < b || int64_t{max_colors} < (int64_t{1} << b))) return;
  const int64_t present = CountColors();
  if (!(bits > 8 || max_colors < present)) return;

  // At more than 8 bits the result keeps that depth; the colour limit still applies.
  const int32_t target_bits = bits;
  int64_t colours = std::min<int64_t>(max_colors, target_bits <= 8 ? int64_t{1} << target_bits : 256);
  if (target_bits > 8 && max_colors >= present) {
    ConvertBitCount(target_bits);
    return;
  }

  // The palette: the picture's own colours when they fit, else median cut.
  std::vector<TPaletteEntry> palette;
  const std::vector<uint32_t> own = CollectColors();
  if (static_cast<int64_t>(own.size()) <= colours) {
    for (uint32_t c : own) palette.push_back({ColorBlue(c), ColorGreen(c), ColorRed(c), 0});
  } else {
    std::vector<TCell> histogram(1 << 15);
    for (int32_t y = 0; y < height_; ++y) {
      const uint8_t* row = Row(y);
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t c = PixelToColor(pixel::Get(row, x, bit_count_));
        TCell& cell = histogram[CellOf(ColorRed(c), ColorGreen(c), ColorBlue(c))];
        ++cell.count;
        cell.red += ColorRed(c);
        cell.green += ColorGreen(c);
        cell.blue += ColorBlue(c);
      }
    }
    palette = MedianCut(histogram, static_cast<int32_t>(colours));
  }
  auto nearest = [&palette](int32_t r, int32_t g, int32_t bl) {
    uint32_t best = 0;
    int32_t best_distance = INT32_MAX;
    for (uint32_t i = 0; i < palette.size(); ++i) {
      const int32_t d = Distance(palette[i], r, g, bl);
      if (d < best_distance) {
        best_distance = d;
        best = i;
      }
    }
    return best;
  };

  TDIBSurface result;
  if (target_bits <= 8) std::copy(palette.begin(), palette.end(), result.palette_.begin());
  result.SetSize(width_, height_, target_bits);
  // Floyd-Steinberg: the error of each pixel goes 7/16 right, 3/16 below left, 5/16 below, 1/16
  // below right. Two rows of errors (with a margin pixel each side) are enough.
  std::vector<int32_t> error_this(3 * (static_cast<size_t>(width_) + 2)), error_next(error_this.size());
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* src = Row(y);
    uint8_t* dst = result.Row(y);
    std::fill(error_next.begin(), error_next.end(), 0);
    for (int32_t x = 0; x < width_; ++x) {
      const uint32_t c = PixelToColor(pixel::Get(src, x, bit_count_));
      int32_t want[3] = {ColorRed(c), ColorGreen(c), ColorBlue(c)};
      int32_t* e = &error_this[3 * (static_cast<size_t>(x) + 1)];
      if (dither) {
        for (int k = 0; k < 3; ++k) want[k] = std::clamp(want[k] + e[k] / 16, 0, 255);
      }
      const uint32_t index = nearest(want[0], want[1], want[2]);
      const TPaletteEntry& got = palette[index];
      if (dither) {
        const int32_t diff[3] = {want[0] - got.red, want[1] - got.green, want[2] - got.blue};
        int32_t* n = &error_next[3 * (static_cast<size_t>(x) + 1)];
        for (int k = 0; k < 3; ++k) {
          e[3 + k] += diff[k] * 7;
          n[k - 3] += diff[k] * 3;
          n[k] += diff[k] * 5;
          n[k + 3] += diff[k];
        }
      }
      pixel::Set(dst, x, result.bit_count_,
                 target_bits <= 8 ? index : result.ColorToPixel(got.red, got.green, got.blue));
    }
    std::swap(error_this, error_next);
  }
  if (alpha_) result.CopyAlphaFrom(*alpha_);
  AssignWithAlpha(result);
}

}  // namespace vn
