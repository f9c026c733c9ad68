#include "launcher/entry_rules.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/fileops.h"
#include "platform/volumes.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

TEST(DecideRole, FollowsTheRoleTable) {
  struct Row {
    bool installed, argument, update_mode;
    uint8_t install_type;
    LaunchRole role;
  };
  const Row rows[] = {
      {true, false, false, 0, LaunchRole::kCopyForUninstall},
      {true, false, true, 2, LaunchRole::kCopyForUninstall},
      {true, true, false, 0, LaunchRole::kUninstallWizard},
      {false, true, false, 0, LaunchRole::kInstallWizard},
      {false, false, true, 0, LaunchRole::kInstallWizard},
      {false, false, false, 2, LaunchRole::kInstallWizard},
      {false, false, false, 1, LaunchRole::kStartMenu},
      {false, false, false, 0, LaunchRole::kStartMenu},
  };
  for (const Row& row : rows) {
    TVondInstallSet s;
    s.Installed = row.installed;
    s.UpdateMode = row.update_mode;
    s.InstallType = row.install_type;
    EXPECT_EQ(DecideRole(s, row.argument), row.role)
        << row.installed << row.argument << row.update_mode << int(row.install_type);
  }
}

TEST(DecideRole, OwnFileGoesForTheWizardsUnlessFilesAreKeptApart) {
  TVondInstallSet s;
  EXPECT_TRUE(RemovesOwnFile(s, LaunchRole::kInstallWizard));
  EXPECT_TRUE(RemovesOwnFile(s, LaunchRole::kUninstallWizard));
  EXPECT_FALSE(RemovesOwnFile(s, LaunchRole::kStartMenu));
  EXPECT_FALSE(RemovesOwnFile(s, LaunchRole::kCopyForUninstall));
  s.SeparateFiles = true;
  EXPECT_FALSE(RemovesOwnFile(s, LaunchRole::kInstallWizard));
  EXPECT_TRUE(RemovesOwnFile(s, LaunchRole::kUninstallWizard));
}

TEST(InstallFolderMutex, WindowsFoldersUpperCasedWithDashes) {
  EXPECT_EQ(InstallFolderMutexName(DataString("C:\\Games\\Title")).bytes(), "C:-GAMES-TITLE-");
  EXPECT_EQ(InstallFolderMutexName(DataString("c:\\games\\title\\")).bytes(), "C:-GAMES-TITLE-");
  // "表" is 0x95 0x5C: its second byte is no delimiter and stays; the double-byte "ｓ" keeps its case.
  const DataString folder("C:\\\x95\x5C\\\x82\x93");
  EXPECT_EQ(InstallFolderMutexName(folder).bytes(), "C:-\x95\x5C-\x82\x93-");
}

TEST(InstallFolderMutex, NativePathsTakeSlashesAsDelimiters) {
  EXPECT_EQ(InstallFolderMutexNameOfPath("/home/u/Games/Title").bytes(), "-HOME-U-GAMES-TITLE-");
  EXPECT_EQ(InstallFolderMutexNameOfPath("/home/u/Games/Title/").bytes(), "-HOME-U-GAMES-TITLE-");
  // UTF-8 text becomes code page 932 first, so the name is the one a Windows path would give.
  EXPECT_EQ(InstallFolderMutexNameOfPath("/g/表/x").bytes(), "-G-\x95\\-X-");
  // No code page 932 form: the UTF-8 bytes stay, ASCII letters upper-cased.
  EXPECT_EQ(InstallFolderMutexNameOfPath("/g/\xF0\x9F\x98\x80"
                                         "a")
                .bytes(),
            "-G-\xF0\x9F\x98\x80"
            "A-");
}

TEST(CdDrive, OnlyTheRootOfAMountCounts) {
  EXPECT_EQ(CdDriveOf(test::MakeTempDir("cd")), "");
  EXPECT_EQ(CdDriveOf("/"), "/");
  if (IsMountRoot("/proc")) {
    EXPECT_EQ(CdDriveOf("/proc/"), "/proc");
  }
}

class TemporaryCopyTest : public testing::Test {
 protected:
  void SetUp() override {
    temp_ = test::MakeTempDir("tmp");
    exe_ = test::MakeTempDir("disc") / "install.exe";
    test::WriteFile(exe_, "launcher program");
  }
  fs::path temp_, exe_;
};

TEST_F(TemporaryCopyTest, FirstCandidateThenNumberedNames) {
  EXPECT_EQ(MakeTemporaryCopy(exe_, temp_), temp_ / "~vinstall.exe");
  EXPECT_EQ(test::ReadFile(temp_ / "~vinstall.exe"), "launcher program");

  // A candidate that cannot be replaced (here a folder of that name) moves the copy on to number 0.
  fs::remove(temp_ / "~vinstall.exe");
  fs::create_directory(temp_ / "~vinstall.exe");
  EXPECT_EQ(MakeTemporaryCopy(exe_, temp_), temp_ / "~vinstall0.exe");
}

TEST_F(TemporaryCopyTest, ReadOnlyLeftoverIsOverwritten) {
  test::WriteFile(temp_ / "~vinstall.exe", "old copy");
  ::chmod((temp_ / "~vinstall.exe").c_str(), 0444);
  EXPECT_EQ(MakeTemporaryCopy(exe_, temp_), temp_ / "~vinstall.exe");
  EXPECT_EQ(test::ReadFile(temp_ / "~vinstall.exe"), "launcher program");
}

TEST_F(TemporaryCopyTest, FailsAfterAHundredAttempts) {
  fs::create_directory(temp_ / "~vinstall.exe");
  for (int k = 0; k <= 97; ++k) fs::create_directory(temp_ / ("~vinstall" + std::to_string(k) + ".exe"));
  EXPECT_EQ(MakeTemporaryCopy(exe_, temp_), temp_ / "~vinstall98.exe");
  fs::remove(temp_ / "~vinstall98.exe");
  fs::create_directory(temp_ / "~vinstall98.exe");
  EXPECT_EQ(MakeTemporaryCopy(exe_, temp_), fs::path());
  EXPECT_FALSE(fs::exists(temp_ / "~vinstall99.exe"));
}

TEST(LaunchFailure, MessageCarriesTheShellResult) {
  EXPECT_EQ(LaunchFailureMessage(2), "プログラムを実行できませんでした\r\nエラーコード[2]");
}

}  // namespace
}  // namespace vn
