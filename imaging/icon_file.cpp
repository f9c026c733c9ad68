#include "imaging/icon_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/bmp_file.h"
#include "imaging/dib_format.h"
#include "imaging/pixel_access.h"
#include "imaging/png_io.h"
#include "platform/error.h"

namespace vn {

namespace {

#pragma pack(push, 1)
struct TIconHeader {
  uint16_t reserved;
  uint16_t type;  // 1 icon, 2 cursor
  uint16_t count;
};
static_assert(sizeof(TIconHeader) == 6);

struct TIconDirEntry {
  uint8_t width;  // 0 means 256
  uint8_t height;
  uint8_t color_count;
  uint8_t reserved;
  uint16_t planes_or_hot_x;
  uint16_t bits_or_hot_y;
  uint32_t bytes;
  uint32_t offset;
};
static_assert(sizeof(TIconDirEntry) == 16);
#pragma pack(pop)

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr uint16_t kIconType = 1;
constexpr uint16_t kCursorType = 2;

bool IsPng(std::string_view image) {
  return image.substr(0, 8) == std::string_view(kPngSignature, 8);
}

struct TIconDirectory {
  TIconHeader header{};
  std::vector<TIconDirEntry> entries;
};

TIconDirectory ReadDirectory(std::string_view data) {
  TIconDirectory dir;
  if (!ReadStruct(data, 0, dir.header)) throw EFormatError("icon header cut short");
  if (dir.header.reserved != 0 || (dir.header.type != kIconType && dir.header.type != kCursorType)) {
    throw EFormatError("not an icon or cursor file");
  }
  if (dir.header.count == 0) throw EFormatError("icon file without images");
  if ((data.size() - sizeof(TIconHeader)) / sizeof(TIconDirEntry) < dir.header.count) {
    throw EFormatError("icon directory of " + std::to_string(dir.header.count) + " images cut short");
  }
  dir.entries.resize(dir.header.count);
  for (uint32_t i = 0; i < dir.header.count; ++i) {
    ReadStruct(data, sizeof(TIconHeader) + uint64_t(i) * sizeof(TIconDirEntry), dir.entries[i]);
  }
  return dir;
}

// The bytes of one image, checked against the file.
std::string_view ImageBytes(std::string_view data, const TIconDirEntry& e, uint32_t index) {
  if (e.offset > data.size() || data.size() - e.offset < e.bytes) {
    throw EFormatError("icon image " + std::to_string(index) + " runs past the end of the file");
  }
  return data.substr(e.offset, e.bytes);
}

uint32_t BigEndian32(std::string_view s, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data() + at);
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

TIconImageInfo ImageInfo(std::string_view image) {
  if (IsPng(image)) {
    // The IHDR chunk follows the signature: length, type, then width and height.
    if (image.size() < 24) throw EFormatError("PNG icon image cut short");
    return {static_cast<int32_t>(BigEndian32(image, 16)), static_cast<int32_t>(BigEndian32(image, 20)), 32};
  }
  TBitmapInfoHeader info;
  if (!ReadStruct(image, 0, info)) throw EFormatError("icon image header cut short");
  return {info.width, info.height / 2, info.bit_count};
}

uint64_t MaskRowBytes(const TDIBSurface& picture) {
  return ((uint64_t(picture.Width()) + 31) / 32) * 4;
}

// Whether the AND mask's rows lie within the image's bytes.
bool MaskFits(std::string_view image, uint64_t offset, const TDIBSurface& picture) {
  return offset <= image.size() &&
         (image.size() - offset) / MaskRowBytes(picture) >= uint64_t(picture.Height());
}

// Applies the AND mask (rows from the bottom, a set bit is transparent) to the alpha plane.
void ApplyAndMask(std::string_view image, uint64_t offset, TDIBSurface& picture) {
  const uint64_t row_bytes = MaskRowBytes(picture);
  if (!MaskFits(image, offset, picture)) throw EFormatError("icon mask runs past the end of the image");
  TDIBSurface& alpha = *picture.AlphaPlane();
  for (int32_t y = 0; y < picture.Height(); ++y) {
    const auto* mask = reinterpret_cast<const uint8_t*>(image.data() + offset +
                                                        row_bytes * uint64_t(picture.Height() - 1 - y));
    uint8_t* a = alpha.ScanLine(y);
    for (int32_t x = 0; x < picture.Width(); ++x) {
      if (pixel::Get(mask, x, 1)) a[x] = 0;
    }
  }
}

// Paints the transparent pixels with a key showing key_color and drops the alpha plane.
int32_t PaintKey(TDIBSurface& picture, uint32_t key_color) {
  const uint8_t r = ColorRed(key_color), g = ColorGreen(key_color), b = ColorBlue(key_color);
  int32_t key = picture.BitCount() <= 8 ? picture.FindFreePaletteIndex() : -1;
  if (key >= 0) {
    picture.Palette()[key] = {b, g, r, 0};
    picture.UpdatePalette();
  } else {
    key = static_cast<int32_t>(picture.ColorToPixel(r, g, b));
  }
  const TDIBSurface& alpha = *picture.AlphaPlane();
  for (int32_t y = 0; y < picture.Height(); ++y) {
    const uint8_t* a = alpha.ScanLine(y);
    uint8_t* row = picture.ScanLine(y);
    for (int32_t x = 0; x < picture.Width(); ++x) {
      if (a[x] < 128) pixel::Set(row, x, picture.BitCount(), static_cast<uint32_t>(key));
    }
  }
  picture.FreeAlphaPlane();
  return key;
}

}  // namespace

std::vector<TIconImageInfo> ListIconImages(std::string_view data) {
  const TIconDirectory dir = ReadDirectory(data);
  std::vector<TIconImageInfo> list;
  for (uint32_t i = 0; i < dir.entries.size(); ++i)
    list.push_back(ImageInfo(ImageBytes(data, dir.entries[i], i)));
  return list;
}

std::string IconChooserLine(int32_t index, const TIconImageInfo& info) {
  char line[64];
  std::snprintf(line, sizeof line, "%.3d : %d x %d  %d bpp", index + 1, info.width, info.height, info.bits);
  return line;
}

TIconLoadResult ReadIcon(std::string_view data, TDIBSurface& target, const TIconLoadOptions& options) {
  target.Clear();
  TIconLoadResult result;
  if (data.substr(0, 2) == "BM") {
    ReadBmp(data, target, options.keep_alpha);
    return result;
  }
  const TIconDirectory dir = ReadDirectory(data);
  int32_t index = 0;
  if (dir.entries.size() > 1 && options.choose) {
    index = options.choose(ListIconImages(data));
    if (index < 0 || index >= static_cast<int32_t>(dir.entries.size())) {
      throw EFormatError("no icon image " + std::to_string(index) + " (the file holds " +
                         std::to_string(dir.entries.size()) + ", counted from 0)");
    }
  }
  const TIconDirEntry& entry = dir.entries[index];
  if (dir.header.type == kCursorType) {
    result.hot_x = entry.planes_or_hot_x;
    result.hot_y = entry.bits_or_hot_y;
  }
  const std::string_view image = ImageBytes(data, entry, index);
  int32_t bits = 32;
  if (IsPng(image)) {
    ReadPng(image, target);
    if (!target.AlphaPlane()) {
      target.EnsureAlphaPlane();
      target.FillAlphaOpaque();
    }
  } else {
    const TDibLayout layout = DecodeDib(image, 0, std::nullopt, 2, target);
    bits = layout.bits;
    const bool carries_alpha = target.BitCount() == 32;
    if (carries_alpha) {
      SplitAlphaChannel(target);
    } else {
      target.EnsureAlphaPlane();
      target.FillAlphaOpaque();
    }
    // A picture that carries its alpha needs no mask, and several writers leave it out.
    if (!carries_alpha || MaskFits(image, layout.pixels_end, target)) {
      ApplyAndMask(image, layout.pixels_end, target);
    }
  }
  if (!options.keep_alpha) {
    if (bits > 1) {
      result.transparent = PaintKey(target, options.key_color);
    } else {
      target.FreeAlphaPlane();
    }
  }
  return result;
}

std::string EncodeIcon(const TDIBSurface& source, const TIconSaveOptions& options) {
  if (source.Empty()) throw EFormatError("an empty picture cannot be written");
  if (source.Width() > 256 || source.Height() > 256) {
    throw EFormatError("icons are at most 256 x 256 pixels; this picture is " +
                       std::to_string(source.Width()) + " x " + std::to_string(source.Height()));
  }
  TDIBSurface work;
  work.AssignWithAlpha(source);
  if (work.BitCount() == 16 || work.BitCount() == 32) work.ConvertBitCount(24);
  const int32_t w = work.Width(), h = work.Height();
  const TDIBSurface* alpha = options.with_alpha ? source.AlphaPlane() : nullptr;
  const bool with32 = options.transparent < 0 && alpha && options.icon32;
  // A 32-bit icon carries colours, whatever the picture's depth: palette pictures too.
  if (with32) work.ConvertBitCount(24);
  const int32_t bits = with32 ? 32 : work.BitCount();

  // The mask: 255 opaque. Transparent pixels are painted black (or a black palette entry).
  std::vector<uint8_t> mask(size_t(w) * h, 255);
  if (options.transparent >= 0) {
    if (work.BitCount() <= 8) {
      work.Palette()[options.transparent & 0xFF] = {0, 0, 0, 0};
      work.UpdatePalette();
    }
    // A 32-bit pixel's fourth byte carries no colour.
    const uint32_t colour_bits = source.BitCount() == 32 ? 0xFFFFFF : 0xFFFFFFFF;
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        if ((source.Pixels(x, y) & colour_bits) != static_cast<uint32_t>(options.transparent)) continue;
        mask[size_t(y) * w + x] = 0;
        if (work.BitCount() > 8) work.SetPixels(x, y, 0);
      }
    }
  } else if (alpha) {
    int32_t black = 0;
    if (!with32 && work.BitCount() <= 8) {
      black = work.FindFreePaletteIndex();
      if (black >= 0) {
        work.Palette()[black] = {0, 0, 0, 0};
        work.UpdatePalette();
      } else {
        black = static_cast<int32_t>(work.ColorToPixel(0, 0, 0));
      }
    }
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* a = alpha->ScanLine(y);
      for (int32_t x = 0; x < w; ++x) {
        mask[size_t(y) * w + x] = a[x];
        if (with32 ? a[x] == 0 : a[x] < 128) work.SetPixels(x, y, static_cast<uint32_t>(black));
      }
    }
  }

  const uint32_t palette_bytes = bits <= 8 ? 4u << bits : 0;
  const uint32_t color_row = static_cast<uint32_t>(((int64_t{w} * bits + 31) / 32) * 4);
  const uint32_t mask_row = static_cast<uint32_t>(((w + 31) / 32) * 4);
  const uint32_t image_size = (color_row + mask_row) * static_cast<uint32_t>(h);
  const uint32_t bytes = sizeof(TBitmapInfoHeader) + palette_bytes + image_size;

  std::string out;
  Append(out, TIconHeader{0, options.cursor ? kCursorType : kIconType, 1});
  TIconDirEntry entry{};
  entry.width = static_cast<uint8_t>(w);  // 256 is stored as 0
  entry.height = static_cast<uint8_t>(h);
  entry.color_count = static_cast<uint8_t>(bits < 8 ? 1 << bits : 0);
  entry.planes_or_hot_x = static_cast<uint16_t>(options.cursor ? options.hot_x : 0);
  entry.bits_or_hot_y = static_cast<uint16_t>(options.cursor ? options.hot_y : bits);
  entry.bytes = bytes;
  entry.offset = sizeof(TIconHeader) + sizeof(TIconDirEntry);
  Append(out, entry);
  TBitmapInfoHeader info{};
  info.size = sizeof(info);
  info.width = w;
  info.height = 2 * h;
  info.planes = 1;
  info.bit_count = static_cast<uint16_t>(bits);
  info.size_image = image_size;
  Append(out, info);
  if (bits <= 8) out.append(reinterpret_cast<const char*>(work.Palette().data()), palette_bytes);

  std::string row(color_row, '\0');
  for (int32_t y = h - 1; y >= 0; --y) {
    if (with32) {
      const uint8_t* src = work.ScanLine(y);
      const uint8_t* a = alpha->ScanLine(y);
      for (int32_t x = 0; x < w; ++x) {
        std::memcpy(&row[4 * size_t(x)], src + 3 * size_t(x), 3);
        row[4 * size_t(x) + 3] = static_cast<char>(a[x]);
      }
    } else {
      std::memcpy(row.data(), work.ScanLine(y), color_row);
    }
    out += row;
  }
  std::string mask_bits(mask_row, '\0');
  for (int32_t y = h - 1; y >= 0; --y) {
    std::fill(mask_bits.begin(), mask_bits.end(), '\0');
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t m = mask[size_t(y) * w + x];
      if (with32 ? m == 0 : m < 128) pixel::Set(reinterpret_cast<uint8_t*>(mask_bits.data()), x, 1, 1);
    }
    out += mask_bits;
  }
  return out;
}

}  // namespace vn
