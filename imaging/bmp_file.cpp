#include "imaging/bmp_file.h"

#include <algorithm>
#include <string>

#include "imaging/dib_format.h"
#include "imaging/pixel_access.h"
#include "platform/error.h"

namespace vn {

namespace {

// Bounds of a run-length picture by its data: any picture up to the floor, else at most this many
// pixels per byte (a 2-byte run gives 255 of them).
constexpr uint64_t kRunLengthFloorPixels = uint64_t{1} << 22;
constexpr uint64_t kRunLengthPixelsPerByte = 256;

// Colour masks of 16- and 32-bit pictures; alpha 0 = the layout has no alpha.
struct TMasks {
  uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};

uint64_t DibRowBytes(int32_t width, int32_t bits) {
  return ((uint64_t(width) * uint64_t(bits) + 31) / 32) * 4;
}

// One colour mask: where its bits sit and how many there are.
struct TMaskField {
  uint32_t mask = 0;
  int shift = 0;
  int width = 0;

  // The component of a pixel as 8 bits: wider fields keep their top 8 bits, narrower ones repeat
  // their bits (as 5- and 6-bit components widen everywhere else here); an absent one is 0.
  uint8_t Get(uint32_t pixel) const {
    if (width == 0) return 0;
    uint32_t v = (pixel & mask) >> shift;
    if (width >= 8) return static_cast<uint8_t>(v >> (width - 8));
    uint32_t out = 0;
    int have = 0;
    for (; have < 8; have += width) out = (out << width) | v;
    return static_cast<uint8_t>(out >> (have - 8));
  }
};

// A mask must be one run of bits inside the pixel.
TMaskField FieldOf(uint32_t mask, int32_t bits) {
  TMaskField f;
  f.mask = mask;
  if (mask == 0) return f;
  const uint64_t wide = mask;
  while (!((wide >> f.shift) & 1)) ++f.shift;
  while ((wide >> (f.shift + f.width)) & 1) ++f.width;
  if (f.shift + f.width > bits || (wide >> (f.shift + f.width)) != 0) {
    throw EFormatError("colour mask " + std::to_string(mask) + " is not one run of bits inside " +
                       std::to_string(bits) + "-bit pixels");
  }
  return f;
}

// The surface depth of a layout a surface holds as it is; 0 for any other layout, which is
// decoded through its masks into 32 bits with the alpha in the fourth byte.
int32_t NativeBitsFor(int32_t bits, const TMasks& m) {
  if (bits == 16 && m.alpha == 0) {
    if (m.red == 0x7C00 && m.green == 0x03E0 && m.blue == 0x001F) return 15;
    if (m.red == 0xF800 && m.green == 0x07E0 && m.blue == 0x001F) return 16;
  } else if (bits == 32) {
    if (m.red == 0xFF0000 && m.green == 0xFF00 && m.blue == 0xFF && m.alpha == 0xFF000000u) return 32;
  } else if (bits != 16) {
    return bits;
  }
  return 0;
}

// Rewrites rows of 16- or 32-bit pixels of any mask layout as 0xAARRGGBB (alpha 255 without an
// alpha mask), in place: a 32-bit surface that holds the file's rows.
void DecodeMaskedRows(TDIBSurface& target, int32_t file_bits, const TMasks& m) {
  const TMaskField red = FieldOf(m.red, file_bits), green = FieldOf(m.green, file_bits),
                   blue = FieldOf(m.blue, file_bits), alpha = FieldOf(m.alpha, file_bits);
  for (int32_t y = 0; y < target.Height(); ++y) {
    uint8_t* row = target.ScanLine(y);
    // 16-bit pixels fill the first half of the row; going from the right never overwrites one
    // before it is read.
    for (int32_t x = target.Width() - 1; x >= 0; --x) {
      const uint32_t p = pixel::Get(row, x, file_bits);
      const uint32_t a = m.alpha ? alpha.Get(p) : 255u;
      pixel::Set(row, x, 32,
                 (a << 24) | (uint32_t{red.Get(p)} << 16) | (uint32_t{green.Get(p)} << 8) | blue.Get(p));
    }
  }
}

struct TDibHeader {
  int32_t width = 0;
  int32_t height = 0;
  bool top_down = false;
  int32_t bits = 0;
  uint32_t compression = kBiRgb;
  uint64_t colors_used = 0;
  uint32_t header_size = 0;
  bool core = false;
};

// The information header in either of its forms.
TDibHeader ReadDibHeader(std::string_view data, uint64_t offset) {
  uint32_t size = 0;
  if (!ReadStruct(data, offset, size)) throw EFormatError("bitmap header cut short");
  TDibHeader h;
  h.header_size = size;
  if (size == sizeof(TBitmapCoreHeader)) {
    TBitmapCoreHeader core;
    if (!ReadStruct(data, offset, core)) throw EFormatError("bitmap header cut short");
    h.core = true;
    h.width = core.width;
    h.height = core.height;
    h.bits = core.bit_count;
    return h;
  }
  // The later forms (52 .. 124 bytes) begin with the 40-byte one; masks sit at byte 40 in all.
  if (size < sizeof(TBitmapInfoHeader) || size > 1024) {
    throw EFormatError("unknown bitmap header of " + std::to_string(size) + " bytes");
  }
  TBitmapInfoHeader info;
  if (!ReadStruct(data, offset, info) || data.size() - offset < size) {
    throw EFormatError("bitmap header cut short");
  }
  h.width = info.width;
  h.top_down = info.height < 0;
  // INT32_MIN has no positive twin; it is far beyond any accepted size anyway.
  h.height = info.height == INT32_MIN ? INT32_MAX : (info.height < 0 ? -info.height : info.height);
  h.bits = info.bit_count;
  h.compression = info.compression;
  h.colors_used = info.colors_used;
  return h;
}

bool IsRunLength(const TDibHeader& h) {
  return (h.compression == kBiRle8 && h.bits == 8) || (h.compression == kBiRle4 && h.bits == 4);
}

// Run-length coded rows, bottom row first: (count, value) pairs repeat a value (at 4 bits two
// alternating nibbles); a 0 count escapes: 0 end of row, 1 end of picture, 2 a move right and up,
// n >= 3 that many literal pixels padded to a 16-bit boundary. Pixels past a row's end are dropped;
// pixels never written stay index 0. Returns the offset after the end-of-picture mark.
uint64_t DecodeRunLength(std::string_view data, uint64_t offset, int32_t bits, TDIBSurface& target) {
  const int32_t width = target.Width(), height = target.Height();
  for (int32_t y = 0; y < height; ++y)
    std::memset(target.ScanLine(y), 0, static_cast<size_t>(target.RowSize()));
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  uint64_t at = offset;
  int64_t x = 0, row = 0;  // row counts from the bottom
  auto put = [&](uint32_t value) {
    if (x < width && row < height)
      pixel::Set(target.ScanLine(height - 1 - static_cast<int32_t>(row)), static_cast<int32_t>(x), bits,
                 value);
    ++x;
  };
  auto need = [&](uint64_t n) {
    if (at > data.size() || data.size() - at < n) throw EFormatError("bitmap run-length data ends early");
  };
  for (;;) {
    need(2);
    const uint8_t count = p[at], value = p[at + 1];
    at += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count; ++i) put(bits == 8 ? value : (i & 1) ? value & 15 : value >> 4);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      return at;
    } else if (value == 2) {
      need(2);
      x += p[at];
      row += p[at + 1];
      at += 2;
    } else {
      const uint64_t bytes = bits == 8 ? value : (value + 1u) / 2;
      need(bytes);
      for (uint32_t i = 0; i < value; ++i) {
        put(bits == 8 ? p[at + i] : (i & 1) ? p[at + i / 2] & 15 : p[at + i / 2] >> 4);
      }
      at += (bytes + 1) & ~uint64_t{1};
    }
  }
}

}  // namespace

