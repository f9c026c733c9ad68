// vnsetup --unattended run as a user runs it: on a two-disc set vnkit builds, with no display and
// no Qt platform named.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <vector>

#include "platform/disc_files.h"
#include "platform/file.h"
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

  // Installs from `disc` with TMPDIR naming a file: not one byte can be copied out first.
  int InstallWithoutTemporarySpace(const fs::path& disc, const std::string& args = "") {
    const fs::path no_temp = dir_ / "not-a-folder";
    test::WriteFile(no_temp, "");
    return Run(
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TMPDIR=" + test::ShellQuoted(no_temp.string()) +
        " " + test::ShellQuoted(VNSETUP) + " --unattended --accept-license --folder " +
        test::ShellQuoted(game_.string()) + " " + args + " " + test::ShellQuoted(disc.string()));
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

// The program's texts follow the system's language, --lang and VNSETUP_LANG; the disc's stay as stored.
TEST_F(Unattended, TextsInTheLanguageChosen) {
  const auto install = [&](const std::string& language, const std::string& option = "") {
    return Run("env -u DISPLAY -u LANGUAGE -u LC_ALL -u LC_MESSAGES " + language + " " +
               test::ShellQuoted(VNSETUP) + " --unattended " + option + " --accept-license --folder " +
               test::ShellQuoted(game_.string()) + " " + test::ShellQuoted(disc1_.string()));
  };
  ASSERT_EQ(install("LANG=en_US.UTF-8"), 0) << err_;
  const std::vector<std::string> english_lines = {"Install: 無人テスト", "Copying " + game_.string() + "/",
                                                  "Creating shortcuts", "The installation is complete"};
  for (const std::string& english : english_lines) {
    EXPECT_NE(err_.find(english), std::string::npos) << english << "\n" << err_;
  }
  for (const char* japanese : {"インストール:", "コピー中", "ショートカット", "完了しました"}) {
    EXPECT_EQ(err_.find(japanese), std::string::npos) << japanese << "\n" << err_;
  }
  EXPECT_NE(err_.find("第1条 同意してください"), std::string::npos) << err_;
  const fs::path menu = fs::path(std::getenv("XDG_DATA_HOME")) / "applications" / "無人テスト";
  EXPECT_TRUE(fs::exists(menu / "Uninstall 無人テスト.desktop"));

  // The uninstall in Japanese on an English system; what the English install made goes all the same.
  ASSERT_EQ(Run("env -u DISPLAY LANG=en_US.UTF-8 VNSETUP_LANG=ja " +
                test::ShellQuoted((game_ / "install.exe").string()) + " --unattended"),
            0)
      << err_;
  EXPECT_NE(err_.find("アンインストール: 無人テスト"), std::string::npos) << err_;
  EXPECT_NE(err_.find("アンインストールが完了しました"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(menu));
  EXPECT_FALSE(fs::exists(game_));

  // --lang before VNSETUP_LANG before the system; a language the program has no texts in is said.
  ASSERT_EQ(install("LANG=ja_JP.UTF-8 VNSETUP_LANG=ja", "--lang en"), 0) << err_;
  EXPECT_NE(err_.find("The installation is complete"), std::string::npos) << err_;
  EXPECT_EQ(Run(test::ShellQuoted(VNSETUP) + " --unattended --lang fr " + test::ShellQuoted(disc1_.string())),
            2);
  EXPECT_NE(err_.find("--lang fr"), std::string::npos) << err_;
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

// The image of raw 2352-byte sectors a CD ripper writes of `iso`: each 2048-byte sector behind its
// sync pattern and header (MODE1), or header and form-1 sub-header (MODE2). The error-correction
// bytes stay zero: no reader checks them.
std::string RawSectors(const std::string& iso, int mode) {
  const auto bcd = [](size_t v) { return static_cast<char>((v / 10) << 4 | v % 10); };
  std::string raw;
  for (size_t lba = 0; lba * 2048 < iso.size(); ++lba) {
    std::string sector(2352, '\0');
    sector.replace(1, 10, 10, '\xff');
    const size_t address = lba + 150;  // minutes, seconds, frames from the start of the disc
    sector[12] = bcd(address / 75 / 60);
    sector[13] = bcd(address / 75 % 60);
    sector[14] = bcd(address % 75);
    sector[15] = static_cast<char>(mode);
    if (mode == 2) sector[18] = sector[22] = 8;  // sub-header: data, form 1
    sector.replace(mode == 1 ? 16 : 24, 2048, iso.substr(lba * 2048, 2048));
    raw += sector;
  }
  return raw;
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
  ASSERT_EQ(InstallWithoutTemporarySpace(images / "disc1.iso"), 0) << err_;
  EXPECT_EQ(InstalledTree(game_), from_folders);

  // The same set as rips keep it, of raw 2352-byte sectors: a cue sheet with its .bin (disc 1 in
  // MODE2, read through libcdio's cue driver; disc 2 in MODE1, its bare .bin found beside), and CloneCD
  // .ccd/.img pairs.
  const fs::path rips = test::MakeTempDir("rips"), clone = test::MakeTempDir("clone");
  for (const int disc : {1, 2}) {
    const std::string iso = test::ReadFile(images / ("disc" + std::to_string(disc) + ".iso"));
    const std::string name = "disc" + std::to_string(disc);
    const int mode = disc == 1 ? 2 : 1;
    test::WriteFile(rips / (name + ".bin"), RawSectors(iso, mode));
    test::WriteFile(rips / (name + ".cue"), "FILE \"" + name + ".bin\" BINARY\r\n  TRACK 01 MODE" +
                                                std::to_string(mode) + "/2352\r\n    INDEX 01 00:00:00\r\n");
    test::WriteFile(clone / (name + ".img"), RawSectors(iso, 3 - mode));
    test::WriteFile(clone / (name + ".ccd"),
                    "[CloneCD]\nVersion=3\n[Disc]\nTocEntries=4\nSessions=1\n[TRACK 1]\nMODE=" +
                        std::to_string(3 - mode) + "\nINDEX 1=0\n");
  }
  for (const fs::path& first : {rips / "disc1.cue", clone / "disc1.ccd"}) {
    ASSERT_EQ(Unattend(game_ / "install.exe", ""), 0) << err_;
    ASSERT_EQ(InstallWithoutTemporarySpace(first), 0) << first << err_;
    EXPECT_EQ(InstalledTree(game_), from_folders) << first;
  }

  // Named as a disc image but none: refused as such, naming it, instead of being read as an archive.
  test::WriteFile(images / "broken.bin", std::string(100000, '\x01'));
  EXPECT_EQ(Unattend(VNSETUP, test::ShellQuoted((images / "broken.bin").string())), 1);
  EXPECT_NE(
      err_.find((images / "broken.bin").string() + ": ディスクイメージではありません (not a disc image"),
      std::string::npos)
      << err_;
}

// Files in several extents are read where they lie. A file one byte over 1 GiB in a UDF-only image
// (genisoimage records it as two extents) installs without a byte of temporary space; a file over
// 4 GiB on an ISO level-3 image (a directory record per extent) reads across its extents. The files
// are sparse and the images written sparse, so the disk sees little of their size.
TEST_F(Unattended, FilesInSeveralExtentsAreReadInPlace) {
  if (std::system("command -v genisoimage >/dev/null 2>&1 && command -v xorriso >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "genisoimage or xorriso missing (scripts/setup.sh)";
  const fs::path big = disc1_ / "bgm" / "op.ogg";  // a listed file of the sound component
  const auto make_big = [&](int64_t size, int64_t edge) {
    fs::resize_file(big, 0);
    fs::resize_file(big, static_cast<uintmax_t>(size));
    File file(big, FileAccess::kReadWrite);
    file.WriteAt(edge - 2, "EDGE", 4);
    file.WriteAt(size - 4, "TAIL", 4);
  };
  const auto read_at = [](File& file, int64_t position) {
    std::string bytes(4, '\0');
    EXPECT_EQ(file.ReadAt(position, bytes.data(), 4), 4);
    return bytes;
  };
  const fs::path images = test::MakeTempDir("extents");
  const auto master = [&](const std::string& tool, const fs::path& image) {
    return Run(tool + " -o - " + test::ShellQuoted(disc1_.string()) +
               " | dd of=" + test::ShellQuoted(image.string()) + " bs=1M conv=sparse status=none");
  };

  const int64_t gib = int64_t{1} << 30;
  make_big(gib + 1, gib - 2048);
  ASSERT_EQ(master("genisoimage -quiet -udf -J", images / "udf.iso"), 0) << err_;
  ASSERT_TRUE(test::KeepOnlyUdfDescriptors(images / "udf.iso"));
  ASSERT_EQ(InstallWithoutTemporarySpace(images / "udf.iso", "--this-disc-only"), 0) << err_;
  File copied(game_ / "bgm" / "op.ogg", FileAccess::kRead);
  EXPECT_EQ(copied.Size(), gib + 1);
  EXPECT_EQ(read_at(copied, gib - 2048 - 2), "EDGE");
  EXPECT_EQ(read_at(copied, gib - 3), "TAIL");
  copied.Close();
  ASSERT_EQ(Unattend(game_ / "install.exe", ""), 0) << err_;

  // The first extent of a level-3 file holds 4 GiB less one block; the big file is not installed.
  const int64_t first_extent = 4 * gib - 2048;
  make_big(first_extent + 4096, first_extent);
  ASSERT_EQ(master("xorriso -as mkisofs -quiet -iso-level 3 -J", images / "level3.iso"), 0) << err_;
  ASSERT_EQ(InstallWithoutTemporarySpace(images / "level3.iso", "--this-disc-only --components data"), 0)
      << err_;
  const std::unique_ptr<DiscFiles> disc = OpenDiscFiles(images / "level3.iso");
  const std::optional<DiscFileInfo> info = disc->Find("BGM\\op.ogg");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->size, first_extent + 4096);
  File file = disc->Open(*info);
  EXPECT_EQ(read_at(file, first_extent - 2), "EDGE");
  EXPECT_EQ(read_at(file, first_extent + 4092), "TAIL");
}

// What a killed run copied out of a disc image goes at the start of the next run, whatever it does;
// a folder a live run holds, one nothing proves a run of ours made, and a link are left alone.
TEST_F(Unattended, AbandonedScratchFoldersGoAtTheStartOfAnyRun) {
  const fs::path temp = test::MakeTempDir("scratch");
  const auto make = [&](const std::string& name, bool lock_file) {
    test::WriteFile(temp / name / "directx" / "dxsetup.exe", "MZ");
    if (lock_file) test::WriteFile(temp / name / ".in-use", "");
  };
  make("vnsetup-disc-1", true);      // its run was killed
  make("vnsetup-disc-new-2", true);  // killed while it was being made
  make("vnsetup-disc-3", true);      // its run is alive (the lock is held below)
  make("vnsetup-disc-4", false);     // no lock file
  make("vnsetup-disc-x5", true);     // not a name of ours
  make("elsewhere", true);
  fs::create_directory_symlink(temp / "elsewhere", temp / "vnsetup-disc-6");
  File held(temp / "vnsetup-disc-3" / ".in-use", FileAccess::kReadWrite);
  ASSERT_TRUE(held.TryClaimForWriting());
  EXPECT_EQ(Run("TMPDIR=" + test::ShellQuoted(temp.string()) + " " + test::ShellQuoted(VNSETUP) + " --help"),
            0);
  for (const char* gone : {"vnsetup-disc-1", "vnsetup-disc-new-2"})
    EXPECT_FALSE(fs::exists(temp / gone)) << gone;
  for (const char* kept : {"vnsetup-disc-3", "vnsetup-disc-4", "vnsetup-disc-x5", "vnsetup-disc-6"}) {
    EXPECT_TRUE(fs::exists(temp / kept / "directx" / "dxsetup.exe")) << kept;
  }
}

// A folder record of an image that claims more bytes than the image holds is damage, named as such
// before the disc library would allocate all it claims; so is a record whose name runs past the
// record (the library would copy it from beyond its buffer).
TEST_F(Unattended, AnImageFolderClaimingMoreThanTheImageIsRefused) {
  if (std::system("command -v xorriso >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xorriso missing (scripts/setup.sh)";
  fs::create_directories(disc1_ / "movie");
  test::WriteFile(disc1_ / "movie" / "op.mpg", "movie");
  const fs::path image = test::MakeTempDir("images") / "disc1.iso";
  ASSERT_EQ(Run("xorriso -as mkisofs -o " + test::ShellQuoted(image.string()) + " " +
                test::ShellQuoted(disc1_.string())),
            0)
      << err_;
  const std::string made = test::ReadFile(image);
  for (const bool name_too_long : {false, true}) {
    std::string bytes = made;
    // name length and name, in the folder's record in the root or the file's record in /movie
    const std::string record_name = name_too_long ? std::string(1, '\10') + "OP.MPG;1" : std::string(1, '\5') + "MOVIE";
    const size_t at = bytes.find(record_name);
    ASSERT_NE(at, std::string::npos);
    if (name_too_long) {
      bytes[at] = '\xF0';
    } else {
      bytes.replace(at - 32 + 10, 8, "\x67\x67\x67\x67\x67\x67\x67\x67");  // its size, both byte orders
    }
    test::WriteFile(image, bytes);
    EXPECT_EQ(Run("env -u DISPLAY " + test::ShellQuoted(VNSETUP) + " --unattended " +
                  test::ShellQuoted(image.string())),
              1);
    EXPECT_NE(err_.find(name_too_long ? "folder /movie lies past the end of the image or holds a broken entry"
                                      : "folder /movie lies past the end of the image"),
              std::string::npos)
        << err_;
  }
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
