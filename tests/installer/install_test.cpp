#include <gtest/gtest.h>

#include <algorithm>

#include "archive/vr_files.h"
#include "installer/install_engine.h"
#include "installer/uninstall_engine.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "tests/installer/installer_fixture.h"
#include "tests/support/test_env.h"

namespace vn::test {
namespace {
namespace fs = std::filesystem;

DiscSpec Disc1() {
  return {{{"game.sh", "#!/bin/sh\necho game\n"},
           {"readme.txt", "read me"},
           {"Sound/op.ogg", std::string(3000, 's')},
           {"movie/op.mpg", std::string(2000, 'm')}},
          {{"scenario\\start.txt", "start"}, {"graphics\\cg01.bin", std::string(5000, 'g')}},
          {}};
}
DiscSpec Disc2() {
  return {{{"sound/bgm2.wav", "wave"}}, {{"scenario\\chapter2.txt", "chapter two"}}, {}};
}

bool Recorded(const TVondInstallSet& s, const char* utf8) {
  return s.FindInstalledFile(Utf8ToCp932(utf8)) >= 0;
}

class InstallTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeTempDir("set");
    dest_ = MakeTempDir("dest") / "Game";
    host_.choices = {.all_discs = true,
                     .check_data = true,
                     .check_sound = true,
                     .check_movie = false,
                     .destination = dest_,
                     .required_bytes = 100000};
    // Tests share the sandbox's menu and registry.
    fs::remove_all(GetSpecialFolder(kCsidlPrograms));
    GameSettings(1).DeleteRegistryKey();
  }

  EngineResult Install(const fs::path& disc_folder) {
    settings_.LoadFromFile(disc_folder / "install.dat");
    archive_.Open(disc_folder / "game.dat");
    temp_ = MakeTempDir("tmp");
    WriteFile(root_ / "vnsetup", "launcher");
    InstallSource source{disc_folder, &archive_, temp_, launcher_.empty() ? root_ / "vnsetup" : launcher_,
                         [this](const fs::path& f, const fs::path&) {
                           opened_.push_back(f);
                           return 42;
                         }};
    return RunInstall(host_, settings_, source);
  }

  TVondInstallSet Installed() {
    TVondInstallSet s;
    s.LoadFromFile(dest_ / "install.dat");
    return s;
  }

  fs::path root_, dest_, temp_, launcher_;
  FakeHost host_;
  TVondInstallSet settings_;
  TVrFileCollection archive_;
  std::vector<fs::path> opened_;
};

TEST(FileGroupTest, ExtensionsBySubstring) {
  EXPECT_EQ(FileGroup(DataString(".OGG")), 1);
  EXPECT_EQ(FileGroup(DataString(".mp")), 1);
  EXPECT_EQ(FileGroup(DataString(".mpe")), 2);
  EXPECT_EQ(FileGroup(DataString(".wmv")), 2);
  EXPECT_EQ(FileGroup(DataString("")), 0);
  EXPECT_EQ(FileGroup(DataString(".exe")), 0);
}

TEST_F(InstallTest, SingleDiscEndToEnd) {
  auto discs = BuildDiscSet(root_, {Disc1()}, GameSettings(1));
  WriteFile(discs[0] / "unlisted.txt", "not part of the game");
  // An earlier data file with a part file goes first.
  WriteFile(dest_ / "game.dat", "old");
  WriteFile(dest_ / "game.001", "old part");

  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  EXPECT_EQ(ReadFile(dest_ / "game.sh"), "#!/bin/sh\necho game\n");
  EXPECT_EQ(ReadFile(dest_ / "Sound/op.ogg").size(), 3000u);
  EXPECT_FALSE(fs::exists(dest_ / "movie/op.mpg")) << "movies were not chosen";
  EXPECT_FALSE(fs::exists(dest_ / "unlisted.txt"));
  EXPECT_FALSE(fs::exists(dest_ / "game.001"));

  TVrFileCollection data;
  data.Open(dest_ / "game.dat");
  EXPECT_TRUE(data.Verify());
  TMemoryStream m;
  data.ReadEntry(m, DataString("scenario\\start.txt"));
  EXPECT_EQ(m.Bytes(), "start");

  const TVondInstallSet s = Installed();
  EXPECT_TRUE(s.Installed);
  EXPECT_TRUE(s.DataInstalled);
  EXPECT_EQ(ReadFile(dest_ / "install.exe"), "launcher") << "the disc brought none";
  for (const char* f :
       {"game.sh", "readme.txt", "sound\\op.ogg", "game.dat", "game.ext", "install.dat", "install.exe"})
    EXPECT_TRUE(Recorded(s, f)) << f;
  EXPECT_FALSE(Recorded(s, "movie\\op.mpg"));

  std::string path = settings_.ReadValue("InstallPath", "");
  EXPECT_EQ(Utf8ToPath(path), dest_ / "");

  const fs::path group = GetSpecialFolder(kCsidlPrograms) / "星の湖";
  const std::string game = ReadFile(group / "星の湖.desktop");
  EXPECT_NE(game.find("Name=星の湖\n"), std::string::npos);
  EXPECT_NE(game.find("Exec=\"" + PathToUtf8(dest_ / "game.sh") + "\"\n"), std::string::npos) << game;
  EXPECT_NE(game.find("Path=" + PathToUtf8(dest_) + "\n"), std::string::npos);
  EXPECT_NE(ReadFile(group / "お読みください.desktop").find("Exec=xdg-open "), std::string::npos);
  EXPECT_TRUE(fs::exists(group / "星の湖のアンインストール.desktop"));

  EXPECT_EQ(opened_, std::vector<fs::path>{dest_ / "readme.txt"});
  EXPECT_EQ(host_.pages, std::vector<std::string>{"exit"});
  EXPECT_EQ(host_.progress_max, 10000);
  EXPECT_EQ(host_.slept_ms, 4000);
}

