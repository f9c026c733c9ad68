// vnkit picture encode / convert as a user runs them: round trips through files, transparency in
// the PNG, and errors that exit 2 naming the file and the fault.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdlib>
#include <cstring>

#include "archive/crc32.h"
#include "imaging/icon_file.h"
#include "imaging/jpeg_codec.h"
#include "imaging/png_io.h"
#include "imaging/ruxa.h"
#include "imaging/tga_file.h"
#include "tests/imaging/ruxa_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

struct CommandResult {
  int status;
  std::string err;
};

CommandResult Vnkit(const fs::path& dir, const std::string& args) {
  const fs::path err = dir / "stderr.txt";
  const std::string command = std::string("'") + VNKIT_PATH + "' " + args + " 2>'" + err.string() + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::ReadFile(err)};
}

TEST(PictureCommand, EncodeAndConvertRoundTripWithAlpha) {
  const fs::path dir = test::MakeTempDir("pic");
  TDIBSurface pic;
  pic.SetSize(40, 30, 24);
  test::FillPattern(pic, 3);
  pic.FillRect({0, 0, 32, 16}, 0x123456);  // four equal 16 x 8 blocks: the block key matters
  pic.EnsureAlphaPlane();
  test::FillPattern(*pic.AlphaPlane(), 4);
  test::WriteFile(dir / "in.png", EncodePng(pic, true));
  for (const std::string options : {"", "--blocks 16x8 --shuffle --key 31337", "--shuffle --key -5"}) {
    SCOPED_TRACE(options);
    ASSERT_EQ(Vnkit(dir, "picture encode '" + (dir / "in.png").string() + "' -o '" +
                             (dir / "p.rxa").string() + "' " + options)
                  .status,
              0);
    const std::string key = options.find("31337") != std::string::npos ? "31337"
                            : options.empty()                          ? "0"
                                                                       : "-5";
    ASSERT_EQ(Vnkit(dir, "picture convert '" + (dir / "p.rxa").string() + "' -o '" +
                             (dir / "out.png").string() + "' --key " + key)
                  .status,
              0);
    TDIBSurface back;
    ReadPng(test::ReadFile(dir / "out.png"), back);
    EXPECT_TRUE(test::SamePixels(back, pic));
    ASSERT_NE(back.AlphaPlane(), nullptr);
    EXPECT_TRUE(test::SamePixels(*back.AlphaPlane(), *pic.AlphaPlane()));
  }
}

// A large picture's PNG is made in bands of rows on several threads, each band filtered and
// compressed on its own (the last band shorter), unless its data compresses so well that one
// stream serves. Every way reads back pixel for pixel, with alpha and without.
TEST(PictureCommand, LargePicturesRoundTripInBandsAndWhole) {
  const fs::path dir = test::MakeTempDir("pic");
  const std::string in = (dir / "big.tga").string(), out = (dir / "big.png").string();
  for (const bool noisy : {true, false}) {
    for (const bool alpha : {false, true}) {
      SCOPED_TRACE(std::string(noisy ? "noisy" : "smooth") + (alpha ? ", alpha" : ""));
      TDIBSurface pic;
      pic.SetSize(4096, 600, 24);
      if (noisy) {
        test::FillPattern(pic, 5);
      } else {
        for (int32_t y = 0; y < pic.Height(); ++y) {
          for (int32_t x = 0; x < pic.Width(); ++x) pic.SetPixels(x, y, RGBColor(x / 16, y / 4, 200));
        }
      }
      if (alpha) {
        pic.EnsureAlphaPlane();
        test::FillPattern(*pic.AlphaPlane(), 6);
      }
      test::WriteFile(in, EncodeTga(pic, {false, alpha, -1}));
      ASSERT_EQ(Vnkit(dir, "picture convert '" + in + "' -o '" + out + "'").status, 0);
      TDIBSurface back;
      ReadPng(test::ReadFile(out), back);
      EXPECT_TRUE(test::SamePixels(back, pic));
      ASSERT_EQ(back.AlphaPlane() != nullptr, alpha);
      if (alpha) {
        EXPECT_TRUE(test::SamePixels(*back.AlphaPlane(), *pic.AlphaPlane()));
      }
    }
  }
}

