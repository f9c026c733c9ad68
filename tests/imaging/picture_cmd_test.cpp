// vnkit picture encode / convert as a user runs them: round trips through files, transparency in
// the PNG, and errors that exit 2 naming the file and the fault.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdlib>
#include <cstring>

#include "imaging/icon_file.h"
#include "imaging/png_io.h"
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
  EXPECT_NE(r.err.find("vnkit picture convert: " + rxa + ": Error:TRuxaFrameList.GetFrame"),
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
