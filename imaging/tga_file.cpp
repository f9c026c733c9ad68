#include "imaging/tga_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/bmp_file.h"
#include "imaging/dib_format.h"
#include "imaging/pixel_access.h"
#include "platform/error.h"

namespace vn {

namespace {

#pragma pack(push, 1)
struct TTgaHeader {
  uint8_t id_length;
  uint8_t color_map_type;
  uint8_t image_type;
  uint16_t color_map_first;
  uint16_t color_map_length;
  uint8_t color_map_entry_size;
  uint16_t x_origin;
  uint16_t y_origin;
  uint16_t width;
  uint16_t height;
  uint8_t bits_per_pixel;
  uint8_t descriptor;
};
static_assert(sizeof(TTgaHeader) == 18);

struct TTgaFooter {
  int32_t extension_offset;
  int32_t developer_offset;
  char signature[18];  // "TRUEVISION-XFILE", ".", 0
};
static_assert(sizeof(TTgaFooter) == 26);
#pragma pack(pop)

constexpr char kSignature[] = "TRUEVISION-XFILE";
constexpr uint32_t kExtensionSize = 495;
constexpr uint32_t kExtensionKeyColor = 470;  // alpha, red, green, blue
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopFirst = 0x20;

struct TTgaFooterInfo {
  uint64_t pixels_end = 0;
  int64_t extension = -1;  // offset of the extension area, -1 none
};

// Finds the version 2.0 footer: back from the end over 0 bytes to a ".", preceded by the
// signature and the two offsets.
TTgaFooterInfo ReadFooter(std::string_view data) {
  TTgaFooterInfo info{data.size(), -1};
  size_t end = data.size();
  while (end > 0 && data[end - 1] == '\0') --end;
  if (end == 0 || data[end - 1] != '.') return info;
  const size_t dot = end - 1;
  if (dot < 24 || data.compare(dot - 16, 16, kSignature) != 0) return info;
  int32_t extension = 0, developer = 0;
  std::memcpy(&extension, data.data() + dot - 24, 4);
  std::memcpy(&developer, data.data() + dot - 20, 4);
  const int32_t end_offset = developer > 0 ? developer : extension;
  if (end_offset > 0) {
    if (uint64_t(end_offset) > dot - 24) throw EFormatError("TGA footer points past the end of the file");
    info.pixels_end = uint64_t(end_offset);
  }
  if (extension > 0) {
    if (uint64_t(extension) + kExtensionSize > dot - 24) {
      throw EFormatError("TGA extension area runs past the end of the file");
    }
    info.extension = extension;
  }
  return info;
}

// 5-5-5 to 5-6-5: red and green move up one bit and the new lowest green bit repeats the file's
// lowest green bit, in plain and run-length encoded pictures alike (one picture, one colour
// whichever way it was stored); the top bit of the file's pixel is dropped.
uint16_t Widen555(uint32_t p) {
  return static_cast<uint16_t>(((p & 0x7FE0) << 1) | (p & 0x1F) | (p & 0x20));
}

// How the pixels of a file become pixels of the surface.
enum class TTgaPixelKind {
  kAsStored,   // 8, 24 and 32 bits: the same bytes
  kRgb555,     // 16-bit true colour: 5-5-5 widened to 5-6-5
  kGreyAlpha,  // 16-bit grey: a grey byte, then an alpha byte; 32 bits with the alpha in the fourth
};

struct TTgaPixelFormat {
  uint32_t file_bytes = 0;
  int32_t surface_bits = 0;
  TTgaPixelKind kind = TTgaPixelKind::kAsStored;

  uint32_t SurfacePixel(const uint8_t* p) const {
    if (kind == TTgaPixelKind::kRgb555) return Widen555(uint32_t{p[0]} | (uint32_t{p[1]} << 8));
    return (uint32_t{p[1]} << 24) | (uint32_t{p[0]} * 0x010101u);
  }
  void Put(uint8_t* row, int32_t x, const uint8_t* p) const {
    if (kind == TTgaPixelKind::kAsStored) {
      std::memcpy(row + uint64_t(x) * file_bytes, p, file_bytes);
    } else {
      pixel::Set(row, x, surface_bits, SurfacePixel(p));
    }
  }
};

// Colour map entries from the first index below 256 into the palette.
void ReadColorMap(std::string_view data, uint64_t offset, const TTgaHeader& h, TPalette& palette) {
  const uint32_t entry_bytes = (h.color_map_entry_size + 7u) / 8u;
  for (uint32_t i = 0; i < h.color_map_length && h.color_map_first + i < 256; ++i) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data() + offset + uint64_t(i) * entry_bytes);
    TPaletteEntry& e = palette[h.color_map_first + i];
    if (entry_bytes == 2) {
      // Each 5-bit component becomes the top five bits, its own top bits repeated below, as 5-bit
      // components widen everywhere else (so the map shows what the same colour as a pixel shows).
      const uint32_t v = uint32_t{p[0]} | (uint32_t{p[1]} << 8);
      e = {pixel::Widen5(v & 31), pixel::Widen5((v >> 5) & 31), pixel::Widen5((v >> 10) & 31), 0};
    } else {
      e = {p[0], p[1], p[2], 0};
    }
  }
}