// A frame made by its JPEG plane alone is written while it decodes, each band of the PNG waiting
// for its rows: the pixels are those of a load that decodes first. A later frame that turns out
// damaged still fails the picture, and no output is left behind.
TEST(PictureCommand, JpegFramesAreWrittenWhileTheyDecode) {
  const fs::path dir = test::MakeTempDir("pic");
  TDIBSurface pic;
  pic.SetSize(1100, 1000, 24);  // two bands of rows, the second short
  for (int32_t y = 0; y < pic.Height(); ++y) {
    for (int32_t x = 0; x < pic.Width(); ++x) pic.SetPixels(x, y, RGBColor(x / 5, y / 4, (x * y) % 251));
  }
  test::PictureSpec spec;
  spec.compression = 2;
  test::FrameSpec frame;
  frame.width = pic.Width();
  frame.height = pic.Height();
  test::LayerSpec layer;
  layer.colour = EncodeJpeg(pic, 90);
  frame.layers = {layer};
  spec.frames = {frame};
  const std::string rxa = (dir / "p.rxa").string(), out = (dir / "o.png").string();
  test::WriteFile(rxa, test::BuildRuxa(spec));
  ASSERT_EQ(Vnkit(dir, "picture convert '" + rxa + "' -o '" + out + "'").status, 0);
  TRuxaFrameList decoded_first(0);
  TMemoryStream stream(test::ReadFile(rxa));
  decoded_first.LoadFromStream(stream, false, true, true);  // layers kept: decoded, then drawn
  TDIBSurface back;
  ReadPng(test::ReadFile(out), back);
  EXPECT_TRUE(test::SamePixels(back, decoded_first.GetFrame(0).Surface));
  EXPECT_EQ(back.AlphaPlane(), nullptr);

  frame.width = 64;  // a JPEG plane of another size
  spec.frames.push_back(frame);
  test::WriteFile(rxa, test::BuildRuxa(spec));
  fs::remove(out);
  const CommandResult r = Vnkit(dir, "picture convert '" + rxa + "' -o '" + out + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("p.rxa: frame 1"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);  // p.rxa, stderr
}

// A wrong key scrambles a shuffled picture; options that would change nothing are refused, each
// with what it would (not) do.
TEST(PictureCommand, KeysScrambleAndIdleOptionsAreRefused) {
  const fs::path dir = test::MakeTempDir("pic");
  TDIBSurface pic;
  pic.SetSize(32, 16, 24);
  test::FillPattern(pic, 3);
  const std::string in = (dir / "in.png").string(), rxa = (dir / "p.rxa").string(),
                    out = (dir / "o.png").string();
  auto encode = [&](const std::string& options) {
    test::WriteFile(in, EncodePng(pic, false));
    return Vnkit(dir, "picture encode '" + in + "' -o '" + rxa + "' " + options);
  };
  auto convert_with_key = [&](const std::string& key) {
    TDIBSurface back;
    EXPECT_EQ(Vnkit(dir, "picture convert '" + rxa + "' -o '" + out + "' --key " + key).status, 0);
    ReadPng(test::ReadFile(out), back);
    return test::SamePixels(back, pic);
  };
  ASSERT_EQ(encode("--shuffle --key 77").status, 0);
  EXPECT_TRUE(convert_with_key("77"));
  EXPECT_FALSE(convert_with_key("78"));    // rows in another order
  pic.FillRect({0, 0, 16, 16}, 0x654321);  // two equal 8 x 8 blocks
  ASSERT_EQ(encode("--blocks 8x8 --shuffle --key 77").status, 0);
  EXPECT_TRUE(convert_with_key("77"));
  EXPECT_FALSE(convert_with_key("78"));  // the repeat entry lands on another block

  const struct {
    std::string options, says;
  } idle[] = {
      {"--jpeg 90 --shuffle --key 3", "--shuffle cannot be combined with --jpeg"},
      {"--key 3", "--key does nothing without --shuffle"},
      {"--blocks 16x8 --shuffle --key 3", "no block of this picture repeats"},
  };
  test::FillPattern(pic, 9);
  fs::remove(rxa);
  for (const auto& c : idle) {
    SCOPED_TRACE(c.options);
    const CommandResult r = encode(c.options);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(rxa));
  test::WriteFile(dir / "p.tga", EncodeTga(pic, {}));
  const CommandResult r =
      Vnkit(dir, "picture convert '" + (dir / "p.tga").string() + "' -o '" + out + "' --key 3");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--key applies to RXA pictures only"), std::string::npos) << r.err;
}

// PNG chunk: length, type, data, CRC-32 of type and data.
std::string PngChunk(const std::string& type, const std::string& data) {
  auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  const std::string body = type + data;
  return be32(static_cast<uint32_t>(data.size())) + body + be32(Crc32Update(0, body.data(), body.size()));
}

// A PNG with a gamma chunk (and one with a transparent colour) encodes its stored samples: the
// RXA picture shows what every other tool shows, not a gamma-converted picture.
TEST(PictureCommand, EncodeTakesStoredSamplesWhateverTheGamma) {
  const fs::path dir = test::MakeTempDir("pic");
  TDIBSurface pic, back;
  pic.SetSize(16, 4, 24);
  test::FillPattern(pic, 5);
  pic.SetPixels(3, 1, 0);
  const std::string plain = EncodePng(pic, false);
  const std::string after_header = plain.substr(8 + 25);  // signature, IHDR
  const std::string with_gamma =
      plain.substr(0, 8 + 25) + PngChunk("gAMA", std::string("\0\x01\x86\xA0", 4)) + after_header;  // 1.0
  const std::string with_key =
      plain.substr(0, 8 + 25) + PngChunk("tRNS", std::string(6, '\0')) + after_header;  // black: transparent
  for (const std::string* png : {&with_gamma, &with_key}) {
    test::WriteFile(dir / "in.png", *png);
    ASSERT_EQ(
        Vnkit(dir, "picture encode '" + (dir / "in.png").string() + "' -o '" + (dir / "p.rxa").string() + "'")
            .status,
        0);
    ASSERT_EQ(
        Vnkit(dir, "picture convert '" + (dir / "p.rxa").string() + "' -o '" + (dir / "o.png").string() + "'")
            .status,
        0);
    ReadPng(test::ReadFile(dir / "o.png"), back);
    if (png == &with_key) {
      ASSERT_NE(back.AlphaPlane(), nullptr);
      EXPECT_EQ(back.AlphaPlane()->Pixels(3, 1), 0u);
      EXPECT_EQ(back.AlphaPlane()->Pixels(4, 1), 255u);
      back.FreeAlphaPlane();
    } else {
      EXPECT_EQ(back.AlphaPlane(), nullptr);
    }
    EXPECT_TRUE(test::SamePixels(back, pic));
  }
}

TEST(PictureCommand, PaletteFramesBecomeRgbaThroughTheirKey) {
  const fs::path dir = test::MakeTempDir("pic");
  TDIBSurface pic;
  pic.SetSize(3, 2, 8);
  for (int32_t i = 0; i < 6; ++i) pic.SetPixels(i % 3, i / 3, static_cast<uint32_t>(i));
  test::PictureSpec spec;
  test::FrameSpec frame;
  frame.width = 3;
  frame.height = 2;
  frame.bits = 8;
  frame.trans_color = 4;
  for (int i = 0; i < 256; ++i) frame.palette.push_back({uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), 0});
  test::LayerSpec layer;
  layer.colour = test::Zlib(test::RowsRaw(pic, 0));
  frame.layers = {layer};
  spec.frames = {frame, frame};
  test::WriteFile(dir / "p.rxa", test::BuildRuxa(spec));
  ASSERT_EQ(Vnkit(dir, "picture convert '" + (dir / "p.rxa").string() + "' -o '" + (dir / "o.png").string() +
                           "' --frame 1")
                .status,
            0);
  TDIBSurface back;
  ReadPng(test::ReadFile(dir / "o.png"), back);
  ASSERT_NE(back.AlphaPlane(), nullptr);
  EXPECT_EQ(back.Pixels(2, 0), 0x060402u);  // index 2: red 6, green 4, blue 2
  EXPECT_EQ(back.AlphaPlane()->Pixels(1, 1), 0u);
  EXPECT_EQ(back.AlphaPlane()->Pixels(0, 1), 255u);
}