TEST_F(InstallTest, TwoDiscsFoundBesideTheFirst) {
  auto discs = BuildDiscSet(root_, {Disc1(), Disc2()}, GameSettings(2));
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  ASSERT_EQ(host_.dialogs.size(), 1u);
  EXPECT_EQ(host_.dialogs[0].text, "ディスク2を入れてからOKをクリックしてください");
  // The folder disc 1 made as "Sound" takes disc 2's "sound" files, as on Windows.
  EXPECT_EQ(ReadFile(dest_ / "Sound/bgm2.wav"), "wave");

  TVrFileCollection data;
  data.Open(dest_ / "game.dat");
  EXPECT_TRUE(data.Verify());
  EXPECT_GE(data.IndexOf(DataString("scenario\\start.txt")), 0);
  EXPECT_GE(data.IndexOf(DataString("scenario\\chapter2.txt")), 0);
  // Records of disc 1 survive the settings reloaded from disc 2.
  const TVondInstallSet s = Installed();
  EXPECT_TRUE(Recorded(s, "game.sh"));
  EXPECT_TRUE(Recorded(s, "sound\\bgm2.wav"));
}

// Installed beside the disc folders (discs copied to ~/Games, the game into ~/Games/<title>), the
// installed copy's install.dat names the same title and the last disc; it is no disc.
TEST_F(InstallTest, ReinstallBesideTheDiscsDoesNotTakeTheInstallationForADisc) {
  auto discs = BuildDiscSet(root_, {Disc1(), Disc2()}, GameSettings(2));
  dest_ = root_ / "Game";
  host_.choices.destination = dest_;
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  TVrFileCollection data;
  data.Open(dest_ / "game.dat");
  EXPECT_GE(data.IndexOf(DataString("scenario\\chapter2.txt")), 0) << "disc 2 was read";
  EXPECT_TRUE(data.Verify());
}

TEST_F(InstallTest, DiscPromptAsksAgainUntilFoundOrAborted) {
  auto discs = BuildDiscSet(root_, {Disc1(), Disc2()}, GameSettings(2));
  const fs::path elsewhere = MakeTempDir("mnt") / "DISC2";
  fs::rename(discs[1], elsewhere);

  // OK with no disc found, Abort then No: asked again; the third time the user points at it.
  host_.answers = {kButtonOK, kButtonAbort, kButtonNo, kButtonOK};
  host_.folders = {std::nullopt, elsewhere};
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  EXPECT_EQ(host_.dialogs.size(), 4u);
  EXPECT_EQ(ReadFile(dest_ / "Sound/bgm2.wav"), "wave");

  // Abort confirmed: nothing recorded, and the files this run made are taken away again.
  const fs::path dest2 = MakeTempDir("dest2");
  host_ = FakeHost();
  host_.choices = {.all_discs = true, .check_data = true, .destination = dest2};
  host_.answers = {kButtonAbort, kButtonYes};
  settings_.DeleteRegistryKey();
  ASSERT_EQ(Install(discs[0]), EngineResult::kAborted);
  EXPECT_EQ(host_.modal, mrAbort);
  EXPECT_FALSE(fs::exists(dest2 / "game.sh"));
  EXPECT_TRUE(fs::is_empty(dest2)) << "the folder was there before: it stays";
  EXPECT_EQ(host_.texts[WizardControl::LabelCopyCap], "インストールは完了していません");
  // The last word to the user before the window closes: stopped, and what was taken away.
  ASSERT_FALSE(host_.dialogs.empty());
  EXPECT_EQ(host_.dialogs.back().kind, DialogKind::kInformation);
  EXPECT_EQ(host_.dialogs.back().text.rfind("インストールを中止しました\r\nコピーしたファイル ", 0), 0u)
      << host_.dialogs.back().text;
  EXPECT_EQ(host_.dialogs.back().text.find("フォルダ"), std::string::npos) << "the folder was there before";
  EXPECT_EQ(settings_.ReadValue("InstallPath", ""), "");
}

