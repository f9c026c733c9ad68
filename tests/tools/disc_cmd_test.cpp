#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "archive/vr_files.h"
#include "imaging/png_io.h"
#include "imaging/ruxa.h"
#include "settings/settings.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

class DiscBuild : public testing::Test {
 protected:
  void SetUp() override {
    TDIBSurface picture;
    picture.SetSize(40, 30, 24);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x)
        picture.SetPixels(x, y, static_cast<uint32_t>(x * 6 << 16 | y * 8 << 8 | 99));
    }
    test::WriteFile(dir_ / "bg.png", EncodePng(picture, false));
    test::WriteFile(dir_ / "launcher", "launcher program");
    test::WriteFile(dir_ / "readme.txt", "readme");
  }

  int Vnkit(const std::string& spec_json) {
    test::WriteFile(dir_ / "spec.json", spec_json);
    test::CommandResult result = test::RunShell(
        test::ShellQuoted(VNKIT) + " disc build " + test::ShellQuoted((dir_ / "spec.json").string()) +
            " -o " + test::ShellQuoted(out_.string()) + " --launcher " +
            test::ShellQuoted((dir_ / "launcher").string()),
        dir_);
    err_ = std::move(result.err);
    return result.status;
  }

  fs::path dir_ = test::MakeTempDir("spec");
  fs::path out_ = dir_ / "out";
  std::string err_;
};

const char kSpec[] = R"({
  "settings": {"Title": "星", "BackgroundPicture": "g\\title.rxa", "PictureKey": 77, "RegistryKey": "\\S"},
  "background": "bg.png",
  "discs": [
    {"files": {"Readme.TXT": "readme.txt", "Sound\\OP.ogg": {"size": 1000}, "game.sh": {"text": "#!/bin/sh\n", "encoding": "utf-8", "executable": true}},
     "archive": {"scenario\\a.txt": {"text": "一\n"}},
     "runtimes": true},
    {"files": {"movie\\ED.MPG": {"size": 3000}, "sound\\b.mp": {"size": 500}},
     "archive": {"scenario\\b.txt": {"text": "二"}}, "runtimes": "launcher"}
  ]
})";