TEST(PictureCommand, ErrorsExitTwoNamingFileAndFault) {
  const fs::path dir = test::MakeTempDir("pic");
  TDIBSurface pic;
  pic.SetSize(8, 8, 24);
  test::FillPattern(pic, 1);
  test::WriteFile(dir / "in.png", EncodePng(pic, false));
  const std::string rxa = (dir / "p.rxa").string(), out = (dir / "o.png").string();
  ASSERT_EQ(Vnkit(dir, "picture encode '" + (dir / "in.png").string() + "' -o '" + rxa + "'").status, 0);

  CommandResult r = Vnkit(dir, "picture convert '" + rxa + "' -o '" + out + "' --frame 1");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("vnkit picture convert: " + rxa + ": there is no frame 1: the picture has one frame"),
            std::string::npos)
      << r.err;

  const std::string whole = test::ReadFile(rxa);
  test::WriteFile(rxa, whole.substr(0, whole.size() / 2));
  r = Vnkit(dir, "picture convert '" + rxa + "' -o '" + out + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(rxa + ": "), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));

  r = Vnkit(dir, "picture encode '" + rxa + "' -o '" + out + "'");  // not a PNG
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("not a readable PNG"), std::string::npos) << r.err;

  r = Vnkit(dir, "picture encode '" + (dir / "in.png").string() + "' -o '" + out + "' --blocks 0x4");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--blocks"), std::string::npos) << r.err;

  r = Vnkit(dir, "picture convert '" + (dir / "missing.rxa").string() + "' -o '" + out + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.rxa"), std::string::npos) << r.err;
}

