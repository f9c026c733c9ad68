// vnsetup --unattended run as a user runs it: on a two-disc set vnkit builds, with no display and
// no Qt platform named.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "settings/settings.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

class Unattended : public testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir_ / "spec.json", R"({
      "settings": {"Title": "無人テスト", "RegistryKey": "\\VnsetupUnattended", "ExeName": "game.sh",
                   "LicenseText": "第1条 同意してください"},
      "discs": [
        {"files": {"game.sh": {"text": "#!/bin/sh\n"}, "bgm\\op.ogg": {"size": 3000}},
         "archive": {"scenario\\a.txt": {"text": "一"}}},
        {"files": {"movie\\ed.mpg": {"size": 5000}}, "archive": {"scenario\\b.txt": {"text": "二"}}}
      ]
    })");
    EXPECT_EQ(
        Run(test::ShellQuoted(VNKIT) + " disc build " + test::ShellQuoted((dir_ / "spec.json").string()) +
            " -o " + test::ShellQuoted((dir_ / "set").string()) + " --no-launcher"),
        0)
        << err_;
    disc1_ = dir_ / "set" / "disc1";
    disc2_ = dir_ / "set" / "disc2";
  }

  int Run(const std::string& command) {
    test::CommandResult result = test::RunShell(command, dir_);
    out_ = std::move(result.out);
    err_ = std::move(result.err);
    return result.status;
  }

  // `exe --unattended ARGS` with no display to find: the mode must not need one.
  int Unattend(const fs::path& exe, const std::string& args) {
    return Run("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + test::ShellQuoted(exe.string()) +
               " --unattended " + args);
  }
  int Install(const std::string& args) {
    return Unattend(VNSETUP, "--folder " + test::ShellQuoted(game_.string()) + " " + args + " " +
                                 test::ShellQuoted(disc1_.string()));
  }

  std::string InstallPathValue() {
    TVondInstallSet settings;
    settings.LoadFromFile(disc1_ / "install.dat");
    return settings.ReadValue("InstallPath", "");
  }

  fs::path dir_ = test::MakeTempDir("unattended");
  fs::path game_ = dir_ / "Games" / "無人";
  fs::path disc1_, disc2_;
  std::string out_, err_;
};