void ReadPlainPixels(std::string_view data, uint64_t offset, const TTgaPixelFormat& format,
                     TDIBSurface& target) {
  const uint64_t row_bytes = uint64_t(target.Width()) * format.file_bytes;
  if (offset > data.size() || (data.size() - offset) / row_bytes < uint64_t(target.Height())) {
    throw EFormatError("TGA pixels run past the end of the file");
  }
  for (int32_t y = 0; y < target.Height(); ++y) {
    uint8_t* row = target.ScanLine(y);
    const auto* src = reinterpret_cast<const uint8_t*>(data.data() + offset + row_bytes * uint64_t(y));
    if (format.kind == TTgaPixelKind::kAsStored) {
      std::memcpy(row, src, row_bytes);
    } else {
      for (int32_t x = 0; x < target.Width(); ++x) format.Put(row, x, src + uint64_t(x) * format.file_bytes);
    }
  }
}

uint64_t RlePacketsNeeded(uint32_t width, uint32_t height) {
  return (uint64_t(width) * height + 127) / 128;
}

// How many of the shortest packets (a repeated pixel) fit between start and end.
uint64_t RlePacketsIn(uint64_t start, uint64_t end, uint32_t pixel_bytes) {
  return start < end ? (end - start) / (1 + pixel_bytes) : 0;
}

// Packets until every pixel is there: h >= 128 repeats one pixel h - 127 times, h < 128 is
// followed by h + 1 literal pixels; a packet reaching past the picture is cut.
void ReadRlePixels(std::string_view data, uint64_t offset, uint64_t end, const TTgaPixelFormat& format,
                   TDIBSurface& target) {
  if (offset > end) throw EFormatError("TGA pixel data ends before it starts");
  const uint32_t pixel_bytes = format.file_bytes;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data() + offset);
  const uint8_t* const stop = reinterpret_cast<const uint8_t*>(data.data() + end);
  const int32_t width = target.Width();
  const uint64_t total = uint64_t(width) * uint64_t(target.Height());
  uint64_t done = 0;
  uint8_t* row = nullptr;
  while (done < total) {
    if (p == stop) throw EFormatError("TGA run-length data ends before the picture is complete");
    const uint8_t header = *p++;
    const bool repeat = header >= 128;
    const uint64_t count = std::min<uint64_t>(repeat ? header - 127u : header + 1u, total - done);
    const uint64_t needed = repeat ? pixel_bytes : count * pixel_bytes;
    if (uint64_t(stop - p) < needed) throw EFormatError("TGA run-length packet cut short");
    for (uint64_t i = 0; i < count; ++i, ++done) {
      const int32_t x = static_cast<int32_t>(done % uint64_t(width));
      if (x == 0) row = target.ScanLine(static_cast<int32_t>(done / uint64_t(width)));
      format.Put(row, x, repeat ? p : p + i * pixel_bytes);
    }
    p += needed;
  }
}

// Run lengths of the pixel sequence: a run grows while the pixel repeats, up to 128.
class TPxList {
 public:
  void Add(uint32_t px) {
    if (!lengths_.empty() && !full_ && px == value_) {
      full_ = ++lengths_.back() == 128;
    } else {
      lengths_.push_back(1);
      value_ = px;
      full_ = false;
    }
  }
  bool AtEnd() const { return position_ == lengths_.size(); }
  uint8_t Peek() const { return lengths_[position_]; }
  uint8_t Next() { return lengths_[position_++]; }

 private:
  std::vector<uint8_t> lengths_;
  uint32_t value_ = 0;
  bool full_ = false;
  size_t position_ = 0;
};

// Reads pixels of a fixed byte size from a buffer.
class TPickPx {
 public:
  TPickPx(const uint8_t* start, uint32_t bytes) : current_(start), bytes_(bytes) {}
  uint32_t Next() {
    uint32_t v = 0;
    std::memcpy(&v, current_, bytes_);
    current_ += bytes_;
    return v;
  }
  const uint8_t* Current() const { return current_; }
  void Skip(uint64_t n) { current_ += n * bytes_; }

