// The destination page: the proposed folder, the sub-folder kept on browsing, the space figures and
// the checks made when leaving it.
#include <gtest/gtest.h>

#include "installer/wizard_flow.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/volumes.h"
#include "settings/settings.h"
#include "tests/installer/wizard_view_fake.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kMiB = 1048576;

class WizardDestinationTest : public ::testing::Test {
 protected:
  TVondInstallSet settings;
  test::FakeWizardView view;
  int64_t free_bytes = int64_t{1} << 40;
  fs::path games = GetSpecialFolder(kCsidlProgramFiles);
  static inline int key_counter = 0;

  void SetUp() override {
    settings.Title = DataString("Yume");
    settings.RegistryKey = DataString("VnWizardTest\\Game" + std::to_string(++key_counter));
    settings.SetDiscCount(1);
    settings.ProgSize = settings.DiscProgSize[0] = 2 * kMiB;
    settings.DiscSoundSize[0] = kMiB / 2;
    fs::create_directories(games);
  }

  // A wizard on the destination page.
  std::unique_ptr<TWizardFlow> OnSelDir() {
    auto flow = std::make_unique<TWizardFlow>(settings, view);
    flow->FreeSpaceOf = [this](const fs::path&) { return free_bytes; };
    flow->FormCreate();
    if (flow->Controls().page == kPageFile) flow->btnNextClick();
    EXPECT_EQ(flow->Controls().page, kPageSelDir);
    return flow;
  }

  static std::string Text(const fs::path& p) { return PathToUtf8(p); }
};

TEST_F(WizardDestinationTest, ProgramFilesPresetKeepsItsSubFolderOnBrowsing) {
  settings.DefaultFolder = DataString("<ProgramFiles>\\Foo\\");
  auto flow = OnSelDir();
  const WizardControls& c = flow->Controls();
  EXPECT_EQ(c.EditDir, Text(games) + "/Foo");
  EXPECT_EQ(c.Directory, games);
  EXPECT_EQ(flow->FolderSuffix(), "Foo");
  const fs::path other = test::MakeTempDir("other");
  flow->DirectoryChange(other);
  EXPECT_EQ(c.EditDir, Text(other) + "/Foo");
  EXPECT_EQ(flow->DestinationFolder(), Utf8ToPath(Text(other) + "/Foo/"));
  free_bytes = 2048 * kMiB;
  flow->DriveChange("/");  // another drive: the list moves to its root, the space line follows
  EXPECT_EQ(c.Directory, fs::path("/"));
  EXPECT_EQ(c.EditDir, "/Foo");
  EXPECT_EQ(c.LabelSzDrv, "このドライブには 2,048 MBの空きがあります");

  settings.DefaultFolder = DataString("<ProgramFiles>\\Foo\\Bar");  // neither exists: walk up
  auto nested = OnSelDir();
  EXPECT_EQ(nested->Controls().EditDir, Text(games) + "/Foo/Bar");
  EXPECT_EQ(nested->Controls().Directory, games);

  settings.UpdateMode = true;  // an update keeps exactly the folder picked
  auto update = OnSelDir();
  update->DirectoryChange(other);
  EXPECT_EQ(update->Controls().EditDir, Text(other));
}

TEST_F(WizardDestinationTest, PresetWithoutTagLiesOnTheSystemDrive) {
  settings.DefaultFolder = DataString("\\Games\\Foo");
  // Games exists, Foo not yet: the list shows Games, the proposal stays whole (no Games/Games/Foo).
  fs::create_directories(GetSystemDrive() / "Games");
  auto flow = OnSelDir();
  EXPECT_EQ(flow->Controls().EditDir, Text(GetSystemDrive()) + "/Games/Foo");
  EXPECT_EQ(flow->Controls().Directory, GetSystemDrive() / "Games");
  EXPECT_EQ(flow->FolderSuffix(), "Games/Foo");
}

TEST_F(WizardDestinationTest, StoredInstallPathWinsAndBrowsingAddsNothing) {
  settings.DefaultFolder = DataString("<ProgramFiles>\\Foo");
  const fs::path earlier = test::MakeTempDir("earlier");
  settings.WriteValue("InstallPath", Text(earlier) + "/");
  auto flow = OnSelDir();
  EXPECT_EQ(flow->Controls().EditDir, Text(earlier));
  flow->DirectoryChange(games);
  EXPECT_EQ(flow->Controls().EditDir, Text(games));

  settings.WriteValue("InstallPath", Text(earlier) + "/gone");  // no longer there: the preset
  EXPECT_EQ(OnSelDir()->Controls().EditDir, Text(games) + "/Foo");
}

