#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "imaging/png_io.h"
#include "platform/special_folders.h"
#include "settings/settings.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

class Vnsetup : public testing::Test {
 protected:
  void SetUp() override {
    TDIBSurface picture;
    picture.SetSize(64, 48, 24);
    picture.FillRect(picture.BoundsRect(), 0x3366AA);
    test::WriteFile(dir_ / "bg.png", EncodePng(picture, false));
    test::WriteFile(dir_ / "spec.json", R"({
      "settings": {"Title": "起動テスト", "BackgroundPicture": "bg.rxa", "RegistryKey": "\\VnsetupTest",
                   "FooterText": "フッター", "OfferRuntimes": true},
      "background": "bg.png",
      "discs": [{"files": {"readme.txt": {"text": "読んでね"}}, "runtimes": true}]
    })");
    EXPECT_EQ(Run(test::ShellQuoted(VNKIT) + " disc build " +
                  test::ShellQuoted((dir_ / "spec.json").string()) + " -o " +
                  test::ShellQuoted((dir_ / "out").string()) + " --launcher " + test::ShellQuoted(VNSETUP)),
              0)
        << err_;
    disc_ = dir_ / "out" / "disc1";
  }

  int Run(const std::string& command) {
    test::CommandResult result = test::RunShell(command, dir_);
    out_ = std::move(result.out);
    err_ = std::move(result.err);
    return result.status;
  }

  // The launcher on the offscreen platform, its first window saved as `shot`.
  int Launch(const fs::path& exe, const fs::path& shot, const std::string& args = "") {
    return Run("QT_QPA_PLATFORM=offscreen VNSETUP_SCREENSHOT=" + test::ShellQuoted(shot.string()) + " " +
               test::ShellQuoted(exe.string()) + (args.empty() ? "" : " " + test::ShellQuoted(args)));
  }

  static bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 200 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return done();
  }

  fs::path dir_ = test::MakeTempDir("run");
  fs::path disc_;
  std::string out_, err_;
};

struct PictureSize {
  int32_t width, height;
};

PictureSize SizeOfPng(const fs::path& file) {
  TDIBSurface picture;
  ReadPng(test::ReadFile(file), picture);
  return {picture.Width(), picture.Height()};
}

TEST_F(Vnsetup, DiscLauncherShowsTheStartMenu) {
  const fs::path shot = dir_ / "menu.png";
  ASSERT_EQ(Launch(disc_ / "install.exe", shot), 0) << err_;
  EXPECT_EQ(out_, shot.string() + "\n");
  const PictureSize size = SizeOfPng(shot);
  EXPECT_EQ(size.width, 265);
  EXPECT_EQ(size.height, 230);  // both runtime stand-ins are on the disc
}

TEST_F(Vnsetup, FolderArgumentRunsTheInstallerWindow) {
  const fs::path shot = dir_ / "main.png";
  ASSERT_EQ(Launch(disc_ / "install.exe", shot, disc_.string() + "/"), 0) << err_;
  EXPECT_GE(SizeOfPng(shot).width, 600);
  EXPECT_TRUE(fs::exists(disc_ / "install.exe"));  // not a temporary copy: it stays
}

TEST_F(Vnsetup, UninstallerHandsOverToATemporaryCopyThatRemovesItself) {
  const fs::path installed = dir_ / "installed";
  fs::create_directories(installed);
  fs::copy_file(disc_ / "install.exe", installed / "install.exe");
  TVondInstallSet settings;
  settings.LoadFromFile(disc_ / "install.dat");
  settings.Installed = true;
  settings.SaveToFile(installed / "install.dat");

  const fs::path shot = dir_ / "uninstall.png";
  const fs::path copy = TemporaryFolder() / "~vinstall.exe";
  ASSERT_EQ(Launch(installed / "install.exe", shot), 0) << err_;
  // The copy runs on its own: it draws the main window and gives up its file.
  EXPECT_TRUE(WaitFor([&] { return fs::exists(shot) && !fs::exists(copy); }));
  EXPECT_TRUE(fs::exists(installed / "install.exe"));
}

TEST_F(Vnsetup, WithoutADisplayItNamesTheUnattendedMode) {
  // No display at all, one that names an X server nobody runs, and a platform our check cannot test
  // that Qt then fails to start (it would abort).
  for (const std::string display : {"", "DISPLAY=:4711 ", "QT_QPA_PLATFORM=no-such-platform "}) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE " +
                                display + test::ShellQuoted((disc_ / "install.exe").string());
    EXPECT_EQ(Run(command), 2) << display << err_;
    EXPECT_NE(err_.find("no display"), std::string::npos) << err_;
    EXPECT_NE(err_.find("vnsetup --unattended"), std::string::npos) << err_;
  }
}

TEST_F(Vnsetup, MissingSettingsAreReported) {
  const fs::path empty = test::MakeTempDir("empty");
  fs::copy_file(disc_ / "install.exe", empty / "install.exe");
  EXPECT_EQ(Launch(empty / "install.exe", dir_ / "none.png"), 0);
  EXPECT_NE(err_.find("インストール設定ファイルがありません"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "none.png"));
}

}  // namespace
}  // namespace vn