TEST_F(InstallTest, AbortDuringTheCopyStopsBeforeTheNextFile) {
  auto discs = BuildDiscSet(root_, {Disc1()}, GameSettings(1));
  host_.on_messages = [](FakeHost& h) {
    if (h.texts[WizardControl::LabelCopy] == "readme.txt をコピー中...") h.modal = mrAbort;
  };
  ASSERT_EQ(Install(discs[0]), EngineResult::kAborted);
  EXPECT_FALSE(fs::exists(dest_ / "readme.txt"));
  EXPECT_FALSE(fs::exists(dest_ / "install.dat"));
  EXPECT_FALSE(fs::exists(GetSpecialFolder(kCsidlPrograms) / "星の湖"));
  EXPECT_TRUE(host_.pages.empty());
}

TEST_F(InstallTest, AbortWhileTheDataFileIsBuilt) {
  DiscSpec disc = Disc1();
  for (int i = 0; i < 12; ++i) disc.archive["data\\" + std::to_string(i) + ".bin"] = std::string(100, 'x');
  auto discs = BuildDiscSet(root_, {disc}, GameSettings(1));
  host_.on_messages = [](FakeHost& h) {
    if (h.texts[WizardControl::LabelCopy].starts_with("データファイルを構築中(10/")) h.modal = mrAbort;
  };
  ASSERT_EQ(Install(discs[0]), EngineResult::kAborted);
  EXPECT_FALSE(fs::exists(dest_)) << "what this run made is removed, the folder with it";
  EXPECT_TRUE(fs::is_empty(dest_.parent_path()));
}

// The uninstaller belongs to the installation: an install that could not put it in place failed,
// and takes away what it made.
TEST_F(InstallTest, InstallWithoutItsUninstallerFails) {
  auto discs = BuildDiscSet(root_, {Disc1()}, GameSettings(1));
  launcher_ = root_ / "no such launcher";
  try {
    Install(discs[0]);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("インストールは完了していません"), std::string::npos) << e.what();
  }
  EXPECT_EQ(host_.texts[WizardControl::LabelExit],
            "インストールは完了していません");  // the page "exit" says so
  EXPECT_FALSE(fs::exists(dest_));
  EXPECT_EQ(settings_.ReadValue("InstallPath", ""), "");
  EXPECT_FALSE(fs::exists(GetSpecialFolder(kCsidlPrograms) / "星の湖"));

  // The disc's own install.exe cannot be copied (a folder of the user's is in the way); the user
  // goes on past the warning, but the installation would have no uninstaller.
  DiscSpec disc = Disc1();
  disc.files["install.exe"] = "launcher of the disc";
  discs = BuildDiscSet(MakeTempDir("set2"), {disc}, GameSettings(1));
  WriteFile(dest_ / "install.exe" / "mine.txt", "mine");
  EXPECT_THROW(Install(discs[0]), Exception);
  EXPECT_EQ(ReadFile(dest_ / "install.exe" / "mine.txt"), "mine");
  EXPECT_FALSE(fs::exists(dest_ / "install.dat"));
  EXPECT_FALSE(fs::exists(dest_ / "game.dat"));
}

// Flips a byte inside an entry's data on the disc.
void DamageEntry(const fs::path& data_file, const char* name) {
  std::string bytes = ReadFile(data_file);
  TVrFileCollection probe;
  probe.Open(data_file);
  const int at = probe.IndexOf(DataString(name));
  ASSERT_GE(at, 0);
  bytes[static_cast<size_t>(probe[at].Offset + 2)] ^= 0x55;
  probe.Open(fs::path());
  WriteFile(data_file, bytes);
}

