// TGA, bitmap, icon and cursor files: hand-built files of each variant decode to the expected
// pixels, writers produce the exact bytes, round trips keep pictures, and damaged files are refused.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>

#include "imaging/bmp_file.h"
#include "imaging/icon_file.h"
#include "imaging/picture_file.h"
#include "imaging/png_io.h"
#include "imaging/tga_file.h"
#include "platform/error.h"
#include "tests/imaging/ruxa_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

// Little-endian bytes, appended field by field as each format lays them out.
struct Bytes {
  std::string s;
  Bytes& u8(uint32_t v) {
    s += static_cast<char>(v);
    return *this;
  }
  Bytes& u16(uint32_t v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& raw(std::string_view v) {
    s += v;
    return *this;
  }
  Bytes& zeros(size_t n) {
    s.append(n, '\0');
    return *this;
  }
  Bytes& bgr(uint32_t rgb) { return u8(rgb & 0xFF).u8((rgb >> 8) & 0xFF).u8(rgb >> 16); }
};

Bytes TgaHeader(uint8_t id, uint8_t map_type, uint8_t type, uint16_t map_first, uint16_t map_len,
                uint8_t map_bits, uint16_t w, uint16_t h, uint8_t bits, uint8_t descriptor) {
  return Bytes()
      .u8(id)
      .u8(map_type)
      .u8(type)
      .u16(map_first)
      .u16(map_len)
      .u8(map_bits)
      .u32(0)
      .u16(w)
      .u16(h)
      .u8(bits)
      .u8(descriptor);
}

std::string TgaFooter(uint32_t extension, uint32_t developer) {
  return Bytes().u32(extension).u32(developer).raw("TRUEVISION-XFILE.").u8(0).s;
}

// Every prefix of a complete file is refused with a format error (and, under ASan, read safely).
void ExpectEveryTruncationRefused(const std::string& file,
                                  const std::function<void(std::string_view)>& read) {
  for (size_t n = 0; n < file.size(); ++n) {
    SCOPED_TRACE(n);
    const std::string cut = file.substr(0, n);  // an exact-size buffer, so ASan sees any overread
    EXPECT_THROW(read(cut), EFormatError);
  }
}

// Each reader on a buffer of its own, keeping alpha (so every path of the readers runs).
void ReadTgaBytes(std::string_view d) {
  TDIBSurface t;
  ReadTga(d, t, true);
}
void ReadBmpBytes(std::string_view d) {
  TDIBSurface t;
  ReadBmp(d, t, true);
}
void ReadIconBytes(std::string_view d) {
  TDIBSurface t;
  ReadIcon(d, t, {true, 0, nullptr});
}

// A 24-bit 2 x 2 TGA; file rows are (0x112233, 0x445566) then (0x778899, 0xAABBCC).
std::string Tga24(uint8_t descriptor) {
  return TgaHeader(3, 0, 2, 0, 0, 0, 2, 2, 24, descriptor)
      .raw("abc")
      .bgr(0x112233)
      .bgr(0x445566)
      .bgr(0x778899)
      .bgr(0xAABBCC)
      .s;
}

TEST(TgaRead, PlainTrueColourInEveryOrientation) {
  TDIBSurface s;
  struct Case {
    uint8_t descriptor;
    uint32_t top_left, bottom_right;
  } cases[] = {{0x00, 0x778899, 0x445566},
               {0x20, 0x112233, 0xAABBCC},
               {0x30, 0x445566, 0x778899},
               {0x10, 0xAABBCC, 0x112233}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.descriptor);
    EXPECT_EQ(ReadTga(Tga24(c.descriptor), s, false), -1);
    ASSERT_EQ(s.BitCount(), 24);
    EXPECT_EQ(s.Pixels(0, 0), c.top_left);
    EXPECT_EQ(s.Pixels(1, 1), c.bottom_right);
  }
  ExpectEveryTruncationRefused(Tga24(0), ReadTgaBytes);
}

TEST(TgaRead, ColourMapGreyAndTheTransparentColour) {
  // Map entries 1 and 2 as 5-5-5 words; an extension area names pure red as transparent.
  Bytes f = TgaHeader(0, 1, 1, 1, 2, 16, 2, 1, 8, 0x20).u16(0x7C00).u16(0x0021).u8(1).u8(2);
  const uint32_t ext = static_cast<uint32_t>(f.s.size());
  f.u16(495).zeros(468).u8(0).u8(255).u8(0).u8(0).zeros(495 - 474);
  f.raw(TgaFooter(ext, 0));
  TDIBSurface s;
  EXPECT_EQ(ReadTga(f.s, s, false), 1);
  ASSERT_EQ(s.BitCount(), 8);
  EXPECT_EQ(s.Pixels(1, 0), 2u);
  EXPECT_EQ(s.Palette()[1], (TPaletteEntry{0, 0, 255, 0}));
  EXPECT_EQ(s.Palette()[2], (TPaletteEntry{8, 8, 0, 0}));  // 5 bits widened as everywhere: 1 -> 8

  // A grey picture without a map shows its values as grey levels.
  ReadTga(TgaHeader(0, 0, 3, 0, 0, 0, 2, 1, 8, 0x20).u8(0).u8(0x80).s, s, false);
  EXPECT_EQ(s.PixelToColor(s.Pixels(1, 0)), RGBColor(0x80, 0x80, 0x80));

  // Types without pixels we read leave the surface empty, without an error.
  EXPECT_EQ(ReadTga(TgaHeader(0, 0, 32, 0, 0, 0, 2, 1, 8, 0).u16(0).s, s, false), -1);
  EXPECT_TRUE(s.Empty());
}