TEST_F(Unattended, InstallsBothDiscsAndUninstallsFromTheInstallation) {
  // The licence is never accepted for the user.
  EXPECT_EQ(Install(""), 2);
  EXPECT_NE(err_.find("第1条 同意してください"), std::string::npos) << err_;
  EXPECT_NE(err_.find("--accept-license"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(game_));

  ASSERT_EQ(Install("--accept-license"), 0) << err_;
  EXPECT_EQ(out_, game_.string() + "\n");
  // The progress line names the file being copied with its whole path.
  const size_t named = err_.find(game_.string() + "/");
  ASSERT_NE(named, std::string::npos) << err_;
  const std::string line = err_.substr(named, err_.find('\n', named) - named);
  EXPECT_NE(line.find(" をコピー中..."), std::string::npos) << err_;
  for (const char* file : {"game.sh", "bgm/op.ogg", "movie/ed.mpg", "game.dat", "install.exe"}) {
    EXPECT_TRUE(fs::is_regular_file(game_ / file)) << file;
  }
  TVondInstallSet installed;
  installed.LoadFromFile(game_ / "install.dat");
  EXPECT_TRUE(installed.Installed);
  EXPECT_GE(installed.FindInstalledFile(DataString("movie\\ed.mpg")), 0);  // disc 2, found beside disc 1
  EXPECT_EQ(InstallPathValue(), game_.string() + "/");
  const fs::path menu = fs::path(std::getenv("XDG_DATA_HOME")) / "applications" / "無人テスト";
  EXPECT_TRUE(fs::exists(menu / "無人テスト.desktop"));

  // The installed launcher uninstalls in place; save data stays unless asked for.
  test::WriteFile(game_ / "save.dat", "progress");
  ASSERT_EQ(Unattend(game_ / "install.exe", ""), 0) << err_;
  EXPECT_EQ(out_, "");
  EXPECT_TRUE(fs::exists(game_ / "save.dat"));
  for (const char* file : {"game.sh", "bgm", "movie", "game.dat", "install.dat", "install.exe"}) {
    EXPECT_FALSE(fs::exists(game_ / file)) << file;
  }
  EXPECT_FALSE(fs::exists(menu));
  EXPECT_EQ(InstallPathValue(), "");
}

TEST_F(Unattended, ThisDiscOnlyWithChosenComponents) {
  ASSERT_EQ(Install("--accept-license --this-disc-only --components sound"), 0) << err_;
  EXPECT_TRUE(fs::exists(game_ / "bgm" / "op.ogg"));
  EXPECT_FALSE(fs::exists(game_ / "movie"));     // disc 2 not installed
  EXPECT_FALSE(fs::exists(game_ / "game.dat"));  // no data component
  EXPECT_EQ(Install("--accept-license --components music"), 2);
}

TEST_F(Unattended, NextDiscElsewhereNeedsItsFolder) {
  // An installation beside the discs names the last disc it came from; it is no disc 2.
  const fs::path installed = dir_ / "set" / "installed";
  ASSERT_EQ(Unattend(VNSETUP, "--accept-license --folder " + test::ShellQuoted(installed.string()) + " " +
                                  test::ShellQuoted(disc1_.string())),
            0)
      << err_;
  const fs::path away = test::MakeTempDir("away") / "second";
  fs::rename(disc2_, away);
  EXPECT_EQ(Install("--accept-license"), 2);
  EXPECT_NE(err_.find("disc 2"), std::string::npos) << err_;
  EXPECT_NE(err_.find("--disc"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(game_));  // found out before anything was copied

  ASSERT_EQ(Install("--accept-license --disc " + test::ShellQuoted(away.string())), 0) << err_;
  EXPECT_TRUE(fs::exists(game_ / "movie" / "ed.mpg"));
}

TEST_F(Unattended, RefusedFolderIsBadUsage) {
  EXPECT_EQ(Unattend(VNSETUP, "--accept-license --folder / " + test::ShellQuoted(disc1_.string())), 2);
  EXPECT_NE(err_.find("正しいインストール先"), std::string::npos) << err_;
}

// Discs mastered with capital names (INSTALL.DAT, GAME.DAT) and mounted on a case-sensitive file
// system are read as Windows reads them.
TEST_F(Unattended, DiscsWithCapitalNamesInstall) {
  for (const fs::path& disc : {disc1_, disc2_}) {
    fs::rename(disc / "install.dat", disc / "INSTALL.DAT");
    fs::rename(disc / "game.dat", disc / "GAME.DAT");
  }
  ASSERT_EQ(Install("--accept-license"), 0) << err_;
  EXPECT_TRUE(fs::exists(game_ / "movie" / "ed.mpg"));  // disc 2 found beside disc 1
  for (const char* entry : {"scenario\\a.txt", "scenario\\b.txt"}) {
    EXPECT_EQ(Run(test::ShellQuoted(VNKIT) + " cat " + test::ShellQuoted((game_ / "game.dat").string()) +
                  " '" + entry + "'"),
              0)
        << err_;
  }
  EXPECT_EQ(out_, "\x93\xF1");  // "二", stored as Shift-JIS
}

// Every file of the installation: whether it is executable, its size and a hash of its content.
std::map<std::string, std::string> InstalledTree(const fs::path& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const bool program = (entry.status().permissions() & fs::perms::owner_exec) != fs::perms::none;
    const std::string content = test::ReadFile(entry.path());
    tree[entry.path().lexically_relative(folder).string()] =
        (program ? "x " : "- ") + std::to_string(content.size()) + " " +
        std::to_string(std::hash<std::string>()(content));
  }
  return tree;
}

// A set kept as ISO images installs as the folders do, byte for byte, read where it lies: with TMPDIR
// naming a file, not one byte could be copied out first. Joliet names only (the script is known as a
// program by its first bytes), the second disc's install.dat and game.dat in capitals.
TEST_F(Unattended, DiscImagesInstallInPlaceAsTheFoldersDo) {
  if (std::system("command -v xorriso >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xorriso missing (scripts/setup.sh)";
  fs::rename(disc2_ / "install.dat", disc2_ / "INSTALL.DAT");
  fs::rename(disc2_ / "game.dat", disc2_ / "GAME.DAT");
  fs::permissions(disc1_ / "game.sh", fs::perms::owner_exec, fs::perm_options::add);
  ASSERT_EQ(Install("--accept-license"), 0) << err_;
  const std::map<std::string, std::string> from_folders = InstalledTree(game_);
  ASSERT_EQ(Unattend(game_ / "install.exe", ""), 0) << err_;
  ASSERT_FALSE(fs::exists(game_));

  const fs::path images = test::MakeTempDir("images");
  for (const fs::path& disc : {disc1_, disc2_}) {
    ASSERT_EQ(
        Run("xorriso -as mkisofs -J -o " + test::ShellQuoted((images / disc.filename()).string() + ".iso") +
            " " + test::ShellQuoted(disc.string())),
        0)
        << err_;
  }
  const fs::path no_temp = images / "not-a-folder";
  test::WriteFile(no_temp, "");
  ASSERT_EQ(Run("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TMPDIR=" +
                test::ShellQuoted(no_temp.string()) + " " + test::ShellQuoted(VNSETUP) +
                " --unattended --accept-license --folder " + test::ShellQuoted(game_.string()) + " " +
                test::ShellQuoted((images / "disc1.iso").string())),
            0)
      << err_;
  EXPECT_EQ(InstalledTree(game_), from_folders);
}

// A settings file that is a pipe would block the launcher in open() for ever (`timeout` makes
// that a failed exit code here); it is refused at once with the file named.
TEST_F(Unattended, APipeForASettingsFileOrSourceIsRefusedNotWaitedFor) {
  fs::remove(disc1_ / "install.dat");
  ASSERT_EQ(::mkfifo((disc1_ / "install.dat").c_str(), 0600), 0);
  EXPECT_EQ(Run("timeout 60 env -u DISPLAY " + test::ShellQuoted(fs::path(VNSETUP).string()) +
                " --unattended " + test::ShellQuoted(disc1_.string())),
            1);
  EXPECT_NE(err_.find("install.dat: not a regular file"), std::string::npos) << err_;
  // A pipe named as the source itself is no disc either.
  const fs::path pipe = disc1_.parent_path() / "disc.iso";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(Run("timeout 60 env -u DISPLAY " + test::ShellQuoted(fs::path(VNSETUP).string()) +
                " --unattended " + test::ShellQuoted(pipe.string())),
            1);
  EXPECT_NE(err_.find("disc.iso: no disc folder, disc image"), std::string::npos) << err_;
}

}  // namespace
}  // namespace vn