TEST_F(InstallTest, DamagedEntryFoundByTheCheck) {
  auto discs = BuildDiscSet(root_, {Disc1()}, GameSettings(1));
  DamageEntry(discs[0] / "game.dat", "graphics\\cg01.bin");

  ASSERT_EQ(Install(discs[0]), EngineResult::kAborted);
  EXPECT_EQ(host_.modal, mrAbort);
  // The warning, then what the stopped run took away.
  ASSERT_EQ(host_.dialogs.size(), 2u);
  EXPECT_EQ(host_.dialogs[0].kind, DialogKind::kWarning);
  EXPECT_NE(host_.dialogs[0].text.find("ファイルの内容が正しくありません"), std::string::npos);
  EXPECT_NE(host_.dialogs[0].text.find("graphics\\cg01.bin"), std::string::npos);
  EXPECT_EQ(host_.dialogs[1].text.rfind("インストールを中止しました", 0), 0u) << host_.dialogs[1].text;
  EXPECT_FALSE(fs::exists(dest_ / "install.dat"));
}

// The data file's last entry is checked like every other one.
TEST_F(InstallTest, DamageInTheLastEntryIsFoundToo) {
  auto discs = BuildDiscSet(root_, {Disc1()}, GameSettings(1));
  DamageEntry(discs[0] / "game.dat", "scenario\\start.txt");
  ASSERT_EQ(Install(discs[0]), EngineResult::kAborted);
  EXPECT_EQ(host_.modal, mrAbort);
  EXPECT_FALSE(fs::exists(dest_ / "install.dat"));
}

TEST_F(InstallTest, SeparateFilesAreWrittenAndChecked) {
  DiscSpec disc{{}, {{"bin\\tool.dll", "tool"}, {"scenario\\a.txt", "a"}}, {"bin\\tool.dll"}};
  TVondInstallSet base = GameSettings(1);
  base.SeparateFiles = true;
  auto discs = BuildDiscSet(root_, {disc}, base);
  host_.choices.check_data = false;
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  EXPECT_EQ(ReadFile(dest_ / "bin/tool.dll"), "tool");
  EXPECT_FALSE(fs::exists(dest_ / "game.dat"));
  EXPECT_TRUE(Recorded(Installed(), "bin\\tool.dll"));
}

TEST_F(InstallTest, IntoTheWindowsFolderNothingIsRecorded) {
  TVondInstallSet base = GameSettings(1);
  base.InstallType = 2;
  auto discs = BuildDiscSet(root_, {Disc1()}, base);
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  EXPECT_TRUE(fs::exists(dest_ / "game.dat"));
  EXPECT_FALSE(fs::exists(dest_ / "install.dat"));
  EXPECT_FALSE(fs::exists(GetSpecialFolder(kCsidlPrograms) / "星の湖"));
  EXPECT_EQ(settings_.ReadValue("InstallPath", ""), "");
  EXPECT_EQ(opened_.size(), 1u) << "the readme is opened all the same";
}

// An installation without install.dat whose executable carries the archive: the executable is
// rebuilt from the disc's entries plus its old ones, checked, and copied over the old one.
TEST_F(InstallTest, UpdateRebuildsTheExecutableThatCarriesTheArchive) {
  fs::create_directories(dest_);
  {
    const fs::path staging = MakeTempDir("old");
    TVondInstallSet old = GameSettings(1);
    old.SaveToFile(staging / "install.dat");
    WriteFile(staging / "old.txt", "old only");
    WriteFile(staging / "shared.txt", "old shared");
    TVrFileCollection pack;
    pack.Open(staging);
    for (const char* name : {"install.dat", "old.txt", "shared.txt"}) pack.Add(DataString(name));
    {
      TBigFileStream stream(staging / "old.pak", TBigFileStream::kCreate);
      pack.SaveToStream(stream);
    }
    WriteFile(dest_ / "game.exe", "MZ bare program");
    AppendArchive(dest_ / "game.exe", staging / "old.pak");
  }
  TVondInstallSet base = GameSettings(1);
  base.UpdateMode = true;
  auto discs = BuildDiscSet(root_, {{{}, {{"shared.txt", "new shared"}, {"new.txt", "new"}}, {}}}, base);

  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  EXPECT_EQ(ReadFile(dest_ / "game.exe").substr(0, 15), "MZ bare program");
  TVrFileCollection updated;
  updated.Open(dest_ / "game.exe");
  EXPECT_TRUE(updated.Verify());
  TMemoryStream m;
  updated.ReadEntry(m, DataString("shared.txt"));
  EXPECT_EQ(m.Bytes(), "new shared");
  updated.ReadEntry(m, DataString("old.txt"));
  EXPECT_EQ(m.Bytes(), "old only");
  updated.ReadEntry(m, DataString("new.txt"));
  EXPECT_EQ(m.Bytes(), "new");
  EXPECT_FALSE(fs::exists(dest_ / "install.dat"));
  EXPECT_TRUE(fs::is_empty(temp_)) << "the work folder is removed";
}