 private:
  const uint8_t* current_;
  uint32_t bytes_;
};

std::string EncodeRle(const std::string& raw, uint32_t pixel_bytes) {
  const auto* start = reinterpret_cast<const uint8_t*>(raw.data());
  const uint64_t count = raw.size() / pixel_bytes;
  TPxList runs;
  TPickPx pick(start, pixel_bytes);
  for (uint64_t i = 0; i < count; ++i) runs.Add(pick.Next());
  std::string out;
  TPickPx source(start, pixel_bytes);
  while (!runs.AtEnd()) {
    if (runs.Peek() >= 2) {
      const uint8_t length = runs.Next();
      out += static_cast<char>(127 + length);
      out.append(reinterpret_cast<const char*>(source.Current()), pixel_bytes);
      source.Skip(length);
      continue;
    }
    // Single pixels go out together, up to 128 in one literal packet.
    uint32_t literal = 0;
    while (!runs.AtEnd() && runs.Peek() == 1 && literal < 128) {
      runs.Next();
      ++literal;
    }
    out += static_cast<char>(literal - 1);
    out.append(reinterpret_cast<const char*>(source.Current()), size_t{literal} * pixel_bytes);
    source.Skip(literal);
  }
  return out;
}

}  // namespace

int32_t ReadTga(std::string_view data, TDIBSurface& target, bool keep_alpha) {
  target.Clear();
  TTgaHeader h;
  if (!ReadStruct(data, 0, h)) throw EFormatError("TGA header cut short");
  const uint8_t type = h.image_type & 7;
  const bool rle = h.image_type & 8;
  if (type < 1 || type > 3 || (h.image_type & ~0x0Bu) != 0) return -1;

  const TTgaFooterInfo footer = ReadFooter(data);
  // 15 bits per pixel are the 16-bit layout without its attribute bit: read alike.
  const int32_t bits = h.bits_per_pixel == 15 ? 16 : h.bits_per_pixel;
  const bool grey_alpha = type == 3 && bits == 16;
  if ((type == 1 && bits != 8) || (type == 3 && bits != 8 && !grey_alpha) ||
      (type == 2 && bits != 16 && bits != 24 && bits != 32)) {
    throw EFormatError("TGA image type " + std::to_string(h.image_type) + " with " +
                       std::to_string(h.bits_per_pixel) + " bits per pixel is not supported");
  }
  TTgaPixelFormat format;
  format.file_bytes = static_cast<uint32_t>(bits) / 8;
  format.surface_bits = grey_alpha ? 32 : bits;
  format.kind = grey_alpha   ? TTgaPixelKind::kGreyAlpha
                : bits == 16 ? TTgaPixelKind::kRgb555
                             : TTgaPixelKind::kAsStored;
  const uint32_t pixel_bytes = format.file_bytes;

  uint64_t offset = sizeof(TTgaHeader) + h.id_length;
  if (offset > data.size()) throw EFormatError("TGA identification field runs past the end of the file");
  uint64_t map_bytes = 0;
  const bool has_map = h.color_map_type != 0 && h.color_map_length != 0 && h.color_map_entry_size != 0;
  if (has_map) {
    const uint32_t entry = h.color_map_entry_size;
    if (entry != 15 && entry != 16 && entry != 24 && entry != 32) {
      throw EFormatError("TGA colour map entries of " + std::to_string(entry) + " bits");
    }
    map_bytes = uint64_t(h.color_map_length) * ((entry + 7) / 8);
    if (offset + map_bytes > data.size()) throw EFormatError("TGA colour map runs past the end of the file");
  }

  if (type == 1 && !has_map) throw EFormatError("colour-mapped TGA picture without a colour map");
  TDIBSurface::CheckSize(h.width, h.height, format.surface_bits);
  if (h.width == 0 || h.height == 0) return -1;
  // Plain pixels must be in the file before the picture is allocated.
  if (!rle && (data.size() - offset - map_bytes) / (uint64_t(h.width) * pixel_bytes) < h.height) {
    throw EFormatError("TGA pixels run past the end of the file");
  }
  // Run-length data must cover every pixel too: at best 128 of them per packet.
  if (rle && RlePacketsNeeded(h.width, h.height) >
                 RlePacketsIn(offset + map_bytes, footer.pixels_end, pixel_bytes)) {
    throw EFormatError("TGA run-length data is too short for a picture of " + std::to_string(h.width) +
                       " x " + std::to_string(h.height) + " pixels");
  }
  target.SetSize(h.width, h.height, format.surface_bits);
  TPalette palette{};
  if (type == 3) {
    // Grey pictures usually come without a map: their values are grey levels.
    for (int i = 0; i < 256; ++i) {
      palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
    }
  }
  if (has_map) ReadColorMap(data, offset, h, palette);
  target.Palette() = palette;
  target.UpdatePalette();
  offset += map_bytes;

  if (rle) {
    ReadRlePixels(data, offset, footer.pixels_end, format, target);
  } else {
    ReadPlainPixels(data, offset, format, target);
  }
  if (h.descriptor & kRightToLeft) target.Mirror();
  if (!(h.descriptor & kTopFirst)) target.Flip();

  int32_t transparent = -1;
  if (footer.extension >= 0) {
    const auto* ext = reinterpret_cast<const uint8_t*>(data.data() + footer.extension);
    if ((ext[0] | (ext[1] << 8)) == static_cast<int>(kExtensionSize)) {
      const uint8_t* key = ext + kExtensionKeyColor;
      transparent = static_cast<int32_t>(target.ColorToPixel(key[1], key[2], key[3]));
    }
  }
  if (keep_alpha) SplitAlphaChannel(target);
  return transparent;
}