TEST(TgaRead, SixteenBitPixelsWidenAlikePlainOrRunLength) {
  // 1 x 1 pixel: attribute bit, red 1, green 1, blue 3; then white. 15 bits per pixel read alike.
  TDIBSurface s;
  for (uint8_t bits : {16, 15}) {
    for (bool rle : {false, true}) {
      for (auto [stored, want] : {std::pair{0x8423u, 0x0863u}, std::pair{0x7FFFu, 0xFFFFu}}) {
        SCOPED_TRACE(testing::Message() << int{bits} << (rle ? " rle " : " ") << stored);
        Bytes f = TgaHeader(0, 0, rle ? 10 : 2, 0, 0, 0, 1, 1, bits, 0x20);
        if (rle) f.u8(0x80);
        ReadTga(f.u16(stored).s, s, false);
        EXPECT_EQ(s.EffectiveBitCount(), 16);
        EXPECT_EQ(s.Pixels(0, 0), want);  // the new low green bit repeats the file's
      }
    }
  }
  EXPECT_EQ(s.PixelToColor(s.Pixels(0, 0)), 0xFFFFFFu);  // white stays white
}

// 2 x 1 grey with alpha (grey, then alpha), plain and run-length encoded.
std::string TgaGreyAlpha(bool rle) {
  Bytes f = TgaHeader(0, 0, rle ? 11 : 3, 0, 0, 0, 2, 1, 16, 0x28);
  return rle ? f.u8(0x00).u8(0x40).u8(0x80).u8(0x00).u8(0xFF).u8(0x00).s
             : f.u8(0x40).u8(0x80).u8(0xFF).u8(0x00).s;
}

TEST(TgaRead, GreyWithAlpha) {
  for (bool rle : {false, true}) {
    SCOPED_TRACE(rle);
    TDIBSurface s;
    ReadTga(TgaGreyAlpha(rle), s, true);
    ASSERT_EQ(s.BitCount(), 24);
    ASSERT_NE(s.AlphaPlane(), nullptr);
    EXPECT_EQ(s.Pixels(0, 0), 0x404040u);
    EXPECT_EQ(s.Pixels(1, 0), 0xFFFFFFu);
    EXPECT_EQ(s.AlphaPlane()->Pixels(0, 0), 0x80u);
    EXPECT_EQ(s.AlphaPlane()->Pixels(1, 0), 0u);
    ReadTga(TgaGreyAlpha(rle), s, false);
    EXPECT_EQ(s.Pixels(0, 0), 0x80404040u);  // 32 bits, the alpha in the fourth byte
    ExpectEveryTruncationRefused(TgaGreyAlpha(rle), ReadTgaBytes);
  }
}

// 3 x 2, 32 bits: a run of 2, two literals, and a run of 4 cut to the 2 pixels still missing.
std::string TgaRle32() {
  return TgaHeader(0, 0, 10, 0, 0, 0, 3, 2, 32, 0x20)
      .u8(0x81)
      .u32(0x80112233)
      .u8(0x01)
      .u32(0xFF000001)
      .u32(0xFF000002)
      .u8(0x83)
      .u32(0x00000003)
      .s;
}

TEST(TgaRead, RunLengthPacketsAndAlpha) {
  TDIBSurface s;
  ReadTga(TgaRle32(), s, true);
  ASSERT_EQ(s.BitCount(), 24);
  const uint32_t expect[2][3] = {{0x112233, 0x112233, 1}, {2, 3, 3}};
  const uint8_t alpha[2][3] = {{0x80, 0x80, 0xFF}, {0xFF, 0, 0}};
  ASSERT_NE(s.AlphaPlane(), nullptr);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(s.Pixels(x, y), expect[y][x]);
      EXPECT_EQ(s.AlphaPlane()->Pixels(x, y), alpha[y][x]);
    }
  ReadTga(TgaRle32(), s, false);
  EXPECT_EQ(s.BitCount(), 32);
  EXPECT_EQ(s.AlphaPlane(), nullptr);
  ExpectEveryTruncationRefused(TgaRle32(), ReadTgaBytes);
}

TEST(TgaRead, HostileSizesAndOffsetsAreRefused) {
  TDIBSurface s;
  // Huge pictures from a few bytes: refused before anything is allocated.
  EXPECT_THROW(ReadTga(TgaHeader(0, 0, 10, 0, 0, 0, 65535, 65535, 32, 0).u8(0xFF).u32(0).s, s, false),
               EFormatError);
  EXPECT_THROW(ReadTga(TgaHeader(0, 0, 2, 0, 0, 0, 4000, 4000, 24, 0).u8(0).s, s, false), EFormatError);
  // A colour map longer than the file, footers pointing outside it.
  EXPECT_THROW(ReadTga(TgaHeader(0, 1, 1, 0, 60000, 32, 1, 1, 8, 0).u8(0).s, s, false), EFormatError);
  EXPECT_THROW(ReadTga(TgaHeader(0, 0, 1, 0, 0, 0, 1, 1, 8, 0).u8(0).s, s, false), EFormatError);  // no map
  const std::string body = TgaHeader(0, 0, 11, 0, 0, 0, 1, 1, 8, 0).u8(0x80).u8(7).s;
  EXPECT_THROW(ReadTga(body + TgaFooter(0x7FFFFFF0, 0), s, false), EFormatError);
  EXPECT_THROW(ReadTga(body + TgaFooter(0, 5), s, false), EFormatError);  // pixel data ends before it starts
  ReadTga(body + TgaFooter(0, static_cast<uint32_t>(body.size())), s, false);
  EXPECT_EQ(s.Pixels(0, 0), 7u);
}

