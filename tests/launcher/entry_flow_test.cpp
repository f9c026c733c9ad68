#include "launcher/entry_flow.h"

#include "archive/big_stream.h"
#include "archive/vr_files.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "launcher/entry_rules.h"
#include "launcher/shared_archive.h"
#include "platform/error.h"
#include "platform/mutex.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/special_folders.h"
#include "settings/settings.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// Records what the entry flow asked of the windows.
class FakeUi : public LauncherUi {
 public:
  bool ShowStartMenu(TVondInstallSet& settings, int32_t& start_choice) override {
    ++menus;
    menu_had_archive = SharedArchive() != nullptr;
    menu_title = settings.Title.bytes();
    if (throw_in_menu) throw std::runtime_error("menu failed");
    start_choice = choice;
    return menu_ok;
  }
  void RunWizard(TVondInstallSet& settings) override {
    ++wizards;
    wizard_had_archive = SharedArchive() != nullptr;
    if (wizard_installs) settings.WriteValue("InstallPath", "/games/Title/");
  }
  void ShowWarning(const std::string& text) override { warnings.push_back(text); }
  void ShowSystemWarning(const std::string& text) override { warnings.push_back(text); }

  bool menu_ok = true;
  int32_t choice = 1;
  bool throw_in_menu = false;
  bool wizard_installs = false;  // the wizard ends with the installation registered
  int menus = 0, wizards = 0;
  bool menu_had_archive = false, wizard_had_archive = false;
  std::string menu_title;
  std::vector<std::string> warnings;
};

class EntryFlowTest : public testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    ++counter;
    key_ = "VnTest\\Game" + std::to_string(counter);
    disc_ = test::MakeTempDir("disc");
    temp_ = test::MakeTempDir("tmp");
    settings_.Title = DataString("Title " + std::to_string(counter));
    settings_.RegistryKey = DataString(key_);
    settings_.ExeName = DataString("game.bin");
    env_.exe = disc_ / "install.exe";
    test::WriteFile(env_.exe, "launcher");
    env_.temp_folder = temp_;
    env_.shell_open = [this](const fs::path& file, std::string_view params, const fs::path& folder) {
      started_.push_back({file, std::string(params)});
      started_in_.push_back(folder);
      return shell_result_;
    };
  }

  void SaveSettings(const fs::path& folder) { settings_.SaveToFile(folder / "install.dat"); }
  // An archive file holding install.dat.
  fs::path PackSettings() {
    const fs::path loose = test::MakeTempDir("loose");
    SaveSettings(loose);
    const fs::path file = test::MakeTempDir("pack") / "game.dat";
    TVrFileCollection archive;
    archive.Open(loose);
    archive.Add(DataString("install.dat"));
    TBigFileStream stream(file, TBigFileStream::kCreate);
    archive.SaveToStream(stream);
    return file;
  }
  std::string Registry(const std::string& name) {
    std::string value = "(absent)";
    DefaultRegistry().ReadString("Software\\" + key_, name, value);
    return value;
  }
  void Run() { EXPECT_EQ(RunEntryFlow(env_, ui_), 0); }

  std::string key_;
  fs::path disc_, temp_;
  TVondInstallSet settings_;
  EntryEnvironment env_;
  FakeUi ui_;
  int shell_result_ = kShellStarted;
  std::vector<std::pair<fs::path, std::string>> started_;
  std::vector<fs::path> started_in_;  // the working folder of each
};

TEST_F(EntryFlowTest, MenuInstallStartsATemporaryCopyWithTheQuotedDiscFolder) {
  SaveSettings(disc_);
  Run();
  EXPECT_EQ(ui_.menus, 1);
  EXPECT_TRUE(ui_.menu_had_archive);
  EXPECT_EQ(ui_.menu_title, settings_.Title.bytes());
  EXPECT_EQ(Registry("CDDrive"), "(absent)") << "no key for a title never installed";
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0].first, temp_ / "~vinstall.exe");
  EXPECT_EQ(test::ReadFile(temp_ / "~vinstall.exe"), "launcher");
  EXPECT_EQ(started_[0].second, "\"" + disc_.string() + "/\"");
  EXPECT_EQ(started_in_[0], temp_) << "not the folder it was started from, which it may remove";
  EXPECT_TRUE(ui_.warnings.empty());
  EXPECT_EQ(SharedArchive(), nullptr);
  EXPECT_FALSE(MutexExists(settings_.Title));
}