TEST_F(DiscBuild, WritesEachDiscWithItsIndexFilesAndSizes) {
  ASSERT_EQ(Vnkit(kSpec), 0) << err_;
  TVondInstallSet disc[2];
  int64_t archive_sizes = 0;
  for (int i = 0; i < 2; ++i) {
    const fs::path folder = out_ / ("disc" + std::to_string(i + 1));
    disc[i].LoadFromFile(folder / "install.dat");
    EXPECT_EQ(disc[i].DiscIndex, i);
    EXPECT_EQ(disc[i].DiscCount(), 2);
    EXPECT_EQ(test::ReadFile(folder / "install.exe"), "launcher program");
    archive_sizes += static_cast<int64_t>(fs::file_size(folder / "game.dat"));
    EXPECT_EQ(disc[i].DiscDataSize[i], static_cast<int64_t>(fs::file_size(folder / "game.dat")));
  }
  const TVondInstallSet& s = disc[0];
  EXPECT_EQ(s.Title, Utf8ToCp932("星"));
  // Loose files of every disc, lower-cased, with the launcher; the runtime stand-ins are no part of it.
  const std::vector<DataString> files = {DataString("game.sh"),       DataString("install.exe"),
                                         DataString("movie\\ed.mpg"), DataString("readme.txt"),
                                         DataString("sound\\b.mp"),   DataString("sound\\op.ogg")};
  EXPECT_EQ(s.DiscFiles, files);
  const int64_t launcher = 16, script = 10;
  EXPECT_EQ(s.DiscProgSize, (std::vector<int64_t>{launcher + 6 + script, launcher}));
  EXPECT_EQ(s.DiscSoundSize, (std::vector<int64_t>{1000, 500}));  // ".mp" is a sound extension
  EXPECT_EQ(s.DiscMovieSize, (std::vector<int64_t>{0, 3000}));
  EXPECT_EQ(s.ProgSize, launcher + 6 + script);  // the launcher on both discs installs once
  EXPECT_EQ(s.SoundSize, 1500);
  EXPECT_EQ(s.MovieSize, 3000);
  EXPECT_EQ(s.DataSize, archive_sizes);

  // Each disc starts its launcher when inserted and names its drive after the title: UTF-16 (little
  // endian, with its mark), so the title reads right whatever the system's code page.
  std::string autorun = "\xFF\xFE";
  for (const char c : std::string("[autorun]\r\nopen=install.exe\r\nicon=install.exe\r\nlabel="))
    autorun += {c, '\0'};
  autorun += std::string("\x1F\x66\r\0\n\0", 6);  // U+661F, the title
  EXPECT_EQ(test::ReadFile(out_ / "disc2" / "autorun.inf"), autorun);

  const fs::path disc1 = out_ / "disc1";
  EXPECT_EQ(test::ReadFile(disc1 / "Readme.TXT"), "readme");
  EXPECT_EQ(fs::file_size(disc1 / "Sound" / "OP.ogg"), 1000u);
  EXPECT_TRUE(fs::status(disc1 / "game.sh").permissions() ==
              (fs::status(disc1 / "game.sh").permissions() | fs::perms::owner_exec));
  EXPECT_TRUE(fs::exists(disc1 / "directx" / "dxsetup.exe"));
  EXPECT_TRUE(fs::exists(disc1 / "winmedia" / "mp71.exe"));
  // A program given for the runtimes stands in for both setups.
  EXPECT_EQ(test::ReadFile(out_ / "disc2" / "directx" / "dxsetup.exe"), "launcher program");
  EXPECT_EQ(test::ReadFile(out_ / "disc2" / "winmedia" / "mp71.exe"), "launcher program");

  // The archive holds the entries and the background, RXA-encoded with the picture key.
  TVrFileCollection archive;
  archive.Open(disc1 / "game.dat");
  TMemoryStream stream;
  archive.ReadEntry(stream, DataString("scenario\\a.txt"));
  EXPECT_EQ(std::string(static_cast<const char*>(stream.Memory()), stream.GetSize()),
            Utf8ToCp932("一\r\n").bytes());
  archive.ReadEntry(stream, DataString("g\\title.rxa"));
  TRuxaFrameList frames(77);
  frames.LoadFromStream(stream, true, false, false);
  EXPECT_EQ(frames.GetFrame(0).Surface.Width(), 40);
  EXPECT_EQ(frames.GetFrame(0).Surface.Pixels(39, 29),
            static_cast<uint32_t>(39 * 6 << 16 | 29 * 8 << 8 | 99));
}

TEST_F(DiscBuild, BadDescriptionsAreRefusedByName) {
  EXPECT_EQ(Vnkit(R"({"settings": {"DiscIndex": 1}, "discs": [{}]})"), 2);
  EXPECT_NE(err_.find("\"DiscIndex\" is computed"), std::string::npos) << err_;

  EXPECT_EQ(Vnkit(R"({"discs": [{"files": {"install.dat": {"size": 1}}}]})"), 2);
  EXPECT_NE(err_.find("install.dat"), std::string::npos) << err_;

  // A fault on the second disc: nothing is written, not even the first disc.
  EXPECT_EQ(Vnkit(R"({"discs": [{"files": {"b.txt": {"size": 1}}}, {"files": {"a.txt": "missing.txt"}}]})"),
            2);
  EXPECT_NE(err_.find("missing.txt"), std::string::npos) << err_;

  EXPECT_EQ(Vnkit(R"({"discs": [{"files": {"..\\up.txt": {"size": 1}}}]})"), 2);
  EXPECT_FALSE(fs::exists(out_));

  EXPECT_EQ(Vnkit(R"({"background": "bg.png", "discs": [{}]})"), 2);
  EXPECT_NE(err_.find("BackgroundPicture"), std::string::npos) << err_;

  // An output that holds discs already is left alone.
  test::WriteFile(out_ / "disc1" / "keep.txt", "keep");
  EXPECT_EQ(Vnkit(kSpec), 2);
  EXPECT_NE(err_.find("not empty"), std::string::npos) << err_;
  EXPECT_EQ(test::ReadFile(out_ / "disc1" / "keep.txt"), "keep");
}

}  // namespace
}  // namespace vn
