#include <gtest/gtest.h>

#include "platform/posix/registry_file.h"
#include "settings/settings.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

DataString J(const char* utf8) {
  return Utf8ToCp932(utf8);
}

class SettingsRegistry : public testing::Test {
 protected:
  TVondInstallSet Product(const DataString& key) {
    TVondInstallSet s;
    s.RegistryKey = key;
    s.SetRegistry(&store_);
    return s;
  }

  fs::path dir_ = test::MakeTempDir();
  FileRegistryStore store_{dir_ / "registry.ini"};
};

TEST_F(SettingsRegistry, ValuesLiveUnderSoftwareWithOrWithoutLeadingBackslash) {
  const TVondInstallSet a = Product(J("\\ソフトハウス\\夢"));
  const TVondInstallSet b = Product(J("ソフトハウス\\夢"));
  a.WriteValue("InstallPath", "/home/u/Games/夢");
  EXPECT_EQ(b.ReadValue("InstallPath", "none"), "/home/u/Games/夢");
  EXPECT_EQ(b.ReadValue("CDDrive", "none"), "none");
  std::string value;
  EXPECT_TRUE(store_.ReadString("SOFTWARE\\ソフトハウス\\夢", "installpath", value));
}

TEST_F(SettingsRegistry, WithoutKeyNothingIsTouched) {
  const TVondInstallSet s = Product(DataString());
  s.WriteValue("InstallPath", "/x");
  EXPECT_EQ(s.ReadValue("InstallPath", "default"), "default");
  s.DeleteRegistryKey();
  EXPECT_FALSE(s.IsGameInstalled());
  EXPECT_FALSE(fs::exists(store_.File()));
}

// A key made of nothing but delimiters and blanks would be Software itself: it means no key, and
// no deletion ever reaches Software or a key directly below HKEY_CURRENT_USER.
TEST_F(SettingsRegistry, KeyOfOnlyDelimitersAndBlanksIsNoKey) {
  store_.WriteString("Software\\Other\\Game", "InstallPath", "/other");
  for (const DataString& key : {DataString("\\"), DataString("\\\\"), DataString(" \\ \t\\"), J("\\　")}) {
    const TVondInstallSet s = Product(key);
    EXPECT_FALSE(s.HasRegistryKey()) << key.bytes();
    s.WriteValue("InstallPath", "/mine");
    EXPECT_EQ(s.ReadValue("InstallPath", "none"), "none");
    s.DeleteRegistryKey();
    EXPECT_EQ(Product(DataString("Other\\Game")).ReadValue("InstallPath", ""), "/other") << key.bytes();
  }
  std::string value;
  EXPECT_FALSE(store_.ReadString("Software", "InstallPath", value));
  EXPECT_FALSE(store_.DeleteKeyTree("Software"));
  EXPECT_FALSE(store_.DeleteKeyTree("Software\\"));
  store_.WriteString("Empty\\Below", "v", "1");
  EXPECT_TRUE(store_.DeleteKeyTree("Empty\\Below", {"Empty"}));
  EXPECT_TRUE(store_.KeyExists("Software\\Other\\Game"));
  EXPECT_TRUE(store_.KeyExists("Empty"));
  EXPECT_TRUE(Product(J("\\ メーカー \\")).HasRegistryKey());
}

TEST_F(SettingsRegistry, DeleteRemovesEmptyParentsOnly) {
  const TVondInstallSet game1 = Product(J("メーカー\\ソフト一"));  // "ソ" ends in a 0x5C byte
  const TVondInstallSet game2 = Product(J("メーカー\\ゲーム二"));
  game1.WriteValue("InstallPath", "/g1");
  store_.WriteString("Software\\メーカー\\ソフト一\\Sub", "v", "1");
  game2.WriteValue("InstallPath", "/g2");

  game1.DeleteRegistryKey();
  EXPECT_FALSE(store_.KeyExists("Software\\メーカー\\ソフト一"));
  EXPECT_TRUE(store_.KeyExists("Software\\メーカー"));  // still holds the other game
  EXPECT_EQ(game2.ReadValue("InstallPath", ""), "/g2");

  game2.DeleteRegistryKey();
  EXPECT_FALSE(store_.KeyExists("Software\\メーカー"));
  EXPECT_FALSE(store_.KeyExists("Software")) << "no empty section of it is kept in the file";

  // A parent with a value of its own stays.
  const TVondInstallSet game3 = Product(J("ソフト\\ゲーム"));
  game3.WriteValue("InstallPath", "/g3");
  store_.WriteString("Software\\ソフト", "", "default value");
  game3.DeleteRegistryKey();
  EXPECT_FALSE(store_.KeyExists("Software\\ソフト\\ゲーム"));
  EXPECT_TRUE(store_.KeyExists("Software\\ソフト"));
}

TEST_F(SettingsRegistry, GameIsInstalledWhenItsExecutableIsThere) {
  TVondInstallSet s = Product(DataString("Maker\\Game"));
  s.ExeName = DataString("bin\\game.exe");
  EXPECT_FALSE(s.IsGameInstalled());  // no value yet

  const fs::path folder = test::MakeTempDir("game");
  s.WriteValue("InstallPath", folder.string());
  EXPECT_FALSE(s.IsGameInstalled());  // no executable
  test::WriteFile(folder / "Bin" / "Game.EXE", "x");
  EXPECT_TRUE(s.IsGameInstalled());  // letter case as on Windows
  s.WriteValue("InstallPath", folder.string() + "/");
  EXPECT_TRUE(s.IsGameInstalled());

  s.ExeName = DataString("Bin");  // a folder is no executable
  EXPECT_FALSE(s.IsGameInstalled());
  s.ExeName = DataString("..\\game\\Bin\\Game.EXE");  // nothing outside the folder counts
  EXPECT_FALSE(s.IsGameInstalled());
}

}  // namespace
}  // namespace vn