TDibLayout DecodeDib(std::string_view data, uint64_t header, std::optional<uint64_t> pixels_offset,
                     int32_t height_divisor, TDIBSurface& target) {
  const TDibHeader h = ReadDibHeader(data, header);
  if (h.width <= 0 || h.height <= 0) {
    throw EFormatError("bitmap of " + std::to_string(h.width) + " x " + std::to_string(h.height) + " pixels");
  }
  if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32) {
    throw EFormatError("bitmap of " + std::to_string(h.bits) + " bits per pixel");
  }
  uint64_t table = header + h.header_size;
  // Without masks: 5-5-5 at 16 bits; at 32 bits the fourth byte is the alpha.
  TMasks masks =
      h.bits == 16 ? TMasks{0x7C00, 0x03E0, 0x001F, 0} : TMasks{0xFF0000, 0xFF00, 0xFF, 0xFF000000u};
  const bool bitfields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
  if (bitfields && (h.bits == 16 || h.bits == 32)) {
    // Headers of 56 bytes and more hold all four masks (an alpha mask of 0: no alpha), 52-byte ones
    // three; a 40-byte header is followed by three, or four with alpha bit fields.
    const uint32_t count = h.header_size >= 56                         ? 4
                           : h.header_size > sizeof(TBitmapInfoHeader) ? 3
                           : h.compression == kBiAlphaBitfields        ? 4
                                                                       : 3;
    uint32_t stored[4] = {0, 0, 0, 0};
    const uint64_t at = header + sizeof(TBitmapInfoHeader);
    if (at > data.size() || data.size() - at < 4u * count)
      throw EFormatError("bitmap colour masks cut short");
    std::memcpy(stored, data.data() + at, 4u * count);
    masks = {stored[0], stored[1], stored[2], stored[3]};
    // Three masks of the usual 32-bit layout leave the fourth byte its usual meaning.
    if (count == 3 && h.bits == 32 && NativeBitsFor(32, {masks.red, masks.green, masks.blue, 0xFF000000u}))
      masks.alpha = 0xFF000000u;
    if (h.header_size == sizeof(TBitmapInfoHeader)) table += 4u * count;
  } else if (h.compression != kBiRgb && !IsRunLength(h)) {
    throw EFormatError("bitmap compression " + std::to_string(h.compression) + " is not supported");
  }
  const int32_t native_bits = NativeBitsFor(h.bits, masks);
  if (native_bits == 0) {
    for (uint32_t m : {masks.red, masks.green, masks.blue, masks.alpha}) FieldOf(m, h.bits);  // refuse early
  }
  const int32_t surface_bits = native_bits != 0 ? native_bits : 32;

  // Colour table: colours-used entries, or all 2^bits of them at 8 bits or fewer.
  const uint64_t entry_size = h.core ? 3 : 4;
  const uint64_t entries = h.colors_used != 0 ? h.colors_used : (h.bits <= 8 ? uint64_t{1} << h.bits : 0);
  if (entries > data.size() || table > data.size() || (data.size() - table) / entry_size < entries) {
    throw EFormatError("bitmap colour table of " + std::to_string(entries) + " entries runs past the end");
  }
  TPalette palette{};
  if (h.bits <= 8) {
    for (uint64_t i = 0; i < std::min<uint64_t>(entries, uint64_t{1} << h.bits); ++i) {
      std::memcpy(&palette[i], data.data() + table + i * entry_size, entry_size);
      palette[i].reserved = 0;
    }
  }

  const int32_t height = h.height / height_divisor;
  const uint64_t offset = pixels_offset.value_or(table + entries * entry_size);
  const uint64_t row_bytes = DibRowBytes(h.width, h.bits);
  TDIBSurface::CheckSize(h.width, height, surface_bits);
  if (height == 0) throw EFormatError("bitmap of " + std::to_string(h.width) + " x 0 pixels");
  if (IsRunLength(h)) {
    if (h.top_down) throw EFormatError("run-length bitmap stored top row first");
    // Run-length data may leave pixels unwritten, so it need not cover the picture; but a few
    // bytes that claim a huge one are damage, not a picture worth a gigabyte of memory.
    const uint64_t coded = offset < data.size() ? data.size() - offset : 0;
    if (uint64_t(h.width) * uint64_t(height) >
        std::max(kRunLengthFloorPixels, coded * kRunLengthPixelsPerByte)) {
      throw EFormatError("run-length bitmap of " + std::to_string(h.width) + " x " + std::to_string(height) +
                         " pixels with " + std::to_string(coded) + " bytes of data");
    }
    target.SetSize(h.width, height, surface_bits);
    target.Palette() = palette;
    target.UpdatePalette();
    return {h.width, height, h.bits, DecodeRunLength(data, offset, h.bits, target)};
  }
  if (offset > data.size() || (data.size() - offset) / row_bytes < uint64_t(height)) {
    throw EFormatError("bitmap pixels run past the end of the data");
  }
  target.SetSize(h.width, height, surface_bits);
  target.Palette() = palette;
  target.UpdatePalette();
  for (int32_t i = 0; i < height; ++i) {
    const int32_t y = h.top_down ? i : height - 1 - i;
    std::memcpy(target.ScanLine(y), data.data() + offset + row_bytes * uint64_t(i), row_bytes);
  }
  if (native_bits == 0) DecodeMaskedRows(target, h.bits, masks);
  return {h.width, height, h.bits, offset + row_bytes * uint64_t(height)};
}

