#include "tests/imaging/ruxa_builder.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "archive/seeded_random.h"

namespace vn::test {

namespace {

void Put(std::string& out, const void* p, size_t n) {
  out.append(static_cast<const char*>(p), n);
}
void Int(std::string& out, int32_t v) {
  Put(out, &v, 4);
}
void Byte(std::string& out, uint8_t v) {
  out.push_back(static_cast<char>(v));
}

// Stored position k -> target position, as the format's shuffler draws them.
std::vector<int32_t> Draws(int32_t seed, int32_t n) {
  std::vector<int32_t> order;
  TSeededRandom random(seed);
  random.Reset(n);
  for (int32_t k = 0; k < n; ++k) order.push_back(random.Draw());
  return order;
}

}  // namespace

std::string Zlib(const std::string& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  if (compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
               static_cast<uLong>(raw.size())) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  out.resize(size);
  return out;
}

std::string RowsRaw(const TDIBSurface& picture, int32_t seed) {
  std::string raw;
  for (int32_t row : Draws(seed, picture.Height())) Put(raw, picture.ScanLine(row), picture.RowSize());
  return raw;
}

std::string BlocksRaw(const TDIBSurface& picture, int32_t bw, int32_t bh, const std::vector<Block>& tiles,
                      int32_t shuffle_seed) {
  const int32_t bits = picture.BitCount();
  const int32_t tiles_x = (picture.Width() + bw - 1) / bw, tiles_y = (picture.Height() + bh - 1) / bh;
  const int32_t n = tiles_x * tiles_y;
  if (static_cast<int32_t>(tiles.size()) != n) throw std::runtime_error("BlocksRaw: wrong tile count");
  std::string table, literals;
  // Entry k of the table belongs to tile order[k].
  for (int32_t tile : Draws(shuffle_seed, n)) {
    Int(table, tiles[tile].tag);
    Int(table, tiles[tile].index);
  }
  for (int32_t t = 0; t < n; ++t) {
    if (tiles[t].tag != -1) continue;
    const int32_t tx = t % tiles_x, ty = t / tiles_x;
    const int32_t w = std::min(bw, picture.Width() - tx * bw), h = std::min(bh, picture.Height() - ty * bh);
    const size_t row_bytes = (static_cast<size_t>(w) * bits + 7) / 8;
    const size_t offset = static_cast<size_t>(tx) * ((static_cast<size_t>(bw) * bits + 7) / 8);
    for (int32_t i = 0; i < h; ++i) Put(literals, picture.ScanLine(ty * bh + i) + offset, row_bytes);
  }
  return table + literals;
}

std::string BuildRuxa(const PictureSpec& spec) {
  std::string out;
  const int32_t version = spec.record_version.value_or(spec.signature < 0 ? 0 : spec.signature);
  if (spec.signature >= 0) {
    char sig[8];
    std::snprintf(sig, sizeof sig, "Ruxa%03d", spec.signature);
    out += std::string(sig, 7);
  }
  const int32_t frame_count = spec.frame_count.value_or(static_cast<int32_t>(spec.frames.size()));
  if (spec.signature >= 103) {
    std::string record;
    Int(record, version);
    record.append(12, '\0');
    Int(record, frame_count);
    Byte(record, 0);
    Byte(record, spec.shuffled);
    Byte(record, spec.compression);
    Byte(record, 0);
    Int(record, static_cast<int32_t>(spec.background));
    Int(record, spec.block_width);
    Int(record, spec.block_height);
    Byte(record, spec.bottom_opaque);
    record.append(3, '\0');
    record.resize(static_cast<size_t>(spec.header_size), '\0');
    Int(out, spec.header_size);
    out += record;
  } else {
    Int(out, frame_count);
    Byte(out, 0);
    if (spec.signature == 102) Int(out, static_cast<int32_t>(spec.background));
  }
  for (const FrameSpec& f : spec.frames) {
    Int(out, static_cast<int32_t>(f.name.size()));
    out += f.name;
    Int(out, f.trans_color);
    Int(out, f.delay);
    Byte(out, f.option);
    Int(out, 0);
    Int(out, static_cast<int32_t>(f.layers.size()));
    Int(out, f.width);
    Int(out, f.height);
    Int(out, f.bits);
    if (f.bits <= 8) {
      std::vector<TPaletteEntry> palette = f.palette;
      palette.resize(size_t{1} << f.bits);
      Put(out, palette.data(), palette.size() * 4);
    }
    for (const LayerSpec& l : f.layers) {
      out.append(8, '\0');
      Byte(out, l.visible);
      Int(out, l.trans_color);
      Int(out, l.opacity);
      if (version >= 101) Byte(out, l.alpha_on);
      Int(out, static_cast<int32_t>(l.name.size()));
      out += l.name;
      Int(out, static_cast<int32_t>(l.colour.size()));
      out += l.colour;
      if (version >= 100) {
        Int(out, l.alpha ? static_cast<int32_t>(l.alpha->size()) : 0);
        if (l.alpha) out += *l.alpha;
      }
    }
    if (version >= 104) {
      Int(out, static_cast<int32_t>(f.extra1.size()));
      Put(out, f.extra1.data(), f.extra1.size() * 16);
      Int(out, static_cast<int32_t>(f.extra2.size()));
      Put(out, f.extra2.data(), f.extra2.size() * 16);
    }
  }
  return out;
}

std::string TinyRunLengthBitmap(int32_t side) {
  std::string file = "BM" + std::string(12, '\0');
  file[10] = 14 + 40 + 4;  // the pixels follow the one palette entry
  std::string info(40, '\0');
  const int32_t one = 1;
  info[0] = 40;
  std::memcpy(&info[4], &side, 4);
  std::memcpy(&info[8], &side, 4);
  info[12] = 1;                     // planes
  info[14] = 8;                     // bits
  info[16] = 1;                     // RLE8
  std::memcpy(&info[32], &one, 4);  // colours used
  return file + info + std::string(4, '\0') + std::string("\0\x01", 2);
}

std::string TinyRunLengthTga(uint16_t side) {
  std::string tga(18, '\0');
  tga[2] = 10;  // run-length true colour
  tga[12] = tga[14] = static_cast<char>(side & 0xFF);
  tga[13] = tga[15] = static_cast<char>(side >> 8);
  tga[16] = 24;
  return tga + std::string("\xFF\x01\x02\x03", 4);
}

void FillPattern(TDIBSurface& picture, uint32_t salt) {
  const int32_t bits = picture.BitCount();
  const uint32_t mask = bits >= 32 ? 0x00FFFFFFu : (1u << bits) - 1;
  for (int32_t y = 0; y < picture.Height(); ++y) {
    for (int32_t x = 0; x < picture.Width(); ++x) {
      const uint32_t v = (uint32_t(x) * 2654435761u) ^ (uint32_t(y) * 40503u) ^ (salt * 97u);
      picture.SetPixels(x, y, (v ^ (v >> 13)) & mask);
    }
  }
}

bool SamePixels(const TDIBSurface& a, const TDIBSurface& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.EffectiveBitCount() != b.EffectiveBitCount()) {
    return false;
  }
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x)
      if (a.Pixels(x, y) != b.Pixels(x, y)) return false;
  return true;
}

}  // namespace vn::test
