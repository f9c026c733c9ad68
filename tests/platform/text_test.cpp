#include "platform/text.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/error.h"

namespace vn {
namespace {

// "ソフト" in Shift-JIS: the second byte of ソ (0x83 0x5C) is a backslash byte.
const DataString kSoft("\x83\x5C\x83\x74\x83\x67");
// "表" is 0x95 0x5C.
const DataString kHyo("\x95\x5C");

TEST(Cp932, RoundTripsJapaneseAndBackslash) {
  EXPECT_EQ(Cp932ToUtf8(kSoft), "ソフト");
  EXPECT_EQ(Cp932ToUtf8(DataString("a\\b")), "a\\b");  // 0x5C is a backslash, not a yen sign
  EXPECT_EQ(Utf8ToCp932("表示\\ゲーム"), kHyo + DataString("\x8E\xA6\\\x83\x51\x81\x5B\x83\x80"));
  EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932("ＭＳ Ｐゴシック")), "ＭＳ Ｐゴシック");
  EXPECT_EQ(Cp932ToUtf8(DataString("\xB1\xB2")), "ｱｲ");  // half-width katakana
}

TEST(Cp932, UnconvertibleBytesAreErrorsNotDropped) {
  EXPECT_THROW(Cp932ToUtf8(DataString("ab\x81")), EConvertError);  // lead byte cut off
  EXPECT_THROW(Cp932ToUtf8(DataString("\xA0")), EConvertError);
  EXPECT_THROW(Utf8ToCp932("emoji \xF0\x9F\x98\x80"), EConvertError);
  std::string out;
  EXPECT_FALSE(TryCp932ToUtf8(DataString("x\x81"), out));
  EXPECT_EQ(Cp932ToUtf8Lossy(DataString("a\xA0z")), "a\xEF\xBF\xBDz");
}

TEST(Cp932, OnlyExactConversionsCount) {
  // iconv maps these to codes that convert back to other characters (the yen sign to the
  // backslash): a name stored so would be another name.
  for (const char* inexact :
       {"a\xC2\xA5"
        "b",
        "\xE2\x88\x92", "\xE3\x80\x9C", "\xC2\xA2", "\xC2\xA3", "\xC2\xAC", "\xE2\x80\x96"}) {
    DataString out;
    EXPECT_FALSE(TryUtf8ToCp932(inexact, out)) << inexact;
    EXPECT_THROW(Utf8ToCp932(inexact), EConvertError) << inexact;
  }
  try {
    Utf8ToCp932("ab\xC2\xA5");
  } catch (const EConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("byte 2"), std::string::npos) << e.what();
  }
  // their full-width forms are exact
  EXPECT_EQ(Utf8ToCp932("\xEF\xBF\xA5\xEF\xBC\x8D\xEF\xBD\x9E"), DataString("\x81\x8F\x81\x7C\x81\x60"));
}

TEST(Delimiters, TrailByteIsNoDelimiter) {
  const DataString path = DataString("dir\\") + kSoft;
  EXPECT_EQ(LastDelimiter(path), 3u);
  EXPECT_FALSE(IsPathDelimiter(path, 5));
  EXPECT_EQ(FirstDelimiter(kSoft), std::string::npos);
  EXPECT_FALSE(HasTrailingDelimiter(kHyo));
  EXPECT_EQ(ExtractFileName(path), kSoft);
  EXPECT_EQ(ExtractFileExt(DataString("a.b\\c.TXT")), DataString(".TXT"));
  EXPECT_EQ(ExtractFileExt(DataString("a.b\\c")), DataString());
}

TEST(Delimiters, AddPathDelimiter) {
  EXPECT_EQ(AddPathDelimiter(DataString()), DataString("\\"));
  EXPECT_EQ(AddPathDelimiter(DataString("C:\\Game")), DataString("C:\\Game\\"));
  EXPECT_EQ(AddPathDelimiter(DataString("C:\\Game\\")), DataString("C:\\Game\\"));
  EXPECT_EQ(AddPathDelimiter(kHyo), kHyo + DataString("\\"));  // ends in 0x5C, but as a trail byte
}