TEST(TgaWrite, HeaderPixelsExtensionAndFooterBytes) {
  TDIBSurface s;
  s.SetSize(2, 1, 24);
  s.SetPixels(0, 0, 0x010203);
  s.SetPixels(1, 0, 0x040506);
  Bytes want = TgaHeader(0, 0, 2, 0, 0, 0, 2, 1, 24, 0x20).bgr(0x010203).bgr(0x040506);
  want.u16(495).zeros(468).u8(0).u8(4).u8(5).u8(6).zeros(495 - 474).raw(TgaFooter(24, 0));
  EXPECT_EQ(EncodeTga(s, {false, false, 0x040506}), want.s);

  // 5-6-5 goes out as 5-5-5; no transparent colour: a footer without extension area.
  s.SetSize(2, 1, 16);
  s.SetPixels(0, 0, 0xFFFF);
  s.SetPixels(1, 0, 0x0861);
  EXPECT_EQ(EncodeTga(s, {}),
            TgaHeader(0, 0, 2, 0, 0, 0, 2, 1, 16, 0x20).u16(0x7FFF).u16(0x0421).s + TgaFooter(0, 0));
}

TEST(TgaWrite, RunLengthPackets) {
  auto pixels_of = [](std::initializer_list<uint32_t> values, size_t repeat) {
    TDIBSurface s;
    s.SetSize(static_cast<int32_t>(values.size() * repeat), 1, 8);
    int32_t x = 0;
    for (size_t r = 0; r < repeat; ++r)
      for (uint32_t v : values) s.SetPixels(x++, 0, v);
    const std::string file = EncodeTga(s, {true, false, -1});
    EXPECT_EQ(file[2], 9);  // colour-mapped, run-length encoded
    return file.substr(18 + 768, file.size() - 18 - 768 - 26);
  };
  EXPECT_EQ(pixels_of({5, 5, 5, 1, 2, 3, 3}, 1),
            Bytes().u8(0x82).u8(5).u8(0x01).u8(1).u8(2).u8(0x81).u8(3).s);
  EXPECT_EQ(pixels_of({9}, 130), Bytes().u8(0xFF).u8(9).u8(0x81).u8(9).s);  // runs stop at 128
  std::string literals = Bytes().u8(0x7F).s;
  for (int i = 0; i < 128; ++i) literals += static_cast<char>(i & 1);
  EXPECT_EQ(pixels_of({0, 1}, 65), literals + Bytes().u8(0x01).u8(0).u8(1).s);  // at most 128 literals
}

TEST(TgaWrite, RoundTripsAtEveryDepth) {
  for (int32_t bits : {1, 4, 8, 24, 32}) {
    for (bool rle : {false, true}) {
      SCOPED_TRACE(testing::Message() << bits << (rle ? " rle" : ""));
      TDIBSurface s, back;
      s.SetSize(37, 5, bits);
      test::FillPattern(s, 3);
      s.FillRect({0, 1, 20, 3}, 1);  // runs, some across rows
      for (int i = 0; i < 256; ++i) s.Palette()[i] = {uint8_t(i), uint8_t(i * 3), uint8_t(255 - i), 0};
      ReadTga(EncodeTga(s, {rle, false, -1}), back, false);
      for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 37; ++x)
          ASSERT_EQ(back.PixelToColor(back.Pixels(x, y)), s.PixelToColor(s.Pixels(x, y)));
    }
  }
  TDIBSurface s, back;
  s.SetSize(3, 2, 24);
  test::FillPattern(s, 1);
  s.EnsureAlphaPlane();
  test::FillPattern(*s.AlphaPlane(), 2);
  ReadTga(EncodeTga(s, {true, true, -1}), back, true);
  EXPECT_TRUE(test::SamePixels(s, back));
  ASSERT_NE(back.AlphaPlane(), nullptr);
  EXPECT_TRUE(test::SamePixels(*s.AlphaPlane(), *back.AlphaPlane()));
}

// A bitmap file: the file header, a 40-byte information header, then what follows.
Bytes BmpHeaders(int32_t w, int32_t h, uint16_t bits, uint32_t compression, uint32_t colors,
                 uint32_t offset) {
  return Bytes()
      .raw("BM")
      .u32(0)
      .u32(0)
      .u32(offset)
      .u32(40)
      .u32(static_cast<uint32_t>(w))
      .u32(static_cast<uint32_t>(h))
      .u16(1)
      .u16(bits)
      .u32(compression)
      .zeros(12)
      .u32(colors)
      .u32(0);
}

std::string Bmp24() {  // 3 x 2, rows padded from 9 to 12 bytes, bottom row first
  return BmpHeaders(3, 2, 24, 0, 0, 54).bgr(1).bgr(2).bgr(3).zeros(3).bgr(4).bgr(5).bgr(6).zeros(3).s;
}