TEST_F(WizardDestinationTest, DriveRootsAndRelativeNamesAreRefused) {
  auto flow = OnSelDir();
  WizardControls& c = flow->Controls();
  for (const char* wrong : {"/", "", "Games/Foo", "/tmp/.."}) {
    view.dialogs.clear();
    c.EditDir = wrong;
    flow->btnNextClick();
    EXPECT_EQ(c.page, kPageSelDir) << wrong;
    ASSERT_EQ(view.dialogs.size(), 1u) << wrong;
    EXPECT_EQ(view.dialogs[0].text, "正しいインストール先を指定してください");
    EXPECT_EQ(view.dialogs[0].kind, DialogKind::kWarning);
    EXPECT_EQ(view.dialogs[0].buttons, unsigned{kButtonOK});
  }
  view.dialogs.clear();
  c.EditDir = Text(games) + "/a";
  flow->btnNextClick();
  EXPECT_EQ(c.page, kPageConfirm);
  EXPECT_TRUE(view.dialogs.empty());
}

TEST_F(WizardDestinationTest, TypedFolderMovesTheListsAndTheSpaceLine) {
  settings.DefaultFolder = DataString("<ProgramFiles>\\Foo");
  auto flow = OnSelDir();
  WizardControls& c = flow->Controls();
  const fs::path other = test::MakeTempDir("typed");
  fs::path measured;
  flow->FreeSpaceOf = [&](const fs::path& path) {
    measured = path;
    return 3 * kMiB;
  };
  c.EditDir = Text(other / "new" / "Game");
  flow->EditDirChange();
  EXPECT_EQ(c.EditDir, Text(other / "new" / "Game"));  // kept as typed, no sub-folder added
  EXPECT_EQ(c.Directory, other);
  EXPECT_EQ(c.Drive, MountPointOf(other));
  EXPECT_EQ(measured, Utf8ToPath(Text(other / "new" / "Game") + "/"));
  EXPECT_EQ(c.LabelSzDrv, "このドライブには 3 MBの空きがあります");
  c.EditDir = "relative/half";  // half typed: the lists stay
  flow->EditDirChange();
  EXPECT_EQ(c.Directory, other);
}

TEST_F(WizardDestinationTest, SpaceQuestionComparesBytesWithTheLauncherOnceMore) {
  settings.DefaultFolder = DataString("<ProgramFiles>\\Foo");
  settings.ProgSize = settings.DiscProgSize[0] = kMiB * 19 / 10;  // 1.9 MiB
  free_bytes = kMiB * 19 / 10 + 1000;
  auto flow = OnSelDir();
  flow->SetLauncherBytes(1000);
  flow->btnBackClick();
  flow->btnNextClick();
  EXPECT_EQ(flow->Controls().LabelSzDrv, "このドライブには 1 MBの空きがあります");
  flow->btnNextClick();
  EXPECT_EQ(flow->Controls().page, kPageConfirm);
  EXPECT_TRUE(view.dialogs.empty());
  flow->btnBackClick();
  flow->SetLauncherBytes(1001);  // one byte short
  flow->btnNextClick();
  EXPECT_EQ(flow->Controls().page, kPageSelDir);
  ASSERT_EQ(view.dialogs.size(), 1u);
  view.dialogs.clear();

  free_bytes = -1;  // cannot be measured: 0 MB free
  auto full = OnSelDir();
  EXPECT_EQ(full->Controls().LabelSzDrv, "このドライブには 0 MBの空きがあります");
  full->btnNextClick();  // answered No: stays
  EXPECT_EQ(full->Controls().page, kPageSelDir);
  ASSERT_EQ(view.dialogs.size(), 1u);
  EXPECT_EQ(view.dialogs[0].text, "ドライブにじゅうぶんな空き容量がありません\r\nこのまま処理を続けますか？");
  EXPECT_EQ(view.dialogs[0].buttons, unsigned{kButtonYes | kButtonNo});
  view.answers = {kButtonYes};
  full->btnNextClick();
  EXPECT_EQ(full->Controls().page, kPageConfirm);

  free_bytes = int64_t{1234567} * kMiB + 17;
  EXPECT_EQ(OnSelDir()->Controls().LabelSzDrv, "このドライブには 1,234,567 MBの空きがあります");
}

TEST_F(WizardDestinationTest, SoundBoxChangesBothSizeLines) {
  auto flow = OnSelDir();
  flow->btnBackClick();
  WizardControls& c = flow->Controls();
  EXPECT_TRUE(c.SoundVisible);
  c.CheckSound = true;
  flow->CheckDataClick();
  EXPECT_EQ(c.LabelSize, "最低 2.50 MBのディスクの空き容量が必要です");
  EXPECT_EQ(c.LabelSzNeed, "インストールには最低 2.50 MBのディスクの空き容量が必要です");
  c.CheckSound = false;
  flow->CheckDataClick();
  EXPECT_EQ(c.LabelSize, "最低 2.00 MBのディスクの空き容量が必要です");
  EXPECT_EQ(c.LabelSzNeed, "インストールには最低 2.00 MBのディスクの空き容量が必要です");
}