void SplitAlphaChannel(TDIBSurface& picture) {
  if (picture.BitCount() != 32) return;
  picture.EnsureAlphaPlane();
  TDIBSurface& alpha = *picture.AlphaPlane();
  uint8_t any = 0;
  for (int32_t y = 0; y < picture.Height(); ++y) {
    const uint8_t* row = picture.ScanLine(y);
    uint8_t* a = alpha.ScanLine(y);
    for (int32_t x = 0; x < picture.Width(); ++x) {
      a[x] = row[4 * x + 3];
      any |= a[x];
    }
  }
  // Screen captures and many tools write 32-bit pictures with the fourth byte 0 throughout: such a
  // picture has no alpha, and showing it as fully transparent would show nothing at all.
  if (any == 0) picture.FillAlphaOpaque();
  picture.ConvertBitCount(24);
}

void ReadBmp(std::string_view bytes, TDIBSurface& target, bool keep_alpha) {
  TBitmapFileHeader file;
  if (!ReadStruct(bytes, 0, file)) throw EFormatError("bitmap file header cut short");
  if (file.type[0] != 'B' || file.type[1] != 'M') throw EFormatError("not a bitmap file (no \"BM\")");
  DecodeDib(bytes, sizeof(file), uint64_t{file.bits_offset}, 1, target);
  if (keep_alpha) SplitAlphaChannel(target);
}