TEST(BmpRead, EveryDepthAndHeaderForm) {
  TDIBSurface s;
  ReadBmp(Bmp24(), s, false);
  EXPECT_EQ(s.Pixels(0, 0), 4u);
  EXPECT_EQ(s.Pixels(2, 1), 3u);
  ExpectEveryTruncationRefused(Bmp24(), ReadBmpBytes);

  // 4 bits with a two-entry colour table.
  ReadBmp(BmpHeaders(3, 1, 4, 0, 2, 62).u32(0x00010203).u32(0x00A0B0C0).u8(0x10).u8(0x10).zeros(2).s, s,
          false);
  EXPECT_EQ(s.Pixels(0, 0), 1u);
  EXPECT_EQ(s.Pixels(1, 0), 0u);
  EXPECT_EQ(s.Pixels(2, 0), 1u);
  EXPECT_EQ(s.Palette()[1], (TPaletteEntry{0xC0, 0xB0, 0xA0, 0}));
  // 8 bits top row first (negative height).
  Bytes top = BmpHeaders(1, -2, 8, 0, 0, 54 + 1024).zeros(1024);
  ReadBmp(top.u8(7).zeros(3).u8(9).zeros(3).s, s, false);
  EXPECT_EQ(s.Pixels(0, 0), 7u);
  // 16 bits: 5-5-5 without masks, 5-6-5 with them.
  ReadBmp(BmpHeaders(1, 1, 16, 0, 0, 54).u16(0x7FFF).zeros(2).s, s, false);
  EXPECT_EQ(s.EffectiveBitCount(), 15);
  ReadBmp(BmpHeaders(1, 1, 16, 3, 0, 66).u32(0xF800).u32(0x07E0).u32(0x1F).u16(0xFFFF).zeros(2).s, s, false);
  EXPECT_EQ(s.EffectiveBitCount(), 16);
  EXPECT_THROW(ReadBmp(BmpHeaders(1, 1, 16, 3, 0, 66).u32(0xF0F).u32(0xF0).u32(0).zeros(4).s, s, false),
               EFormatError);  // a mask must be one run of bits
  // 32 bits, the fourth byte kept as alpha.
  ReadBmp(BmpHeaders(1, 1, 32, 0, 0, 54).u32(0x40ABCDEF).s, s, true);
  EXPECT_EQ(s.BitCount(), 24);
  EXPECT_EQ(s.Pixels(0, 0), 0xABCDEFu);
  EXPECT_EQ(s.AlphaPlane()->Pixels(0, 0), 0x40u);
  // The oldest header: 12 bytes, 3-byte colour table entries.
  Bytes core = Bytes().raw("BM").u32(0).u32(0).u32(26 + 6).u32(12).u16(1).u16(1).u16(1).u16(1);
  ReadBmp(core.bgr(0).bgr(0x102030).u8(0x80).zeros(3).s, s, false);
  EXPECT_EQ(s.PixelToColor(s.Pixels(0, 0)), RGBColor(0x10, 0x20, 0x30));
  // Hostile: a colour table and a size far beyond the file.
  EXPECT_THROW(ReadBmp(BmpHeaders(1, 1, 8, 0, 0xFFFFFFFF, 54).zeros(4).s, s, false), EFormatError);
  EXPECT_THROW(ReadBmp(BmpHeaders(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, 0, 54).s, s, false), EFormatError);
}

// A 2 x 1 bitmap with colour masks: in a header of header_size bytes (56 and more hold red, green,
// blue and alpha), or after a 40-byte one (three masks, four with alpha bit fields).
std::string BmpMasked(uint32_t header_size, uint16_t bits, uint32_t compression, std::vector<uint32_t> masks,
                      std::vector<uint32_t> pixels) {
  const uint32_t after = header_size == 40 ? 4 * static_cast<uint32_t>(masks.size()) : 0;
  Bytes f = BmpHeaders(2, 1, bits, compression, 0, 14 + header_size + after);
  const size_t header_end = 14 + header_size;
  for (uint32_t m : masks) f.u32(m);
  if (f.s.size() < header_end) f.zeros(header_end - f.s.size());
  f.s[14] = static_cast<char>(header_size);
  for (uint32_t p : pixels) bits == 16 ? f.u16(p) : f.u32(p);
  return f.s;
}

