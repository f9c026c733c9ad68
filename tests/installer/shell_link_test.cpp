#include <gtest/gtest.h>

#include <sys/stat.h>

#include "installer/shell_link.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "tests/support/test_env.h"

namespace vn::test {
namespace {
namespace fs = std::filesystem;

TEST(ShellLinkTest, ExecLineQuotesThePathAndOpensWhatIsNoProgram) {
  const fs::path folder = MakeTempDir("a b$c%d\"e");
  WriteFile(folder / "run.sh", "#!/bin/sh\n");
  ::chmod((folder / "run.sh").c_str(), 0755);
  WriteFile(folder / "game.exe", "MZ");
  const std::string quoted = PathToUtf8(folder);
  std::string escaped;
  for (char c : quoted) {
    if (c == '"' || c == '$') escaped += "\\\\";  // a backslash, itself escaped as a value
    if (c == '%') escaped += '%';
    escaped += c;
  }
  EXPECT_EQ(DesktopExecLine(folder / "run.sh", "-x \"y z\""), "\"" + escaped + "/run.sh\" \"-x\" \"y z\"");
  WriteFile(folder / "readme.txt", "read me");
  EXPECT_EQ(DesktopExecLine(folder / "readme.txt", "-x"), "xdg-open \"" + escaped + "/readme.txt\"");
  // A Windows program: through Wine, with the locale that gives it code page 932.
  const std::string wine = DesktopExecLine(folder / "game.exe", "-x");
  EXPECT_EQ(wine.rfind("env \"LC_ALL=ja_JP.UTF-8\" \"LANG=ja_JP.UTF-8\" ", 0), 0u) << wine;
  EXPECT_NE(wine.find(" wine \"" + escaped + "/game.exe\" \"-x\""), std::string::npos) << wine;
}

TEST(ShellLinkTest, GroupWithMenuFilesIsCreatedAndRemovedWhole) {
  CreateShortcut("A/B", "/opt/x/readme.txt", "", 0, 0, TWindowState::Normal, "..", lnkPrograms, "/opt/x",
                 "d");
  const fs::path group = GetSpecialFolder(kCsidlPrograms) / "_";
  EXPECT_TRUE(fs::exists(group / "A_B.desktop")) << "names are made safe file names";
  WriteFile(group / "deeper/extra.desktop", "x");
  const fs::path menus = fs::path(getenv("XDG_CONFIG_HOME")) / "menus/applications-merged";
  ASSERT_EQ(std::distance(fs::directory_iterator(menus), fs::directory_iterator()), 1);
  const std::string menu = ReadFile(fs::directory_iterator(menus)->path());
  EXPECT_NE(menu.find("<Category>X-vnsetup-"), std::string::npos);
  // A main category, so that menus and validators file the entries under games.
  EXPECT_NE(ReadFile(group / "A_B.desktop").find("\nCategories=Game;X-vnsetup-"), std::string::npos);

  DeleteShortcutFolder(lnkPrograms, "");  // no group: nothing is deleted
  EXPECT_TRUE(fs::exists(group));
  DeleteShortcutFolder(lnkPrograms, "..");
  EXPECT_FALSE(fs::exists(group));
  EXPECT_TRUE(fs::exists(GetSpecialFolder(kCsidlPrograms)));
  EXPECT_TRUE(fs::is_empty(menus));
}

TEST(ShellLinkTest, SetFileNameFillsDescriptionAndWorkDir) {
  TShellLink link;
  link.SetFileName("/opt/game/start.sh");
  EXPECT_EQ(link.Description, "start");
  EXPECT_EQ(link.WorkDir, "/opt/game");
}

}  // namespace
}  // namespace vn::test