TEST_F(WizardDestinationTest, UpdateNeedsTheSameTitleInTheFolder) {
  settings.UpdateMode = true;
  const fs::path installed = test::MakeTempDir("installed");
  TVondInstallSet other;
  other.Installed = true;
  other.Title = DataString("yume");  // titles compare exactly
  other.SaveToFile(installed / "install.dat");
  auto flow = OnSelDir();
  WizardControls& c = flow->Controls();
  c.EditDir = Text(installed);
  flow->btnNextClick();
  EXPECT_EQ(c.page, kPageSelDir);
  ASSERT_EQ(view.dialogs.size(), 1u);
  EXPECT_EQ(
      view.dialogs[0].text,
      "正しいインストール先を指定してください\r\nほかのソフト（yume）がインストールされているフォルダです");
  EXPECT_EQ(flow->RequiredBytes(), 2 * kMiB);    // all components, whatever the boxes say
  c.EditDir = Text(test::MakeTempDir("empty"));  // nothing to update there
  flow->btnNextClick();
  EXPECT_EQ(view.dialogs.back().text, "正しいインストール先を指定してください");
  c.EditDir = Text(installed);

  other.Title = settings.Title;
  other.SaveToFile(installed / "install.dat");
  flow->btnNextClick();
  EXPECT_EQ(c.page, kPageConfirm);

  test::WriteFile(installed / "install.dat", "is108 damaged");
  flow->btnBackClick();
  EXPECT_ANY_THROW(flow->btnNextClick());  // reported by the window's error box; the page stays
  EXPECT_EQ(c.page, kPageSelDir);
}

// Folders where the installation would mix with the user's own files, a disc or another game are
// refused with the reason, whatever the free space.
TEST_F(WizardDestinationTest, HomeDesktopDiscAndAnotherGamesFolderAreRefused) {
  const fs::path set = test::MakeTempDir("set");
  const fs::path disc = set / "disc1";
  TVondInstallSet on_disc = settings;
  fs::create_directories(disc);
  on_disc.SaveToFile(disc / "install.dat");
  const fs::path other = test::MakeTempDir("other");
  TVondInstallSet other_game;
  other_game.Title = DataString("Other");
  other_game.Installed = true;
  other_game.SaveToFile(other / "install.dat");
  const std::string home = Text(HomeFolder());
  const std::string why_disc = "ディスクのフォルダにはインストールできません";
  const std::vector<std::pair<std::string, std::string>> refused = {
      {home, "ホームフォルダにはインストールできません"},
      {home + "/", "ホームフォルダにはインストールできません"},
      {Text(HomeFolder().parent_path()), "ホームフォルダを含むフォルダにはインストールできません"},
      {Text(GetSpecialFolder(kCsidlDesktopDirectory)),
       "デスクトップやドキュメントのフォルダにはインストールできません"},
      {Text(disc), why_disc},
      {Text(disc / "Game"), why_disc},
      {Text(set), why_disc},
      {Text(other), "ほかのソフト（Other）がインストールされているフォルダです"}};
  auto flow = OnSelDir();
  flow->SetSourceFolder(disc);
  WizardControls& c = flow->Controls();
  for (const auto& [folder, why] : refused) {
    view.dialogs.clear();
    c.EditDir = folder;
    flow->btnNextClick();
    EXPECT_EQ(c.page, kPageSelDir) << folder;
    ASSERT_EQ(view.dialogs.size(), 1u) << folder;
    EXPECT_EQ(view.dialogs[0].text, "正しいインストール先を指定してください\r\n" + why) << folder;
  }
  // Disc 2 beside the disc run from, and a folder inside it: a disc all the same.
  const fs::path disc2 = set / "disc2";
  on_disc.DiscIndex = 1;
  fs::create_directories(disc2);
  on_disc.SaveToFile(disc2 / "install.dat");
  flow->SetSourceFolder(test::MakeTempDir("elsewhere"));
  for (const fs::path& folder : {disc2, disc2 / "sub"}) {
    c.EditDir = Text(folder);
    flow->btnNextClick();
    EXPECT_EQ(view.dialogs.back().text, "正しいインストール先を指定してください\r\n" + why_disc) << folder;
  }
  view.dialogs.clear();
  c.EditDir = Text(HomeFolder() / "Games" / "Yume");
  flow->btnNextClick();
  EXPECT_EQ(c.page, kPageConfirm);
  EXPECT_TRUE(view.dialogs.empty());
}

}  // namespace
}  // namespace vn