// --- Uninstall --------------------------------------------------------------------------------

TEST_F(InstallTest, UninstallRemovesExactlyWhatWasInstalled) {
  auto discs = BuildDiscSet(root_, {Disc1()}, GameSettings(1));
  // Installed twice: the second run records the files the first one left as well.
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  TVondInstallSet s = Installed();
  s.SetRegistry(nullptr);

  // The game's own files, save data, and traps pointing outside the install folder.
  WriteFile(dest_ / "Sound/user.txt", "mine");
  WriteFile(dest_ / "save.dat", "save");
  WriteFile(dest_ / "game.ini", "ini");
  const fs::path outside = MakeTempDir("outside");
  WriteFile(outside / "victim.txt", "keep");
  WriteFile(dest_.parent_path() / "escape.txt", "keep");
  fs::create_directory_symlink(outside, dest_ / "link");
  s.AddInstalledFile(DataString("link\\victim.txt"));
  s.AddInstalledFile(DataString("..\\escape.txt"));

  FakeHost host;
  host.choices.delete_save_data = false;
  EXPECT_TRUE(SaveDataFound(s, dest_));
  ASSERT_EQ(RunUninstall(host, s, dest_), EngineResult::kCompleted);
  EXPECT_EQ(host.pages, std::vector<std::string>{"exit"});
  EXPECT_EQ(host.texts[WizardControl::LabelExit], "アンインストールが完了しました");

  EXPECT_FALSE(fs::exists(dest_ / "game.sh"));
  EXPECT_FALSE(fs::exists(dest_ / "game.dat"));
  EXPECT_FALSE(fs::exists(dest_ / "install.dat"));
  EXPECT_FALSE(fs::exists(dest_ / "install.exe"));
  EXPECT_FALSE(fs::exists(dest_ / "Sound/op.ogg"));
  EXPECT_FALSE(fs::exists(dest_ / "game.ini"));
  EXPECT_EQ(ReadFile(dest_ / "Sound/user.txt"), "mine");
  EXPECT_EQ(ReadFile(dest_ / "save.dat"), "save");
  EXPECT_EQ(ReadFile(outside / "victim.txt"), "keep");
  EXPECT_EQ(ReadFile(dest_.parent_path() / "escape.txt"), "keep");
  EXPECT_FALSE(fs::exists(GetSpecialFolder(kCsidlPrograms) / "星の湖"));
  EXPECT_EQ(s.ReadValue("InstallPath", ""), "");
}

TEST_F(InstallTest, UninstallWithSaveDataRemovesTheSaveFolderAndTheInstallFolder) {
  auto discs = BuildDiscSet(root_, {Disc1()}, GameSettings(1));
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  const TVondInstallSet s = Installed();
  std::vector<fs::path> saves;
  UserSaveFolders(s.Title, saves);
  const fs::path save_folder = GetSpecialFolder(kCsidlLocalAppData) / "星の湖";
  WriteFile(save_folder / "save.dat", "save");
  EXPECT_TRUE(SaveDataFound(s, dest_));

  FakeHost host;
  host.choices.delete_save_data = true;
  ASSERT_EQ(RunUninstall(host, s, dest_), EngineResult::kCompleted);
  EXPECT_FALSE(fs::exists(save_folder));
  EXPECT_FALSE(fs::exists(dest_));
  EXPECT_FALSE(SaveDataFound(s, dest_));
}

TEST_F(InstallTest, UninstallAbortedBeforeDeletingLeavesEverything) {
  auto discs = BuildDiscSet(root_, {Disc1()}, GameSettings(1));
  ASSERT_EQ(Install(discs[0]), EngineResult::kCompleted);
  FakeHost host;
  host.on_messages = [](FakeHost& h) {
    if (h.texts[WizardControl::LabelDel] == "ファイルを削除しています...") h.modal = mrAbort;
  };
  ASSERT_EQ(RunUninstall(host, Installed(), dest_), EngineResult::kAborted);
  EXPECT_TRUE(fs::exists(dest_ / "game.dat"));
  EXPECT_FALSE(fs::exists(GetSpecialFolder(kCsidlPrograms) / "星の湖")) << "shortcuts go first";
}

}  // namespace
}  // namespace vn::test
