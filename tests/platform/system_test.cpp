#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include "platform/error.h"
#include "platform/special_folders.h"
#include "platform/system.h"
#include "platform/temporary_copy.h"
#include "platform/volumes.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

TEST(FormatThousands, GroupsOfThree) {
  EXPECT_EQ(FormatThousands(0), "0");
  EXPECT_EQ(FormatThousands(999), "999");
  EXPECT_EQ(FormatThousands(1000), "1,000");
  EXPECT_EQ(FormatThousands(123456), "123,456");
  EXPECT_EQ(FormatThousands(1234567), "1,234,567");
  EXPECT_EQ(FormatThousands(-1234), "-1,234");
  EXPECT_EQ(FormatThousands(INT64_MIN), "-9,223,372,036,854,775,808");
}

TEST(SpecialFolders, FollowTheUsersXdgFolders) {
  const fs::path home = getenv("HOME");
  const fs::path data = getenv("XDG_DATA_HOME");
  EXPECT_TRUE(IsAdministrator());
  EXPECT_EQ(GetSpecialFolder(kCsidlPrograms), data / "applications");
  EXPECT_EQ(GetSpecialFolder(kCsidlProgramFiles), ::geteuid() == 0 ? fs::path("/opt") : home / "Games");
  EXPECT_EQ(GetSpecialFolder(kCsidlLocalAppData), data);
  EXPECT_EQ(GetSpecialFolder(kCsidlDesktop), home / "Desktop");
  EXPECT_THROW(GetSpecialFolder(17), Exception);  // "My Computer" has no folder
  EXPECT_EQ(WindowsFolder(), data / "vnsetup/windows");
  EXPECT_EQ(GetSystemDrive(), home);
  EXPECT_EQ(TemporaryFolder(), fs::path(getenv("TMPDIR")));

  // The user's own desktop folder name, and a relative TMPDIR that does not count.
  test::WriteFile(fs::path(getenv("XDG_CONFIG_HOME")) / "user-dirs.dirs",
                  "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  EXPECT_EQ(GetSpecialFolder(kCsidlDesktopDirectory), home / "Schreibtisch");
  fs::remove(fs::path(getenv("XDG_CONFIG_HOME")) / "user-dirs.dirs");
  const std::string tmp = getenv("TMPDIR");
  setenv("TMPDIR", "relative", 1);
  EXPECT_EQ(TemporaryFolder(), fs::path("/tmp"));
  setenv("TMPDIR", tmp.c_str(), 1);
}

TEST(UserSaveFolders, FindsExistingCleanedFoldersOnly) {
  const fs::path data = getenv("XDG_DATA_HOME");
  // "ソフト:2" -- 0x83 0x5C is one character whose second byte must stay.
  const DataString title("\x83\x5C\x83\x74\x83\x67:2");
  EXPECT_EQ(CleanSaveFolderName(DataString("a\\b/c:d,e;f*g?h\"i<j>k|l")),
            DataString("a_b_c_d_e_f_g_h_i_j_k_l"));
  EXPECT_EQ(CleanSaveFolderName(title), DataString("\x83\x5C\x83\x74\x83\x67_2"));

  std::vector<fs::path> list{"earlier"};
  EXPECT_EQ(UserSaveFolders(title, list), 1);  // not there yet: the list keeps what it had
  fs::create_directories(data / "ソフト_2");
  EXPECT_EQ(UserSaveFolders(title, list), 2);
  EXPECT_EQ(list.back(), data / "ソフト_2");  // found once, though XDG_DATA_HOME is ~/.local/share here

  list.clear();
  EXPECT_EQ(UserSaveFolders(DataString(""), list), 0);
  EXPECT_EQ(UserSaveFolders(DataString(".."), list), 0);    // never the parent folder
  EXPECT_EQ(UserSaveFolders(DataString("\x81"), list), 0);  // no native form
  EXPECT_TRUE(list.empty());
}

TEST(TemporaryCopy, OnlyCopiesInTheTemporaryFolderAreRemoved) {
  const fs::path tmp = TemporaryFolder();
  EXPECT_EQ(TemporaryCopyName(-1), "~vinstall.exe");
  EXPECT_EQ(TemporaryCopyName(0), "~vinstall0.exe");
  EXPECT_EQ(TemporaryCopyName(98), "~vinstall98.exe");

  // An installed launcher started by hand with a folder argument keeps its file.
  const fs::path installed = test::MakeTempDir("Games") / "install.exe";
  test::WriteFile(installed, "ELF");
  EXPECT_FALSE(IsTemporaryCopy(installed));
  EXPECT_FALSE(RemoveTemporaryCopy(installed));
  EXPECT_TRUE(fs::exists(installed));
  // So does one that merely carries the name elsewhere, or another name in the temporary folder.
  const fs::path elsewhere = installed.parent_path() / "~vinstall.exe";
  test::WriteFile(elsewhere, "ELF");
  EXPECT_FALSE(RemoveTemporaryCopy(elsewhere));
  test::WriteFile(tmp / "~vinstall99.exe", "ELF");
  test::WriteFile(tmp / "install.exe", "ELF");
  EXPECT_FALSE(RemoveTemporaryCopy(tmp / "~vinstall99.exe"));
  EXPECT_FALSE(RemoveTemporaryCopy(tmp / "install.exe"));
  EXPECT_TRUE(fs::exists(elsewhere));

  for (const fs::path& copy :
       {tmp / "~vinstall.exe", tmp / "~vinstall7.exe", tmp / "sub/../~vinstall0.exe"}) {
    fs::create_directories(tmp / "sub");
    test::WriteFile(copy, "ELF");
    EXPECT_TRUE(IsTemporaryCopy(copy)) << copy;
    EXPECT_TRUE(RemoveTemporaryCopy(copy)) << copy;
    EXPECT_FALSE(fs::exists(copy));
  }
}

TEST(Volumes, FreeSpaceAndMountRoots) {
  const fs::path dir = test::MakeTempDir("space");
  const int64_t free_here = FreeSpace(dir);
  EXPECT_GT(free_here, 0);
  // A folder still to be created is measured on the file system that will hold it.
  EXPECT_GT(FreeSpace(dir / "not/yet/there"), 0);
  EXPECT_EQ(MountPointOf(dir / "not/yet/there"), MountPointOf(dir));
  EXPECT_TRUE(IsMountRoot("/"));
  EXPECT_EQ(MountPointOf("/"), fs::path("/"));
  EXPECT_FALSE(IsMountRoot(dir / "not/yet/there"));
  const fs::path mount = MountPointOf(dir);
  ASSERT_FALSE(mount.empty());
  EXPECT_TRUE(IsMountRoot(mount));
  EXPECT_EQ(IsMountRoot(dir), mount == fs::canonical(dir));
  fs::create_directories(dir / "sub");
  EXPECT_FALSE(IsMountRoot(dir / "sub"));
  // One file system holds the folder and the parts of it still to be made; /proc is another one.
  EXPECT_TRUE(OnSameVolume(dir / "sub", mount / "not/yet"));
  EXPECT_FALSE(OnSameVolume(dir, "/proc"));
  EXPECT_FALSE(IsOpticalDisc(dir));
  // The drive list offers the file system of a user's folder, once, and none of the system's own.
  const std::vector<fs::path> drives = OfferedDrives();
  EXPECT_EQ(std::count(drives.begin(), drives.end(), mount), 1) << mount;
  EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
  for (const fs::path& drive : drives) {
    for (const char* system : {"/proc", "/sys", "/dev"}) {
      EXPECT_EQ(drive.lexically_relative(system).native().substr(0, 2), "..") << drive;
    }
  }
}

}  // namespace
}  // namespace vn