TEST(PictureCommand, ConvertsTgaIconsAndBitmapsByExtension) {
  const fs::path dir = test::MakeTempDir("pic");
  TDIBSurface pic, back;
  pic.SetSize(5, 4, 24);
  test::FillPattern(pic, 8);
  pic.EnsureAlphaPlane();
  test::FillPattern(*pic.AlphaPlane(), 2);
  const std::string out = (dir / "out.png").string();
  test::WriteFile(dir / "p.TGA", EncodeTga(pic, {true, true, -1}));
  ASSERT_EQ(Vnkit(dir, "picture convert '" + (dir / "p.TGA").string() + "' -o '" + out + "'").status, 0);
  ReadPng(test::ReadFile(out), back);
  EXPECT_TRUE(test::SamePixels(back, pic));
  ASSERT_NE(back.AlphaPlane(), nullptr);
  EXPECT_TRUE(test::SamePixels(*back.AlphaPlane(), *pic.AlphaPlane()));

  // --frame picks an icon's image; a one-picture file has only frame 0.
  const std::string ico = EncodeIcon(pic, {false, 0, 0, -1, true, true});
  const std::string image = ico.substr(22);
  std::string two =
      ico.substr(0, 4) + std::string("\x02\x00", 2) + ico.substr(6, 16) + ico.substr(6, 16) + image + image;
  const uint32_t second = static_cast<uint32_t>(22 + 16 + image.size());
  std::memcpy(&two[6 + 16 + 12], &second, 4);
  std::memcpy(&two[6 + 12], "\x26\x00\x00\x00", 4);  // the first image moves by one entry
  test::WriteFile(dir / "two.ico", two);
  ASSERT_EQ(
      Vnkit(dir, "picture convert '" + (dir / "two.ico").string() + "' -o '" + out + "' --frame 1").status,
      0);
  ReadPng(test::ReadFile(out), back);
  EXPECT_TRUE(test::SamePixels(back, pic));
  CommandResult r =
      Vnkit(dir, "picture convert '" + (dir / "p.TGA").string() + "' -o '" + out + "' --frame 1");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("p.TGA: frame 1"), std::string::npos) << r.err;

  test::WriteFile(dir / "bad.bmp", "BM too short");
  r = Vnkit(dir, "picture convert '" + (dir / "bad.bmp").string() + "' -o '" + out + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("bad.bmp: bitmap"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vn