TEST_F(EntryFlowTest, MenuGameStartOpensTheInstalledGameAndReportsAFailure) {
  SaveSettings(disc_);
  DefaultRegistry().WriteString("Software\\" + key_, "InstallPath", "/nowhere/Game");
  ui_.choice = 0;
  shell_result_ = kShellFileNotFound;
  Run();
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0].first, fs::path("/nowhere/Game/game.bin"));
  EXPECT_EQ(started_[0].second, "");
  ASSERT_EQ(ui_.warnings.size(), 1u);
  EXPECT_EQ(ui_.warnings[0], "プログラムを実行できませんでした\r\nエラーコード[2]");
}

TEST_F(EntryFlowTest, MenuClosedWithoutOkStartsNothing) {
  SaveSettings(disc_);
  ui_.menu_ok = false;
  Run();
  EXPECT_EQ(ui_.menus, 1);
  EXPECT_TRUE(started_.empty());
  EXPECT_FALSE(fs::exists(temp_ / "~vinstall.exe"));
}

// The disc's drive goes into a key that is there; a title without one gets it from the install that
// registers it, so an aborted or failed install (or a menu closed) leaves no key behind.
TEST_F(EntryFlowTest, DiscDriveIsRecordedInAnExistingKeyOrByTheInstall) {
  SaveSettings(disc_);
  ui_.menu_ok = false;
  Run();
  EXPECT_FALSE(settings_.RegistryKeyExists());
  DefaultRegistry().WriteString("Software\\" + key_, "Volume", "8");  // the game's own value
  Run();
  EXPECT_EQ(Registry("CDDrive"), "");  // the disc folder is no mount root
  DefaultRegistry().DeleteKeyTree("Software\\" + key_);

  // The temporary copy the menu started, with the disc folder.
  env_.exe = TemporaryFolder() / "~vinstall.exe";
  env_.args = {disc_.string() + "/"};
  test::WriteFile(env_.exe, "launcher");
  Run();
  EXPECT_EQ(ui_.wizards, 1);
  EXPECT_FALSE(settings_.RegistryKeyExists()) << "the wizard did not install";
  ui_.wizard_installs = true;
  test::WriteFile(env_.exe, "launcher");
  Run();
  EXPECT_EQ(Registry("CDDrive"), "");
  DefaultRegistry().DeleteKeyTree("Software\\" + key_);
}

TEST_F(EntryFlowTest, SeparateFilesInstallsInPlace) {
  settings_.SeparateFiles = true;
  SaveSettings(disc_);
  Run();
  EXPECT_EQ(ui_.wizards, 1);
  EXPECT_TRUE(ui_.wizard_had_archive);
  EXPECT_TRUE(started_.empty());
}

TEST_F(EntryFlowTest, MissingSettingsFileIsReported) {
  Run();
  EXPECT_EQ(ui_.warnings, std::vector<std::string>{"インストール設定ファイルがありません"});
  EXPECT_EQ(ui_.menus, 0);
}

TEST_F(EntryFlowTest, EndsSilentlyWhileTheGameOrAnotherLauncherRuns) {
  SaveSettings(disc_);
  const std::string folder = PathToUtf8(test::MakeTempDir("game"));
  DefaultRegistry().WriteString("Software\\" + key_, "InstallPath", folder);
  {
    // The running game holds the mutex of its install folder.
    auto game = CreateInstanceMutex(InstallFolderMutexNameOfPath(folder + "/"));
    ASSERT_TRUE(game);
    Run();
  }
  {
    auto other_launcher = CreateInstanceMutex(settings_.Title);
    ASSERT_TRUE(other_launcher);
    Run();
  }
  EXPECT_EQ(ui_.menus, 0);
  EXPECT_TRUE(ui_.warnings.empty());
  Run();
  EXPECT_EQ(ui_.menus, 1);
}

TEST_F(EntryFlowTest, UninstallerCopiesItselfAndTheCopyRunsTheWizard) {
  settings_.Installed = true;
  SaveSettings(disc_);
  Run();
  EXPECT_EQ(ui_.wizards, 0);
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0].first, temp_ / "~vinstall.exe");

  // The copy: started from the temporary folder with the quoted install folder.
  const fs::path copy = TemporaryFolder() / "~vinstall.exe";
  test::WriteFile(copy, "launcher");
  env_.exe = copy;
  env_.args = SplitParameters(started_[0].second);
  Run();
  EXPECT_EQ(ui_.wizards, 1);
  EXPECT_FALSE(ui_.wizard_had_archive);
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(started_.size(), 1u);  // it never copies itself again
}