TEST(Delimiters, ParentKeyPath) {
  DataString p("Maker\\Game\\Sub");
  ParentKeyPath(p);
  EXPECT_EQ(p, DataString("Maker\\Game"));
  p = DataString("Maker\\Game\\");  // the trailing backslash is not a component
  ParentKeyPath(p);
  EXPECT_EQ(p, DataString("Maker"));
  ParentKeyPath(p);
  EXPECT_TRUE(p.empty());
  ParentKeyPath(p);
  EXPECT_TRUE(p.empty());
  p = DataString("Maker\\") + kHyo;
  ParentKeyPath(p);
  EXPECT_EQ(p, DataString("Maker"));
}

TEST(AnsiCase, OnlySingleByteAsciiLettersChange) {
  // "ソa" then "ﾔ" (0xD4, half-width): the trail byte 0x5C and katakana stay.
  const DataString mixed = kSoft + DataString("aZ\xD4");
  EXPECT_EQ(AnsiUpperCase(mixed), kSoft + DataString("AZ\xD4"));
  EXPECT_EQ(AnsiLowerCase(mixed), kSoft + DataString("az\xD4"));
  // 0x82 0x61 is "Ｂ"; its trail byte 0x61 ('a') must not be upper-cased.
  EXPECT_EQ(AnsiUpperCase(DataString("\x82\x61")), DataString("\x82\x61"));
  EXPECT_TRUE(AnsiSameText(DataString("Game.DAT"), DataString("game.dat")));
  EXPECT_FALSE(AnsiSameText(DataString("\x82\x61"), DataString("\x82\x41")));
  EXPECT_LT(AnsiCompareText(DataString("a"), DataString("B")), 0);
  // The comparison and the hash walk the folded bytes in place; they must agree with folding
  // first, byte pairs and truncated double-byte characters included.
  std::mt19937 rng(5);
  const char alphabet[] = {'a', 'A', 'z', '\\', '\x82', '\xE0', '\xD4', '\xFF', '.'};
  for (int i = 0; i < 2000; ++i) {
    std::string a, b;
    for (size_t n = rng() % 5; n > 0; --n) a += alphabet[rng() % sizeof alphabet];
    for (size_t n = rng() % 5; n > 0; --n) b += alphabet[rng() % sizeof alphabet];
    const DataString da(a), db(b);
    const int folded = AnsiUpperCase(da).bytes().compare(AnsiUpperCase(db).bytes());
    EXPECT_EQ(AnsiCompareText(da, db), folded < 0 ? -1 : (folded > 0 ? 1 : 0)) << a << " / " << b;
    if (folded == 0) {
      EXPECT_EQ(AnsiTextHash(da), AnsiTextHash(db));
    }
  }
  // Longer names, whose runs of single-byte characters are hashed eight bytes at a time, against
  // themselves in other letter case.
  const char longer[] = {'a', 'Q', 'z', '0', '\\', '_', '\x82', '\xE0', '\xB1', '`', '{', '@', '['};
  for (int i = 0; i < 2000; ++i) {
    std::string a;
    for (size_t n = rng() % 40; n > 0; --n) a += longer[rng() % sizeof longer];
    const DataString da(a), lower = AnsiLowerCase(da), upper = AnsiUpperCase(da);
    EXPECT_EQ(AnsiTextHash(da), AnsiTextHash(lower)) << a;
    EXPECT_EQ(AnsiTextHash(da), AnsiTextHash(upper)) << a;
  }
  EXPECT_NE(AnsiTextHash(DataString("scene000/bg0000001.txt")), AnsiTextHash(DataString("scene000/bg0000002.txt")));
  EXPECT_NE(AnsiTextHash(DataString("abcdefgh")), AnsiTextHash(DataString("abcdefgi")));
}

}  // namespace
}  // namespace vn
