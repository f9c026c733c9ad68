// A disc set whose launcher and game are Windows programs (a test game cross-built with mingw), on
// Linux: installed with vnsetup, played through Wine from the start menu and the menu entry,
// uninstalled with the native vnsetup; the same set as ISO images, and damaged images refused.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <locale.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "launcher/entry_flow.h"
#include "launcher/launcher_ui.h"
#include "platform/shell.h"
#include "platform/special_folders.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// The start menu answered with "game start"; warnings kept.
class GameStartUi : public LauncherUi {
 public:
  bool ShowStartMenu(TVondInstallSet&, int32_t& start_choice) override {
    start_choice = 0;
    return true;
  }
  void RunWizard(TVondInstallSet&) override {}
  void ShowWarning(const std::string& text) override { warnings.push_back(text); }
  void ShowSystemWarning(const std::string& text) override { warnings.push_back(text); }
  std::vector<std::string> warnings;
};

// The folder as a Windows program under Wine sees it (drive Z: is the root), in code page 932 as the
// test game writes it.
std::string WineFolder(const fs::path& folder) {
  std::string text = "Z:" + folder.string();
  for (char& c : text) c = c == '/' ? '\\' : c;
  return Utf8ToCp932(text).bytes();
}

// A desktop entry's value of `key`.
std::string DesktopValue(const fs::path& entry, const std::string& key) {
  const std::string text = test::ReadFile(entry);
  const size_t at = text.find("\n" + key + "=");
  if (at == std::string::npos) return {};
  const size_t start = at + key.size() + 2;
  return text.substr(start, text.find('\n', start) - start);
}