TEST_F(EntryFlowTest, WizardRunRemovesOnlyAGenuineTemporaryCopy) {
  const fs::path source = test::MakeTempDir("src");
  SaveSettings(source);
  env_.args = {source.string() + "/"};
  Run();  // a launcher started by hand with a folder argument keeps its file
  EXPECT_EQ(ui_.wizards, 1);
  EXPECT_TRUE(ui_.wizard_had_archive);
  EXPECT_TRUE(fs::exists(env_.exe));
}

TEST_F(EntryFlowTest, SettingsComeFromAnArchiveArgumentOrTheOwnExecutable) {
  const fs::path archive = PackSettings();
  env_.args = {archive.string()};
  Run();  // an archive file as argument: install.dat read from inside it, then the wizard
  EXPECT_EQ(ui_.wizards, 1);
  EXPECT_TRUE(ui_.wizard_had_archive);

  // An executable carrying the archive after its end starts the menu without any file beside it.
  env_.args.clear();
  AppendArchive(env_.exe, archive);
  Run();
  EXPECT_EQ(ui_.menus, 1);
  EXPECT_EQ(ui_.menu_title, settings_.Title.bytes());
  EXPECT_TRUE(ui_.warnings.empty());
}

// `vnsetup --disc DIR`: an installed vnsetup (carrying an archive of its own, even) acts as the
// launcher of the disc in DIR, and its temporary copy, started with an argument, keeps the copy's role.
TEST_F(EntryFlowTest, DiscFolderRunsAsThatDiscsLauncher) {
  const fs::path installed = test::MakeTempDir("bin") / "vnsetup";
  test::WriteFile(installed, "native launcher");
  AppendArchive(installed, PackSettings());
  settings_.Title = DataString("Disc opened");
  SaveSettings(disc_);
  env_.exe = installed;
  env_.disc_folder = disc_;
  Run();
  EXPECT_EQ(ui_.menus, 1);
  EXPECT_EQ(ui_.menu_title, "Disc opened");
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(test::ReadFile(started_[0].first).substr(0, 15), "native launcher");
  EXPECT_EQ(started_[0].second, "\"" + disc_.string() + "/\"");

  env_.exe = started_[0].first;  // the copy runs the wizard on the disc folder
  env_.disc_folder.clear();
  env_.args = SplitParameters(started_[0].second);
  Run();
  EXPECT_EQ(ui_.wizards, 1);
  EXPECT_TRUE(ui_.wizard_had_archive);

  // A disc read from an image: the copy is handed the image, which it opens again.
  env_.exe = installed;
  env_.args.clear();
  env_.disc_folder = disc_;
  env_.disc_argument = "/media/images/disc 1.iso";
  Run();
  ASSERT_EQ(started_.size(), 2u);
  EXPECT_EQ(started_[1].second, "\"/media/images/disc 1.iso\"");

  // An installed copy opened with --disc is its uninstaller: a temporary copy for that folder.
  settings_.Installed = true;
  SaveSettings(disc_);
  env_.disc_argument.clear();
  Run();
  EXPECT_EQ(ui_.menus, 2);
  ASSERT_EQ(started_.size(), 3u);
  EXPECT_EQ(started_[2].second, "\"" + disc_.string() + "/\"");
}

TEST_F(EntryFlowTest, FailedCopyIsReportedAndStartsNothing) {
  settings_.Installed = true;
  SaveSettings(disc_);
  env_.temp_folder = temp_ / "missing";
  Run();
  EXPECT_EQ(ui_.warnings, std::vector<std::string>{"ファイルをコピーできません"});
  EXPECT_TRUE(started_.empty());
}

TEST_F(EntryFlowTest, ErrorsLeaveWithTheMutexReleasedAndTheArchiveFreed) {
  SaveSettings(disc_);
  ui_.throw_in_menu = true;
  EXPECT_THROW(RunEntryFlow(env_, ui_), std::runtime_error);
  EXPECT_FALSE(MutexExists(settings_.Title));
  EXPECT_EQ(SharedArchive(), nullptr);

  test::WriteFile(disc_ / "install.dat", "is108 damaged");
  EXPECT_THROW(RunEntryFlow(env_, ui_), Exception);
}

}  // namespace
}  // namespace vn