// Every bit-field layout, with the alpha mask the header carries (a 0 alpha mask: no alpha).
TEST(BmpRead, BitFieldLayoutsAndAlphaMasks) {
  const uint32_t k555[] = {0x7C00, 0x03E0, 0x001F}, k4444[] = {0x0F00, 0x00F0, 0x000F};
  struct Case {
    const char* what;
    std::string file;
    uint32_t colour[2];
    uint8_t alpha[2];
  } cases[] = {
      {"V4 1-5-5-5",
       BmpMasked(108, 16, 3, {k555[0], k555[1], k555[2], 0x8000}, {0xFFFF, 0x7C00}),
       {0xFFFFFF, 0xFF0000},
       {255, 0}},
      {"V5 4-4-4-4",
       BmpMasked(124, 16, 3, {k4444[0], k4444[1], k4444[2], 0xF000}, {0x8F40, 0xF00F}),
       {0xFF4400, 0x0000FF},
       {0x88, 255}},
      {"40 + alpha bit fields",
       BmpMasked(40, 16, 6, {k4444[0], k4444[1], k4444[2], 0xF000}, {0x8F40, 0xF00F}),
       {0xFF4400, 0x0000FF},
       {0x88, 255}},
      {"40 + 4-4-4-4 without alpha",
       BmpMasked(40, 16, 3, {k4444[0], k4444[1], k4444[2]}, {0x8F40, 0x000F}),
       {0xFF4400, 0x0000FF},
       {255, 255}},
      {"V5 8-8-8 alpha mask 0",
       BmpMasked(124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0}, {0x12345678, 0x00ABCDEF}),
       {0x345678, 0xABCDEF},
       {255, 255}},
      {"V5 red in the low byte",
       BmpMasked(124, 32, 3, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {0x80332211, 0}),
       {0x112233, 0},
       {0x80, 0}},
      {"V3 5-6-5",
       BmpMasked(56, 16, 3, {0xF800, 0x07E0, 0x001F, 0}, {0xFFFF, 0x0000}),
       {0xFFFFFF, 0},
       {255, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TDIBSurface s;
    ReadBmp(c.file, s, true);
    for (int32_t x = 0; x < 2; ++x) {
      EXPECT_EQ(s.PixelToColor(s.Pixels(x, 0)),
                RGBColor(c.colour[x] >> 16, (c.colour[x] >> 8) & 0xFF, c.colour[x] & 0xFF))
          << x;
      EXPECT_EQ(s.AlphaPlane() ? s.AlphaPlane()->Pixels(x, 0) : 255u, c.alpha[x]) << x;
    }
    ExpectEveryTruncationRefused(c.file, ReadBmpBytes);
  }
}

// Run-length coded, 4 x 3 at 8 bits: a run, end of row, literals, end of row, a move, a run, the end.
std::string BmpRle8() {
  Bytes f = BmpHeaders(4, 3, 8, 1, 1, 58).u32(0x00FFFFFF);
  return f.u8(3)
      .u8(5)
      .u16(0)
      .u8(0)
      .u8(3)
      .u8(7)
      .u8(8)
      .u8(9)
      .u8(0)
      .u16(0)
      .u8(0)
      .u8(2)
      .u8(1)
      .u8(0)
      .u8(2)
      .u8(6)
      .u8(0)
      .u8(1)
      .s;
}

TEST(BmpRead, RunLengthCodedPictures) {
  TDIBSurface s;
  ReadBmp(BmpRle8(), s, false);
  const uint32_t want[3][4] = {{0, 6, 6, 0}, {7, 8, 9, 0}, {5, 5, 5, 0}};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(s.Pixels(x, y), want[y][x]) << x << "," << y;
  ExpectEveryTruncationRefused(BmpRle8(), ReadBmpBytes);
  // 4 bits: a run of alternating nibbles, then three literal nibbles; the run past the width is dropped.
  ReadBmp(BmpHeaders(6, 1, 4, 2, 0, 118)
              .zeros(64)
              .u8(3)
              .u8(0x12)
              .u8(0)
              .u8(3)
              .u8(0xAB)
              .u8(0xC0)
              .u8(9)
              .u8(7)
              .u8(0)
              .u8(1)
              .s,
          s, false);
  const uint32_t row[6] = {1, 2, 1, 10, 11, 12};
  for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(s.Pixels(x, 0), row[x]);
}

TEST(BmpWrite, BytesAndRoundTrips) {
  TDIBSurface s, back;
  s.SetSize(3, 2, 24);
  for (uint32_t i = 0; i < 6; ++i) s.SetPixels(int32_t(i % 3), int32_t(i / 3), 6 - i);
  Bytes want =
      Bytes().raw("BM").u32(54 + 24).u32(0).u32(54).u32(40).u32(3).u32(2).u16(1).u16(24).u32(0).u32(24);
  want.zeros(16).bgr(3).bgr(2).bgr(1).zeros(3).bgr(6).bgr(5).bgr(4).zeros(3);
  EXPECT_EQ(EncodeBmp(s, false), want.s);

  for (int32_t bits : {1, 4, 8, 15, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    s.SetSize(9, 3, bits);
    test::FillPattern(s, 5);
    for (int i = 0; i < 256; ++i) s.Palette()[i] = {uint8_t(i), 1, 2, 0};
    ReadBmp(EncodeBmp(s, false), back, false);
    if (bits == 32) {
      for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(back.Pixels(x, y), s.Pixels(x, y) | 0xFF000000u);
    } else {
      EXPECT_TRUE(test::SamePixels(s, back));
    }
    if (bits <= 8) {
      EXPECT_EQ(back.Palette()[1], s.Palette()[1]);
    }
  }
  s.SetSize(2, 2, 8);
  test::FillPattern(s, 1);
  s.EnsureAlphaPlane();
  test::FillPattern(*s.AlphaPlane(), 6);
  ReadBmp(EncodeBmp(s, true), back, true);
  EXPECT_TRUE(test::SamePixels(*s.AlphaPlane(), *back.AlphaPlane()));
  EXPECT_EQ(back.PixelToColor(back.Pixels(1, 1)), s.PixelToColor(s.Pixels(1, 1)));
}

// The image of an icon: information header (height doubled), then what follows.
Bytes IconImageHeader(int32_t w, int32_t h, uint16_t bits) {
  return Bytes().u32(40).u32(uint32_t(w)).u32(uint32_t(2 * h)).u16(1).u16(bits).zeros(24);
}

std::string IconFile(uint16_t type, const std::vector<std::pair<std::string, uint32_t>>& images) {
  Bytes f = Bytes().u16(0).u16(type).u16(static_cast<uint16_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (const auto& [image, hot] : images) {
    f.u32(0).u32(hot).u32(static_cast<uint32_t>(image.size())).u32(offset);
    offset += static_cast<uint32_t>(image.size());
  }
  for (const auto& [image, hot] : images) f.raw(image);
  return f.s;
}

// 2 x 2 at 4 bits: top row (1, 2), bottom row (3, 1); the top right pixel is transparent.
std::string Icon4() {
  Bytes image = IconImageHeader(2, 2, 4);
  for (int i = 0; i < 16; ++i) image.u8(i).u8(i).u8(i).u8(0);
  image.u8(0x31).zeros(3).u8(0x12).zeros(3);  // colour rows, bottom first
  image.u32(0).u8(0x40).zeros(3);             // mask rows, bottom first
  return IconFile(1, {{image.s, 0x00040001}});
}

// 2 x 1 at 32 bits: alpha 0x40, then a pixel the mask hides.
std::string Cursor32() {
  Bytes image = IconImageHeader(2, 1, 32).u32(0x40102030).u32(0xFF405060).u8(0x40).zeros(3);
  return IconFile(2, {{image.s, 0x00060005}});
}

TEST(IconRead, MaskAlphaKeyAndHotSpot) {
  TDIBSurface s;
  TIconLoadOptions options;
  options.keep_alpha = true;
  ReadIcon(Icon4(), s, options);
  ASSERT_EQ(s.BitCount(), 4);
  EXPECT_EQ(s.Pixels(0, 0), 1u);
  EXPECT_EQ(s.Pixels(0, 1), 3u);
  ASSERT_NE(s.AlphaPlane(), nullptr);
  EXPECT_EQ(s.AlphaPlane()->Pixels(1, 0), 0u);
  EXPECT_EQ(s.AlphaPlane()->Pixels(1, 1), 255u);

  // Without alpha: the first unused index becomes the key, showing the caller's colour.
  options.keep_alpha = false;
  options.key_color = RGBColor(9, 8, 7);
  EXPECT_EQ(ReadIcon(Icon4(), s, options).transparent, 0);
  EXPECT_EQ(s.Pixels(1, 0), 0u);
  EXPECT_EQ(s.Palette()[0], (TPaletteEntry{7, 8, 9, 0}));
  EXPECT_EQ(s.AlphaPlane(), nullptr);

  const TIconLoadResult cursor = ReadIcon(Cursor32(), s, options);
  EXPECT_EQ(cursor.hot_x, 5);
  EXPECT_EQ(cursor.hot_y, 6);
  EXPECT_EQ(s.BitCount(), 24);
  EXPECT_EQ(cursor.transparent, 0x090807);
  EXPECT_EQ(s.Pixels(0, 0), 0x090807u);  // alpha 0x40 is below half: transparent
  options.keep_alpha = true;
  ReadIcon(Cursor32(), s, options);
  EXPECT_EQ(s.Pixels(0, 0), 0x102030u);
  EXPECT_EQ(s.AlphaPlane()->Pixels(0, 0), 0x40u);
  EXPECT_EQ(s.AlphaPlane()->Pixels(1, 0), 0u);

  for (const std::string& file : {Icon4(), Cursor32()}) {
    ExpectEveryTruncationRefused(file, ReadIconBytes);
  }
}

// A 32-bit image carries its alpha: writers that leave out the AND mask are read; other depths
// need the mask.
TEST(IconRead, ThirtyTwoBitImagesWithoutMask) {
  TDIBSurface s;
  TIconLoadOptions options;
  options.keep_alpha = true;
  ReadIcon(IconFile(1, {{IconImageHeader(2, 1, 32).u32(0x40102030).u32(0xFF405060).s, 0}}), s, options);
  EXPECT_EQ(s.Pixels(1, 0), 0x405060u);
  EXPECT_EQ(s.AlphaPlane()->Pixels(0, 0), 0x40u);
  EXPECT_EQ(s.AlphaPlane()->Pixels(1, 0), 255u);
  const std::string icon4 = Icon4().substr(22);
  EXPECT_THROW(ReadIcon(IconFile(1, {{icon4.substr(0, icon4.size() - 8), 0}}), s, options), EFormatError);
}

// 32-bit pictures whose fourth bytes are all 0 (screen captures, many tools) have no alpha: they
// read as opaque, not invisible. Our writers put 255 there for a picture without alpha.
TEST(PictureAlpha, FourthBytesAllZeroMeanOpaque) {
  TDIBSurface s;
  auto expect_opaque = [&s](uint32_t colour) {
    ASSERT_NE(s.AlphaPlane(), nullptr);
    EXPECT_EQ(s.Pixels(0, 0), colour);
    for (int32_t y = 0; y < s.Height(); ++y)
      for (int32_t x = 0; x < s.Width(); ++x) ASSERT_EQ(s.AlphaPlane()->Pixels(x, y), 255u);
  };
  ReadBmp(BmpHeaders(1, 1, 32, 0, 0, 54).u32(0x00ABCDEF).s, s, true);
  expect_opaque(0xABCDEF);
  ReadTga(TgaHeader(0, 0, 2, 0, 0, 0, 1, 1, 32, 0x20).u32(0x00ABCDEF).s, s, true);
  expect_opaque(0xABCDEF);
  // An icon: opaque but where its mask says transparent.
  TIconLoadOptions keep;
  keep.keep_alpha = true;
  ReadIcon(IconFile(1, {{IconImageHeader(2, 1, 32).u32(0x102030).u32(0x405060).u8(0x40).zeros(3).s, 0}}), s,
           keep);
  EXPECT_EQ(s.AlphaPlane()->Pixels(0, 0), 255u);
  EXPECT_EQ(s.AlphaPlane()->Pixels(1, 0), 0u);

  TDIBSurface picture;
  picture.SetSize(5, 3, 32);
  test::FillPattern(picture, 4);  // fourth bytes 0
  const std::string files[] = {EncodeBmp(picture, false), EncodeTga(picture, {false, false, -1}),
                               EncodeTga(picture, {true, false, -1})};
  for (const std::string& file : files) {
    SCOPED_TRACE(file.substr(0, 2));
    file[0] == 'B' ? ReadBmp(file, s, false) : (void)ReadTga(file, s, false);
    EXPECT_EQ(s.Pixels(4, 2), picture.Pixels(4, 2) | 0xFF000000u);  // 255 in the file
    file[0] == 'B' ? ReadBmp(file, s, true) : (void)ReadTga(file, s, true);
    expect_opaque(picture.Pixels(0, 0));
  }
}

TEST(IconRead, ChooserPngImagesAndBitmaps) {
  TDIBSurface png_picture;
  png_picture.SetSize(2, 1, 24);
  png_picture.SetPixels(1, 0, 0xABCDEF);
  png_picture.EnsureAlphaPlane();
  png_picture.AlphaPlane()->SetPixels(0, 0, 0);
  png_picture.AlphaPlane()->SetPixels(1, 0, 200);
  const std::string icon4 = Icon4().substr(22);
  const std::string file = IconFile(1, {{icon4, 0}, {EncodePng(png_picture, true), 0}});
  const std::vector<TIconImageInfo> list = ListIconImages(file);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(IconChooserLine(0, list[0]), "001 : 2 x 2  4 bpp");
  EXPECT_EQ(IconChooserLine(1, list[1]), "002 : 2 x 1  32 bpp");

  TIconLoadOptions options;
  options.keep_alpha = true;
  options.choose = [](const std::vector<TIconImageInfo>& images) {
    return static_cast<int32_t>(images.size()) - 1;
  };
  TDIBSurface s;
  ReadIcon(file, s, options);
  EXPECT_EQ(s.Pixels(1, 0), 0xABCDEFu);
  EXPECT_EQ(s.AlphaPlane()->Pixels(1, 0), 200u);
  options.choose = [](const std::vector<TIconImageInfo>&) { return 2; };
  EXPECT_THROW(ReadIcon(file, s, options), EFormatError);

  ReadIcon(Bmp24(), s, {});  // a bitmap file under an icon's name
  EXPECT_EQ(s.Pixels(0, 0), 4u);
  // An image offset far beyond the file.
  EXPECT_THROW(
      ReadIcon(Bytes().u16(0).u16(1).u16(1).u32(0).u32(0).u32(40).u32(0xFFFFFFF0).zeros(40).s, s, {}),
      EFormatError);
}

TEST(IconWrite, BytesOfAKeyedIconAndRoundTrips) {
  TDIBSurface s;
  s.SetSize(2, 1, 8);
  s.Palette()[0] = {30, 20, 10, 0};
  s.Palette()[1] = {3, 2, 1, 0};
  s.SetPixels(0, 0, 0);
  s.SetPixels(1, 0, 1);
  Bytes want = Bytes().u16(0).u16(1).u16(1).u8(2).u8(1).u8(0).u8(0).u16(0).u16(8).u32(40 + 1024 + 8).u32(22);
  want.u32(40).u32(2).u32(2).u16(1).u16(8).u32(0).u32(8).zeros(16);
  want.u32(0x000A141E).zeros(1020);  // entry 1, the transparent one, made black
  want.u8(0).u8(1).zeros(2).u8(0x40).zeros(3);
  EXPECT_EQ(EncodeIcon(s, {false, 0, 0, 1, false, false}), want.s);

  // A 32-bit cursor with alpha, read back with its hot spot and alpha.
  TDIBSurface c, back;
  c.SetSize(3, 2, 24);
  test::FillPattern(c, 1);
  c.EnsureAlphaPlane();
  c.AlphaPlane()->FillRect(c.BoundsRect(), 255);
  c.AlphaPlane()->SetPixels(0, 0, 0);
  c.AlphaPlane()->SetPixels(1, 0, 77);
  TIconLoadOptions keep;
  keep.keep_alpha = true;
  const TIconLoadResult got = ReadIcon(EncodeIcon(c, {true, 2, 1, -1, true, true}), back, keep);
  EXPECT_EQ(got.hot_x, 2);
  EXPECT_EQ(got.hot_y, 1);
  EXPECT_EQ(back.AlphaPlane()->Pixels(1, 0), 77u);
  EXPECT_EQ(back.AlphaPlane()->Pixels(0, 0), 0u);
  EXPECT_EQ(back.Pixels(0, 0), 0u);  // transparent pixels are painted black
  EXPECT_EQ(back.Pixels(2, 1), c.Pixels(2, 1));
  // At 24 bits the mask takes alpha below half as transparent.
  ReadIcon(EncodeIcon(c, {false, 0, 0, -1, true, false}), back, keep);
  EXPECT_EQ(back.AlphaPlane()->Pixels(1, 0), 0u);
  EXPECT_EQ(back.AlphaPlane()->Pixels(2, 0), 255u);

  c.SetSize(257, 1, 24);
  EXPECT_THROW(EncodeIcon(c, {}), EFormatError);
}

// A 32-bit picture's fourth byte shows nothing: its pixels of the transparent colour are found
// whatever that byte holds.
TEST(IconWrite, TransparentColourOfA32BitPictureIgnoresTheFourthByte) {
  TDIBSurface s, back;
  s.SetSize(2, 1, 32);
  s.SetPixels(0, 0, 0x80FF00FF);
  s.SetPixels(1, 0, 0x80123456);
  TIconLoadOptions keep;
  keep.keep_alpha = true;
  ReadIcon(EncodeIcon(s, {false, 0, 0, 0xFF00FF, false, false}), back, keep);
  EXPECT_EQ(back.AlphaPlane()->Pixels(0, 0), 0u);
  EXPECT_EQ(back.Pixels(0, 0), 0u);
  EXPECT_EQ(back.AlphaPlane()->Pixels(1, 0), 255u);
  EXPECT_EQ(back.Pixels(1, 0), 0x123456u);
}

// A palette picture asked for as a 32-bit icon with alpha: its colours go out as 32-bit pixels.
TEST(IconWrite, PalettePictureAs32BitIcon) {
  TDIBSurface s, back;
  s.Palette()[1] = {0x30, 0x20, 0x10, 0};
  s.Palette()[2] = {0x60, 0x50, 0x40, 0};
  s.SetSize(5, 1, 8);
  s.FillRect(s.BoundsRect(), 1);
  s.SetPixels(4, 0, 2);
  s.EnsureAlphaPlane();
  s.AlphaPlane()->FillRect(s.BoundsRect(), 200);
  s.AlphaPlane()->SetPixels(0, 0, 0);
  TIconLoadOptions keep;
  keep.keep_alpha = true;
  const std::string file = EncodeIcon(s, {false, 0, 0, -1, true, true});
  EXPECT_EQ(file[22 + 14], 32);  // the bit count in the information header
  ReadIcon(file, back, keep);
  EXPECT_EQ(back.Pixels(0, 0), 0u);
  EXPECT_EQ(back.Pixels(1, 0), 0x102030u);
  EXPECT_EQ(back.Pixels(4, 0), 0x405060u);
  EXPECT_EQ(back.AlphaPlane()->Pixels(0, 0), 0u);
  EXPECT_EQ(back.AlphaPlane()->Pixels(4, 0), 200u);
}

TEST(PictureFile, ChoosesByExtensionAndNamesTheFile) {
  const auto dir = test::MakeTempDir("pictures");
  test::WriteFile(dir / "a.TGA", Tga24(0x20));
  TDIBSurface s;
  EXPECT_EQ(LoadPictureFile(dir / "a.TGA", s, {}).transparent, -1);
  EXPECT_EQ(s.Pixels(0, 0), 0x112233u);

  test::WriteFile(dir / "b.Cur", EncodeIcon(s, {true, 1, 0, -1, false, false}));
  TDIBSurface back;
  EXPECT_EQ(LoadPictureFile(dir / "b.Cur", back, {}).hot_x, 1);
  EXPECT_TRUE(test::SamePixels(s, back));
  test::WriteFile(dir / "c.dib", EncodeBmp(s, false));
  LoadPictureFile(dir / "c.dib", back, {});
  EXPECT_TRUE(test::SamePixels(s, back));

  test::WriteFile(dir / "bad.ico", "not an icon at all");
  try {
    LoadPictureFile(dir / "bad.ico", back, {});
    FAIL();
  } catch (const EFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("bad.ico: not an icon"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(back.Empty());
}

// A few dozen bytes that claim a picture of tens of megapixels are refused before it is allocated:
// run-length data that could not fill it, a PNG whose data is far too short.
TEST(PictureFileHostile, TinyFilesCannotClaimHugePictures) {
  const auto error_of = [](const std::function<void(TDIBSurface&)>& read) -> std::string {
    TDIBSurface picture;
    try {
      read(picture);
    } catch (const EFormatError& e) {
      return e.what();
    }
    return "(no error)";
  };
  const std::string bmp = test::TinyRunLengthBitmap(12000);
  EXPECT_NE(
      error_of([&](TDIBSurface& p) { ReadBmp(bmp, p, false); }).find("12000 x 12000 pixels with 2 bytes"),
      std::string::npos);
  const std::string tga = test::TinyRunLengthTga(9000);
  EXPECT_NE(error_of([&](TDIBSurface& p) {
              ReadTga(tga, p, false);
            }).find("too short for a picture of 9000 x 9000"),
            std::string::npos);

  TDIBSurface dot;
  dot.SetSize(1, 1, 24);
  std::string png = EncodePng(dot, false);
  const char side[4] = {0, 0, 0x1F, 0x40};  // 8000, big-endian
  png.replace(16, 4, side, 4);
  png.replace(20, 4, side, 4);
  const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17));
  const char crc_bytes[4] = {static_cast<char>(crc >> 24), static_cast<char>(crc >> 16),
                             static_cast<char>(crc >> 8), static_cast<char>(crc)};
  png.replace(29, 4, crc_bytes, 4);
  EXPECT_NE(error_of([&](TDIBSurface& p) { ReadPng(png, p); }).find("8000 x 8000 pixels in only"),
            std::string::npos);
}

// Every byte of each small file set to 0x00, 0x7F and 0xFF in turn: each reader either reads the
// result or refuses it with a format error, never reading outside the buffer (ASan) or overflowing.
TEST(PictureFileHostile, EveryByteChangedIsReadOrRefused) {
  const std::vector<std::pair<std::string, std::function<void(std::string_view)>>> files = {
      {TgaRle32(), ReadTgaBytes},
      {Tga24(0) + TgaFooter(0, 0), ReadTgaBytes},
      {Bmp24(), ReadBmpBytes},
      {BmpRle8(), ReadBmpBytes},
      {Icon4(), ReadIconBytes},
      {Cursor32(), ReadIconBytes},
      {TgaGreyAlpha(true), ReadTgaBytes},
      {BmpMasked(124, 16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, {0x8F40, 0xF00F}), ReadBmpBytes},
  };
  for (const auto& [file, read] : files) {
    for (size_t i = 0; i < file.size(); ++i) {
      for (char v : {'\x00', '\x7F', '\xFF'}) {
        std::string changed = file;
        changed[i] = v;
        try {
          read(changed);
        } catch (const EFormatError&) {
        }
      }
    }
  }
}

}  // namespace
}  // namespace vn
