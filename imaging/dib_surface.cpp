#include "imaging/dib_surface.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "imaging/pixel_access.h"
#include "platform/error.h"
#include "platform/system.h"

namespace vn {

using pixel::Widen5;
using pixel::Widen6;

namespace {

int32_t RowBytes(int32_t width, int32_t bits) {
  return static_cast<int32_t>(((int64_t{width} * bits + 31) / 32) * 4);
}

}  // namespace

bool TDIBSurface::IsSupportedBitCount(int32_t bits) {
  switch (bits) {
    case 1:
    case 4:
    case 8:
    case 15:
    case 16:
    case 24:
    case 32:
      return true;
  }
  return false;
}

int64_t TDIBSurface::BytesFor(int32_t width, int32_t height, int32_t bits) {
  if (width <= 0 || height <= 0) return 0;
  const int32_t stored_bits = bits == 15 ? 16 : bits;
  return ((int64_t{width} * stored_bits + 31) / 32) * 4 * int64_t{height};
}

int32_t TDIBSurface::EffectiveBitCount() const {
  return bit_count_ == 16 && rgb555_ ? 15 : bit_count_;
}

void TDIBSurface::CheckSize(int32_t width, int32_t height, int32_t bits) {
  if (!IsSupportedBitCount(bits)) {
    throw EFormatError("unsupported bit depth " + std::to_string(bits) + " (1, 4, 8, 15, 16, 24 or 32)");
  }
  if (width > 0 && height > 0 &&
      (width > kMaxSide || height > kMaxSide || BytesFor(width, height, bits) > kMaxBytes)) {
    throw EFormatError("picture of " + std::to_string(width) + " x " + std::to_string(height) +
                       " pixels at " + std::to_string(bits) + " bits is larger than this program accepts");
  }
}

uint8_t* AllocatePixelMemory(size_t size) {
  uint8_t* data = std::allocator<uint8_t>().allocate(size);
  constexpr size_t kLarge = size_t{4} << 20;  // below this, few faults to save
  if (size >= kLarge) AdviseHugePages(data, size);
  return data;
}

void TDIBSurface::SetSize(int32_t width, int32_t height, int32_t bits) {
  CheckSize(width, height, bits);
  const bool rgb555 = bits == 15;
  const int32_t bit_count = rgb555 ? 16 : bits;
  if (width <= 0 || height <= 0) {
    width = 0;
    height = 0;
  }
  if (width != width_ || height != height_ || bit_count != bit_count_ || rgb555 != rgb555_) {
    // Allocate first: a failure leaves the surface as it was.
    decltype(bits_) fresh(static_cast<size_t>(BytesFor(width, height, bit_count)));
    bits_ = std::move(fresh);
    width_ = width;
    height_ = height;
    bit_count_ = bit_count;
    rgb555_ = rgb555;
    row_size_ = width == 0 ? 0 : RowBytes(width, bit_count);
  }
  if (alpha_ && (alpha_->width_ != width_ || alpha_->height_ != height_)) alpha_->SetSize(width_, height_, 8);
}

void TDIBSurface::Clear() {
  bits_.clear();
  bits_.shrink_to_fit();
  width_ = height_ = row_size_ = 0;
  alpha_.reset();
}

uint8_t* TDIBSurface::ScanLine(int32_t y) {
  return const_cast<uint8_t*>(static_cast<const TDIBSurface*>(this)->ScanLine(y));
}

const uint8_t* TDIBSurface::ScanLine(int32_t y) const {
  if (y < 0 || y >= height_) {
    throw Exception("スキャンラインのインデックスが範囲を越えました (" + std::to_string(y) + ")");
  }
  return Row(y);
}

uint32_t TDIBSurface::Pixels(int32_t x, int32_t y) const {
  const uint8_t* row = ScanLine(y);
  if (x < 0 || x >= width_) throw Exception("pixel index out of range (" + std::to_string(x) + ")");
  return pixel::Get(row, x, bit_count_);
}

void TDIBSurface::SetPixels(int32_t x, int32_t y, uint32_t value) {
  uint8_t* row = ScanLine(y);
  if (x < 0 || x >= width_) throw Exception("pixel index out of range (" + std::to_string(x) + ")");
  pixel::Set(row, x, bit_count_, value);
}

uint32_t TDIBSurface::PixelToColor(uint32_t pixel) const {
  switch (EffectiveBitCount()) {
    case 1:
    case 4:
    case 8: {
      const TPaletteEntry& e = palette_[pixel & 0xFF];
      return RGBColor(e.red, e.green, e.blue);
    }
    case 15:
      return RGBColor(Widen5((pixel >> 10) & 31), Widen5((pixel >> 5) & 31), Widen5(pixel & 31));
    case 16:
      return RGBColor(Widen5((pixel >> 11) & 31), Widen6((pixel >> 5) & 63), Widen5(pixel & 31));
    default:
      return RGBColor(static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                      static_cast<uint8_t>(pixel));
  }
}

uint32_t TDIBSurface::ColorToPixel(uint8_t r, uint8_t g, uint8_t b) const {
  switch (EffectiveBitCount()) {
    case 1:
    case 4:
    case 8: {
      // Nearest palette entry: smallest squared distance in RGB; the first index wins a tie.
      const int entries = 1 << bit_count_;
      uint32_t best = 0;
      int32_t best_distance = INT32_MAX;
      for (int i = 0; i < entries; ++i) {
        const TPaletteEntry& e = palette_[i];
        const int32_t dr = int32_t{e.red} - r, dg = int32_t{e.green} - g, db = int32_t{e.blue} - b;
        const int32_t distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
          best_distance = distance;
          best = static_cast<uint32_t>(i);
        }
      }
      return best;
    }
    case 15:
      return ((uint32_t{r} >> 3) << 10) | ((uint32_t{g} >> 3) << 5) | (uint32_t{b} >> 3);
    case 16:
      return ((uint32_t{r} >> 3) << 11) | ((uint32_t{g} >> 2) << 5) | (uint32_t{b} >> 3);
    default:
      return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
  }
}

