// TDIBSurface: the in-memory picture of the imaging code. A device-independent bitmap of 1, 4, 8, 16
// (5-5-5 or 5-6-5), 24 or 32 bits per pixel, rows stored bottom row first and padded to 32-bit words,
// with an optional 8-bit alpha plane, plus the raw-pixel operations the picture decoder composites with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vn {

// Left, top, right, bottom; right and bottom exclusive.
struct TRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const TRect&) const = default;
};

// One palette entry, in the byte order of a bitmap colour table.
struct TPaletteEntry {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
  bool operator==(const TPaletteEntry&) const = default;
};
static_assert(sizeof(TPaletteEntry) == 4);

using TPalette = std::array<TPaletteEntry, 256>;

// A decoded bitmap handed to a surface (from a JPEG or PNG reader): rows from the top, `stride` bytes
// apart, each holding width pixels in the surface's pixel format for bit_count.
struct TBitmapData {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bit_count = 24;
  TPalette palette{};
  size_t stride = 0;
  std::vector<uint8_t> pixels;
};

// RGB colour values keep red in the low byte: 0x00BBGGRR.
constexpr uint32_t RGBColor(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t{r} | (uint32_t{g} << 8) | (uint32_t{b} << 16);
}
constexpr uint8_t ColorRed(uint32_t c) {
  return static_cast<uint8_t>(c);
}
constexpr uint8_t ColorGreen(uint32_t c) {
  return static_cast<uint8_t>(c >> 8);
}
constexpr uint8_t ColorBlue(uint32_t c) {
  return static_cast<uint8_t>(c >> 16);
}

// Memory for pixels. Large pictures are backed by huge pages where the system has them, asked for
// before the memory is first filled: that takes most of the page faults out of making a picture.
uint8_t* AllocatePixelMemory(size_t size);
template <typename T>
struct PixelAllocator {
  static_assert(sizeof(T) == 1);
  using value_type = T;
  PixelAllocator() = default;
  template <typename U>
  PixelAllocator(const PixelAllocator<U>&) {}
  T* allocate(size_t n) { return reinterpret_cast<T*>(AllocatePixelMemory(n)); }
  void deallocate(T* p, size_t n) noexcept {
    std::allocator<uint8_t>().deallocate(reinterpret_cast<uint8_t*>(p), n);
  }
  template <typename U>
  bool operator==(const PixelAllocator<U>&) const {
    return true;
  }
};

class TDIBSurface {
 public:
  TDIBSurface() = default;
  ~TDIBSurface() = default;
  TDIBSurface(const TDIBSurface&) = delete;
  TDIBSurface& operator=(const TDIBSurface&) = delete;

  // The largest picture a surface accepts, in bytes of pixel data (and pixels per side). Pictures
  // come from files; a size beyond these is damage, refused before anything is allocated.
  static constexpr int64_t kMaxBytes = int64_t{256} << 20;
  static constexpr int32_t kMaxSide = 65535;
  // The largest picture file read whole: the largest surface plus room for headers, colour tables,
  // several icon images and coding overhead.
  static constexpr int64_t kMaxFileBytes = kMaxBytes + kMaxBytes / 2;
  // Whether SetSize(width, height, bits) would be accepted and what it would allocate.
  static bool IsSupportedBitCount(int32_t bits);
  static int64_t BytesFor(int32_t width, int32_t height, int32_t bits);
  // Raises the EFormatError SetSize would raise for these values.
  static void CheckSize(int32_t width, int32_t height, int32_t bits);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t BitCount() const { return bit_count_; }
  // 15 for a 16-bit surface in 5-5-5 layout, BitCount otherwise.
  int32_t EffectiveBitCount() const;
  bool Empty() const { return width_ == 0; }
  int32_t RowSize() const { return row_size_; }
  // Signed distance from row y to row y + 1: negative, rows are stored bottom first.
  int32_t RowStep() const { return -row_size_; }
  TRect BoundsRect() const { return {0, 0, width_, height_}; }

  // Bits 15 = 5-5-5 in 16-bit pixels, 16 = 5-6-5; 1, 4, 8, 24, 32 as they are. Width or height <= 0
  // empties the surface. Contents are undefined after a real change; the palette stays; the alpha
  // plane follows. Raises EFormatError for another bit count or a picture beyond kMaxBytes.
  void SetSize(int32_t width, int32_t height, int32_t bits);
  // Empties the picture and frees the alpha plane.
  void Clear();

  // Row y counted from the top; raises vn::Exception outside 0 .. Height - 1.
  uint8_t* ScanLine(int32_t y);
  const uint8_t* ScanLine(int32_t y) const;

  // One pixel value (palette index, 16-bit word or 0x00RRGGBB); no range check beyond ScanLine's.
  uint32_t Pixels(int32_t x, int32_t y) const;
  void SetPixels(int32_t x, int32_t y, uint32_t value);