std::string EncodeBmp(const TDIBSurface& source, bool with_alpha) {
  if (source.Empty()) throw EFormatError("an empty picture cannot be written");
  const bool alpha = with_alpha && source.AlphaPlane() != nullptr;
  const int32_t bits = alpha ? 32 : source.BitCount();
  const bool bitfields = !alpha && source.EffectiveBitCount() == 16;
  const uint32_t table_bytes = bits <= 8 ? 4u << bits : 0;
  const uint32_t masks_bytes = bitfields ? sizeof(TMasks) : 0;
  const uint64_t row_bytes = DibRowBytes(source.Width(), bits);
  const uint64_t image_bytes = row_bytes * uint64_t(source.Height());
  const uint32_t offset = sizeof(TBitmapFileHeader) + sizeof(TBitmapInfoHeader) + masks_bytes + table_bytes;
  if (offset + image_bytes > UINT32_MAX) throw EFormatError("picture too large for a bitmap file");

  TBitmapFileHeader file{{'B', 'M'}, static_cast<uint32_t>(offset + image_bytes), 0, 0, offset};
  TBitmapInfoHeader info{};
  info.size = sizeof(info);
  info.width = source.Width();
  info.height = source.Height();
  info.planes = 1;
  info.bit_count = static_cast<uint16_t>(bits);
  info.compression = bitfields ? kBiBitfields : kBiRgb;
  info.size_image = static_cast<uint32_t>(image_bytes);
  std::string out;
  out.reserve(offset + image_bytes);
  Append(out, file);
  Append(out, info);
  if (bitfields) Append(out, TMasks{0xF800, 0x07E0, 0x001F});
  if (bits <= 8) out.append(reinterpret_cast<const char*>(source.Palette().data()), table_bytes);
  std::string row(row_bytes, '\0');
  for (int32_t y = source.Height() - 1; y >= 0; --y) {
    const uint8_t* src = source.ScanLine(y);
    if (alpha) {
      const uint8_t* a = source.AlphaPlane()->ScanLine(y);
      for (int32_t x = 0; x < source.Width(); ++x) {
        const uint32_t c = source.PixelToColor(pixel::Get(src, x, source.BitCount()));
        const uint32_t argb = (uint32_t{a[x]} << 24) | (uint32_t{ColorRed(c)} << 16) |
                              (uint32_t{ColorGreen(c)} << 8) | ColorBlue(c);
        std::memcpy(&row[4 * static_cast<size_t>(x)], &argb, 4);
      }
    } else {
      std::memcpy(row.data(), src, row_bytes);
      // A fourth byte means alpha to every reader; this picture has none.
      if (bits == 32)
        for (int32_t x = 0; x < source.Width(); ++x) row[4 * static_cast<size_t>(x) + 3] = '\xFF';
    }
    out += row;
  }
  return out;
}

}  // namespace vn