std::string EncodeTga(const TDIBSurface& source, const TTgaSaveOptions& options) {
  if (source.Empty()) throw EFormatError("an empty picture cannot be written");
  TDIBSurface work;
  work.AssignWithAlpha(source);
  if (work.BitCount() <= 4) work.ConvertBitCount(8);
  const bool alpha = options.with_alpha && source.AlphaPlane() != nullptr;
  const int32_t bits = alpha ? 32 : work.BitCount();
  const uint32_t pixel_bytes = static_cast<uint32_t>(bits) / 8;
  const bool mapped = bits <= 8;

  TTgaHeader h{};
  h.color_map_type = mapped ? 1 : 0;
  h.image_type = static_cast<uint8_t>((mapped ? 1 : 2) + (options.rle ? 8 : 0));
  h.color_map_length = mapped ? 256 : 0;
  h.color_map_entry_size = mapped ? 24 : 0;
  h.width = static_cast<uint16_t>(work.Width());
  h.height = static_cast<uint16_t>(work.Height());
  h.bits_per_pixel = static_cast<uint8_t>(bits);
  h.descriptor = kTopFirst;
  std::string out;
  Append(out, h);
  if (mapped) {
    for (const TPaletteEntry& e : work.Palette()) {
      out += static_cast<char>(e.blue);
      out += static_cast<char>(e.green);
      out += static_cast<char>(e.red);
    }
  }

  // The pixels from the top row down, without padding.
  std::string raw(uint64_t(work.Width()) * work.Height() * pixel_bytes, '\0');
  char* p = raw.data();
  const bool is565 = work.EffectiveBitCount() == 16;
  for (int32_t y = 0; y < work.Height(); ++y) {
    const uint8_t* row = work.ScanLine(y);
    const uint8_t* a = alpha ? work.AlphaPlane()->ScanLine(y) : nullptr;
    for (int32_t x = 0; x < work.Width(); ++x, p += pixel_bytes) {
      uint32_t v = pixel::Get(row, x, work.BitCount());
      if (alpha) {
        const uint32_t c = work.PixelToColor(v);
        v = (uint32_t{a[x]} << 24) | (uint32_t{ColorRed(c)} << 16) | (uint32_t{ColorGreen(c)} << 8) |
            ColorBlue(c);
      } else if (bits == 16) {
        v = is565 ? ((v >> 1) & 0x7FE0) | (v & 0x1F) : v & 0x7FFF;
      } else if (bits == 32) {
        v |= 0xFF000000u;  // a fourth byte means alpha to every reader; this picture has none
      }
      std::memcpy(p, &v, pixel_bytes);
    }
  }
  out += options.rle ? EncodeRle(raw, pixel_bytes) : raw;

  TTgaFooter footer{0, 0, {}};
  std::memcpy(footer.signature, "TRUEVISION-XFILE.", 18);
  if (options.transparent >= 0) {
    footer.extension_offset = static_cast<int32_t>(out.size());
    std::string ext(kExtensionSize, '\0');
    ext[0] = static_cast<char>(kExtensionSize & 0xFF);
    ext[1] = static_cast<char>(kExtensionSize >> 8);
    const uint32_t c = source.PixelToColor(static_cast<uint32_t>(options.transparent));
    ext[kExtensionKeyColor + 1] = static_cast<char>(ColorRed(c));
    ext[kExtensionKeyColor + 2] = static_cast<char>(ColorGreen(c));
    ext[kExtensionKeyColor + 3] = static_cast<char>(ColorBlue(c));
    out += ext;
  }
  Append(out, footer);
  return out;
}

}  // namespace vn