  // Bits <= 0 empties; an empty surface gets a 1 x 1 (at least) picture; otherwise the picture is
  // converted, keeping its colours (to 8 bits or fewer through the nearest palette entry).
  void ConvertBitCount(int32_t bits);

  TPalette& Palette() { return palette_; }
  const TPalette& Palette() const { return palette_; }
  // Makes drawing use a palette changed in place. Pixels live in plain memory here, so drawing
  // always sees the current palette; kept so callers read as the format's tools do.
  void UpdatePalette() {}
  // Gives up a platform drawing resource; the pixels always live in plain memory here.
  void ReleaseHandle() {}

  // Takes the bitmap's size, bit count, palette and pixels. Raises EFormatError when its rows are
  // shorter than its width needs.
  void Assign(const TBitmapData& bitmap);

  // RGB colour value (red in the low byte) that a pixel value shows. 5- and 6-bit components widen
  // by repeating their top bits, so full intensity stays 255.
  uint32_t PixelToColor(uint32_t pixel) const;
  // 8-bit components to a pixel value of this surface. At 8 bits or fewer: the nearest of the
  // 2^BitCount palette entries by squared distance in RGB, the first index on ties.
  uint32_t ColorToPixel(uint8_t r, uint8_t g, uint8_t b) const;

  // Alpha plane: 8 bits per pixel, same size, 0 transparent .. 255 opaque.
  TDIBSurface* AlphaPlane() { return alpha_.get(); }
  const TDIBSurface* AlphaPlane() const { return alpha_.get(); }
  void EnsureAlphaPlane();
  void FreeAlphaPlane() { alpha_.reset(); }
  void FillAlphaOpaque();
  // Source: an 8-bit surface of this size; raises EFormatError otherwise.
  void CopyAlphaFrom(const TDIBSurface& source);

  // Drawing. Sources have the same pixel format as this surface; rectangles are clipped as each
  // operation says, and nothing outside either picture is touched.
  void FillRect(TRect rect, uint32_t pixel);
  void CopyRect(int32_t x, int32_t y, TRect source_rect, const TDIBSurface& source);
  void CopyFrom(int32_t x, int32_t y, const TDIBSurface& source) {
    CopyRect(x, y, source.BoundsRect(), source);
  }
  void DrawKeyed(int32_t x, int32_t y, int32_t key, TRect source_rect, const TDIBSurface& source);
  void DrawTranslucent(int32_t x, int32_t y, int32_t opacity, int32_t key, TRect source_rect,
                       const TDIBSurface& source);
  void DrawAlpha(int32_t x, int32_t y, int32_t opacity, TRect source_rect, const TDIBSurface& source);

  // Whole-picture operations (surface_ops.cpp).
  // Mirror swaps the pixels of each row left to right; Flip turns the picture upside down.
  void Mirror();
  void Flip();
  // RGB colour value of a pixel with 5- and 6-bit components shifted up to 8 bits; with fill_low,
  // a non-zero component also gets its low bits set (31 -> 255), a zero one stays 0.
  uint32_t PixelToColorShifted(uint32_t pixel, bool fill_low) const;
  // Makes this surface a copy of source: size, layout, palette, pixels and alpha plane (or none).
  void AssignWithAlpha(const TDIBSurface& source);
  // Number of distinct pixel values (the 32-bit count ignores the top byte); 0 when empty.
  int64_t CountColors() const;
  // The distinct colours the picture shows, as RGB colour values (red in the low byte), ascending.
  std::vector<uint32_t> CollectColors() const;
  // At 8 bits or fewer a palette index no pixel uses, else -1.
  int32_t FindFreePaletteIndex() const;
  // Reduces the picture to at most max_colors colours, at `bits` bits per pixel (1, 4, 8 give a
  // palette picture). Methods 0 .. 3 all quantise by median cut, with Floyd-Steinberg error
  // diffusion when dither is set; the alpha plane is kept. Does nothing when there is nothing to
  // reduce (see the conditions in the source) or for another method.
  void ReduceColors(int32_t method, int32_t bits, bool dither, int32_t max_colors);

 private:
  // Unchecked row access for loops that clipped already.
  uint8_t* Row(int32_t y) { return bits_.data() + static_cast<size_t>(height_ - 1 - y) * row_size_; }
  const uint8_t* Row(int32_t y) const {
    return bits_.data() + static_cast<size_t>(height_ - 1 - y) * row_size_;
  }
  // Clips the destination position and source rectangle for the keyed and blended draws; false
  // when nothing is left. Also keeps the rectangle inside the source, so no read leaves it.
  bool ClipDraw(int32_t& x, int32_t& y, TRect& rect, const TDIBSurface& source) const;

  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t bit_count_ = 24;
  bool rgb555_ = false;  // 16-bit layout: 5-5-5 when set, 5-6-5 otherwise
  int32_t row_size_ = 0;
  std::vector<uint8_t, PixelAllocator<uint8_t>> bits_;
  TPalette palette_{};
  std::unique_ptr<TDIBSurface> alpha_;
};

}  // namespace vn