void TDIBSurface::ConvertBitCount(int32_t bits) {
  if (bits <= 0) {
    SetSize(0, 0, bit_count_ == 16 && rgb555_ ? 15 : bit_count_);
    return;
  }
  if (Empty()) {
    SetSize(std::max(width_, 1), std::max(height_, 1), bits);
    return;
  }
  if (bits == EffectiveBitCount()) return;
  TDIBSurface target;
  target.palette_ = palette_;
  target.SetSize(width_, height_, bits);
  const int32_t to_bits = target.bit_count_;
  if (bit_count_ <= 8 && to_bits == 24) {
    // The common case (palette pictures made opaque 24-bit): one table look-up per pixel.
    for (int32_t y = 0; y < height_; ++y) {
      const uint8_t* src = Row(y);
      uint8_t* dst = target.Row(y);
      for (int32_t x = 0; x < width_; ++x) {
        const TPaletteEntry& e = palette_[pixel::Get(src, x, bit_count_)];
        dst[3 * x] = e.blue;
        dst[3 * x + 1] = e.green;
        dst[3 * x + 2] = e.red;
      }
    }
  } else {
    for (int32_t y = 0; y < height_; ++y) {
      const uint8_t* src = Row(y);
      uint8_t* dst = target.Row(y);
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t c = PixelToColor(pixel::Get(src, x, bit_count_));
        pixel::Set(dst, x, to_bits, target.ColorToPixel(ColorRed(c), ColorGreen(c), ColorBlue(c)));
      }
    }
  }
  bits_ = std::move(target.bits_);
  bit_count_ = target.bit_count_;
  rgb555_ = target.rgb555_;
  row_size_ = target.row_size_;
}

void TDIBSurface::Assign(const TBitmapData& bitmap) {
  if (!IsSupportedBitCount(bitmap.bit_count) || bitmap.width < 0 || bitmap.height < 0) {
    throw EFormatError("bitmap of an unsupported form");
  }
  const int32_t stored_bits = bitmap.bit_count == 15 ? 16 : bitmap.bit_count;
  const size_t row_bytes = (static_cast<size_t>(bitmap.width) * stored_bits + 7) / 8;
  if (bitmap.width > 0 && bitmap.height > 0 &&
      (bitmap.stride < row_bytes ||
       bitmap.pixels.size() < bitmap.stride * static_cast<size_t>(bitmap.height - 1) + row_bytes)) {
    throw EFormatError("bitmap holds fewer bytes than its size needs");
  }
  SetSize(bitmap.width, bitmap.height, bitmap.bit_count);
  palette_ = bitmap.palette;
  for (int32_t y = 0; y < height_; ++y) {
    std::memcpy(Row(y), bitmap.pixels.data() + bitmap.stride * static_cast<size_t>(y), row_bytes);
  }
}

void TDIBSurface::EnsureAlphaPlane() {
  if (!alpha_) alpha_ = std::make_unique<TDIBSurface>();
  if (alpha_->width_ != width_ || alpha_->height_ != height_ || alpha_->bit_count_ != 8) {
    alpha_->SetSize(width_, height_, 8);
    alpha_->ReleaseHandle();
  }
}

void TDIBSurface::FillAlphaOpaque() {
  if (alpha_) std::fill(alpha_->bits_.begin(), alpha_->bits_.end(), uint8_t{255});
}

void TDIBSurface::CopyAlphaFrom(const TDIBSurface& source) {
  if (source.bit_count_ != 8 || source.width_ != width_ || source.height_ != height_) {
    throw EFormatError("alpha plane of another size or depth than its picture");
  }
  EnsureAlphaPlane();
  // An empty frame has no pixel memory at all, and memcpy may not be given null even for 0 bytes.
  if (&source == alpha_.get() || source.bits_.empty()) return;
  std::memcpy(alpha_->bits_.data(), source.bits_.data(), source.bits_.size());
}

}  // namespace vn