class WindowsDisc : public testing::Test {
 protected:
  // One fresh Wine prefix for the run; Wine makes it on the first start. No display: the test game
  // is a console program, and no dialog of Wine's own may wait for a user.
  static void SetUpTestSuite() {
    prefix_ = new fs::path(test::MakeTempDir("wine") / "prefix");
    setenv("WINEPREFIX", prefix_->c_str(), 1);
    // Wine stays quiet unless VN_TEST_WINEDEBUG asks for its messages (e.g. "err+all").
    setenv("WINEDEBUG", getenv("VN_TEST_WINEDEBUG") ? getenv("VN_TEST_WINEDEBUG") : "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }
  static void TearDownTestSuite() {
    test::RunShell("wineserver -k", test::MakeTempDir("wineserver"));
    delete prefix_;
  }

  void SetUp() override {
    fs::copy_file(TEST_GAME, dir_ / "game.exe");
    test::WriteFile(dir_ / "spec.json", R"({
      "settings": {"Title": "窓のゲーム", "RegistryKey": "\\VnsetupWindowsDisc", "ExeName": "game.exe"},
      "discs": [
        {"files": {"game.exe": "game.exe", "data\\一.txt": {"text": "一"}}, "archive": {"a.txt": {"text": "一"}}},
        {"files": {"movie\\ed.mpg": {"size": 5000}}, "archive": {"b.txt": {"text": "二"}}}
      ]
    })");
    // The disc's launcher install.exe is a Windows program too.
    ASSERT_EQ(Run(Quoted(VNKIT) + " disc build " + Quoted(dir_ / "spec.json") + " -o " +
                  Quoted(dir_ / "set") + " --launcher " + Quoted(TEST_GAME)),
              0)
        << err_;
    setenv("VN_TEST_GAME_OUT", WineFolder(out_).c_str(), 1);
  }

  static std::string Quoted(const fs::path& path) { return test::ShellQuoted(path.string()); }
  int Run(const std::string& command) {
    test::CommandResult result = test::RunShell(command, dir_);
    out_text_ = std::move(result.out);
    err_ = std::move(result.err);
    return result.status;
  }
  int Install(const std::string& source_args) {
    return Run(Quoted(VNSETUP) + " --unattended --accept-license --folder " + Quoted(game_) + " " +
               source_args);
  }

  // What the test game wrote, waited for (Wine makes its prefix on the first start).
  std::string GameOutput() {
    const fs::path file = out_ / "vnsetup-test-game.txt";
    for (int i = 0; i < 1200 && !fs::exists(file); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // written and closed at once after
    std::string text = fs::exists(file) ? test::ReadFile(file) : "(the game wrote nothing)";
    fs::remove(file);
    return text;
  }

  // The start menu of disc 1, opened by the installed vnsetup, answered with "game start".
  GameStartUi StartGameFromMenu() {
    EntryEnvironment env;
    env.exe = VNSETUP;
    env.disc_folder = dir_ / "set" / "disc1";
    env.temp_folder = TemporaryFolder();
    GameStartUi ui;
    EXPECT_EQ(RunEntryFlow(env, ui), 0);
    return ui;
  }

  fs::path MenuFolder() const {
    return fs::path(std::getenv("XDG_DATA_HOME")) / "applications" / "窓のゲーム";
  }

  void ExpectInstalled() {
    for (const char* file :
         {"game.exe", "data/一.txt", "movie/ed.mpg", "game.dat", "install.exe", "vnsetup"}) {
      EXPECT_TRUE(fs::is_regular_file(game_ / file)) << file;
    }
    EXPECT_EQ(test::ReadFile(game_ / "install.exe").substr(0, 2), "MZ");  // the disc's, kept as a file
    EXPECT_EQ(test::ReadFile(game_ / "vnsetup").substr(0, 4),
              "\x7f"
              "ELF");
    TVondInstallSet installed;
    installed.LoadFromFile(game_ / "install.dat");
    EXPECT_GE(installed.FindInstalledFile(DataString("install.exe")), 0);
    EXPECT_GE(installed.FindInstalledFile(DataString("vnsetup")), 0);
  }

  // Uninstalls as the menu entry does, unattended; everything the install brought goes.
  void UninstallFromMenuEntry() {
    const std::string exec = DesktopValue(MenuFolder() / "窓のゲームのアンインストール.desktop", "Exec");
    EXPECT_EQ(exec, "\"" + (game_ / "vnsetup").string() + "\"");
    ASSERT_EQ(Run(exec + " --unattended"), 0) << err_;
    EXPECT_FALSE(fs::exists(game_)) << err_;
    EXPECT_FALSE(fs::exists(MenuFolder()));
  }

  static fs::path* prefix_;
  fs::path dir_ = test::MakeTempDir("windisc");
  fs::path game_ = dir_ / "Games" / "窓";
  fs::path out_ = test::MakeTempDir("gameout");
  std::string out_text_, err_;
};
fs::path* WindowsDisc::prefix_ = nullptr;

TEST_F(WindowsDisc, InstallsPlaysThroughWineAndUninstallsNatively) {
  ASSERT_EQ(Install(Quoted(dir_ / "set" / "disc1")), 0) << err_;
  ExpectInstalled();

  // Played from the start menu: code page 932 under Wine, in the game's own folder whatever the
  // caller's working folder.
  const fs::path play = test::MakeTempDir("play");
  const fs::path before = fs::current_path();
  fs::current_path(play);
  GameStartUi menu = StartGameFromMenu();
  fs::current_path(before);
  EXPECT_TRUE(menu.warnings.empty()) << menu.warnings[0];
  EXPECT_EQ(GameOutput(), "acp=932\ncwd=" + WineFolder(game_) + "\n");

  // Played from the menu entry: in the install folder.
  const fs::path entry = MenuFolder() / "窓のゲーム.desktop";
  ASSERT_EQ(Run("cd " + Quoted(DesktopValue(entry, "Path")) + " && " + DesktopValue(entry, "Exec") + " -x"),
            0)
      << err_;
  EXPECT_EQ(GameOutput(), "acp=932\ncwd=" + WineFolder(game_) + "\narg=-x\n");

  // Without Wine the user is told what to install.
  setenv("VN_WINE", (dir_ / "no-wine").c_str(), 1);
  menu = StartGameFromMenu();
  unsetenv("VN_WINE");
  ASSERT_EQ(menu.warnings.size(), 1u);
  EXPECT_NE(menu.warnings[0].find("apt install wine"), std::string::npos) << menu.warnings[0];

  UninstallFromMenuEntry();
}

// Without a Japanese locale and without the sources to compile one (hidden from the run), the
// install and the game start say so, instead of a game that silently never starts. Wine stands in as
// a script that notes it was started.
TEST_F(WindowsDisc, WithoutAJapaneseLocaleInstallAndGameStartSaySo) {
  // (LOCPATH could hide a generated one, but glibc leaks memory on every lookup under it.)
  if (locale_t system = ::newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr)) {
    ::freelocale(system);
    GTEST_SKIP() << "this system has the Japanese locale";
  }
  fs::remove_all(GetSpecialFolder(kCsidlLocalAppData) / "vnsetup" / "locale");  // made by an earlier test
  const fs::path no_tools = test::MakeTempDir("no-tools");                      // a PATH without localedef
  const fs::path wine = dir_ / "wine";
  test::WriteFile(wine, "#!/bin/sh\necho \"$1\" > " + Quoted(dir_ / "wine-ran") + "\n");
  ::chmod(wine.c_str(), 0755);
  std::string install = "env VN_WINE=" + Quoted(wine) + " " + Quoted(VNSETUP) +
                        " --unattended --accept-license --folder " + Quoted(game_) + " " +
                        Quoted(dir_ / "set" / "disc1");
  // In a mount namespace with an empty /usr/share/i18n where the system allows one; else localedef
  // is not found at all.
  if (std::system("unshare -rm true >/dev/null 2>&1") == 0) {
    install = "unshare -rm sh -c " +
              test::ShellQuoted(
                  "if [ -d /usr/share/i18n ]; then mount -t tmpfs none /usr/share/i18n || exit 99; fi; "
                  "exec " +
                  install);
  } else {
    install = "PATH=" + Quoted(no_tools) + " " + install;
  }
  ASSERT_EQ(Run(install), 0) << err_;
  EXPECT_NE((out_text_ + err_).find("日本語ロケール (ja_JP.UTF-8) がなく"), std::string::npos) << err_;
  EXPECT_EQ(DesktopValue(MenuFolder() / "窓のゲーム.desktop", "Exec").find("LOCPATH"), std::string::npos);

  const std::string path = getenv("PATH");
  setenv("PATH", no_tools.c_str(), 1);
  setenv("VN_WINE", wine.c_str(), 1);
  const GameStartUi menu = StartGameFromMenu();
  setenv("PATH", path.c_str(), 1);
  unsetenv("VN_WINE");
  ASSERT_EQ(menu.warnings.size(), 1u);
  EXPECT_NE(menu.warnings[0].find("sudo apt install locales"), std::string::npos) << menu.warnings[0];
  // The stand-in makes its note before it writes the line into it (PATH holds no mv here).
  const auto noted = [&] {
    std::error_code ec;
    return fs::file_size(dir_ / "wine-ran", ec) > 0 && !ec;
  };
  for (int i = 0; i < 100 && !noted(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(test::ReadFile(dir_ / "wine-ran"), (game_ / "game.exe").string() + "\n");  // started all the same
}

// Games name the Windows fonts, which Wine on Linux lacks. In vnsetup's own prefix (no WINEPREFIX
// set), readied at install, each name is enumerable and gets an installed Japanese face of its style
// (Gothic or Mincho) with kana and kanji.
TEST_F(WindowsDisc, TheWindowsFontsGamesNameGetJapaneseFacesOfTheirStyle) {
  if (std::system("fc-list -q 'Noto Serif CJK JP' || fc-list -q IPAMincho") != 0)
    GTEST_SKIP() << "no Japanese Mincho face installed (fonts-noto-cjk or fonts-ipafont-mincho)";
  const std::string prefix = getenv("WINEPREFIX");
  unsetenv("WINEPREFIX");
  ASSERT_EQ(Install(Quoted(dir_ / "set" / "disc1")), 0) << err_;
  const fs::path own = GetSpecialFolder(kCsidlLocalAppData) / "vnsetup" / "wine";
  EXPECT_TRUE(fs::is_regular_file(own / "vnsetup-fonts.reg"));
  EXPECT_NE(
      DesktopValue(MenuFolder() / "窓のゲーム.desktop", "Exec").find("\"WINEPREFIX=" + own.string() + "\""),
      std::string::npos);
  EXPECT_GT(ShellOpen(game_ / "game.exe", "--fonts", game_), kShellErrorLimit);
  const std::string fonts = GameOutput();
  test::RunShell("WINEPREFIX=" + Quoted(own) + " wineserver -k", dir_);
  setenv("WINEPREFIX", prefix.c_str(), 1);
  std::istringstream lines(fonts);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    const bool mincho = line.find("明朝") != std::string::npos;
    EXPECT_NE(line.find("|1|"), std::string::npos) << "not enumerable: " << line;
    EXPECT_TRUE(mincho ? line.find("Serif") != std::string::npos || line.find("Mincho") != std::string::npos
                       : line.find("Sans") != std::string::npos || line.find("Gothic") != std::string::npos)
        << "wrong style: " << line;
    EXPECT_EQ(line.substr(line.size() - 2), "|3") << "kana or kanji missing: " << line;
  }
  EXPECT_EQ(count, 4) << fonts;
}

TEST_F(WindowsDisc, InstallsFromDiscImagesAndRefusesDamagedOnes) {
  // Joliet names only, as Windows discs are made.
  const fs::path images = test::MakeTempDir("images");
  for (const char* disc : {"disc1", "disc2"}) {
    ASSERT_EQ(Run("xorriso -as mkisofs -J -V " + std::string(disc) + " -o " +
                  Quoted(images / (std::string(disc) + ".iso")) + " " + Quoted(dir_ / "set" / disc)),
              0)
        << err_;
  }
  // The next disc's image is found beside the first, or where --disc says.
  ASSERT_EQ(Install(Quoted(images / "disc1.iso")), 0) << err_;
  ExpectInstalled();
  UninstallFromMenuEntry();
  const fs::path elsewhere = test::MakeTempDir("elsewhere") / "second.iso";
  fs::rename(images / "disc2.iso", elsewhere);
  ASSERT_EQ(Install("--disc " + Quoted(elsewhere) + " " + Quoted(images / "disc1.iso")), 0) << err_;
  ExpectInstalled();
  EXPECT_EQ(test::ReadFile(game_ / "movie" / "ed.mpg"),
            test::ReadFile(dir_ / "set" / "disc2" / "movie" / "ed.mpg"));
  for (const auto& left : fs::directory_iterator(TemporaryFolder())) {
    EXPECT_EQ(left.path().filename().string().rfind("vnsetup-disc-", 0), std::string::npos) << left.path();
  }
  UninstallFromMenuEntry();

  // A UDF-only image: genisoimage's UDF bridge with its ISO 9660 descriptors taken out, so that the
  // files are read through UDF (folders, names, contents).
  ASSERT_EQ(Run("genisoimage -quiet -udf -J -o " + Quoted(images / "bridge.iso") + " " +
                Quoted(dir_ / "set" / "disc1")),
            0)
      << err_;
  fs::rename(images / "bridge.iso", images / "udf.iso");
  ASSERT_TRUE(test::KeepOnlyUdfDescriptors(images / "udf.iso"));
  ASSERT_EQ(Install("--this-disc-only " + Quoted(images / "udf.iso")), 0) << err_;
  EXPECT_EQ(test::ReadFile(game_ / "data" / "一.txt"),
            test::ReadFile(dir_ / "set" / "disc1" / "data" / "一.txt"));
  EXPECT_EQ(test::ReadFile(game_ / "game.exe"), test::ReadFile(TEST_GAME));
  UninstallFromMenuEntry();

  // The start menu opened on an image, in a window (drawn offscreen and saved).
  const fs::path shot = dir_ / "start_menu_from_iso.png";
  EXPECT_EQ(Run("QT_QPA_PLATFORM=offscreen VNSETUP_SCREENSHOT=" + Quoted(shot) + " " + Quoted(VNSETUP) +
                " --disc " + Quoted(images / "disc1.iso")),
            0)
      << err_;
  EXPECT_TRUE(fs::is_regular_file(shot)) << err_;

  // A truncated image, and one whose volume descriptor is all that is left: refused, naming it.
  const std::string whole = test::ReadFile(images / "disc1.iso");
  test::WriteFile(images / "cut.iso", whole.substr(0, whole.size() / 2));
  std::string bare(40000, '\0');
  bare.replace(32769, 5, "CD001");
  test::WriteFile(images / "bare.iso", bare);
  for (const char* name : {"cut.iso", "bare.iso"}) {
    EXPECT_EQ(Install(Quoted(images / name)), 1) << name;
    EXPECT_NE(err_.find((images / name).string()), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(game_)) << name;
  }
}

}  // namespace
}  // namespace vn
