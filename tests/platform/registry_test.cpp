#include <gtest/gtest.h>
#include <stdlib.h>

#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/posix/registry_file.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

class RegistryFile : public testing::Test {
 protected:
  std::string Read(FileRegistryStore& store, std::string_view key, std::string_view name) {
    std::string value;
    EXPECT_TRUE(store.ReadString(key, name, value)) << key << " / " << name;
    return value;
  }

  fs::path file_ = test::MakeTempDir() / "vnsetup" / "registry.ini";
  FileRegistryStore store_{file_};
};

TEST_F(RegistryFile, OddNamesAndValuesRoundTrip) {
  const std::vector<std::pair<std::string, std::string>> values = {
      {"InstallPath", "/home/user/Games/夢の続き"},
      {"multi", "line one\nline two\r\n[not a section]\n"},
      {"a=b", "c=d==e"},
      {"[bracket", "[x]"},
      {";comment", "#hash"},
      {"percent%41", "100%41 %"},
      {"back\\slash", "C:\\Games\\\\x\\"},
      {"", "the default value"},
      {"empty", ""},
      {"control", std::string("\x01\x7f\t end ", 8)},
  };
  for (const auto& [name, value] : values) store_.WriteString("Software\\Maker\\Game", name, value);
  FileRegistryStore reopened(file_);  // a fresh reader of the same file
  for (const auto& [name, value] : values) EXPECT_EQ(Read(reopened, "Software\\Maker\\Game", name), value);
  // one line per value: nothing the values hold breaks the layout
  const std::string text = test::ReadFile(file_);
  EXPECT_NE(text.find("\n[Software\\Maker\\Game]\nInstallPath=/home/user/Games/夢の続き\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(fs::path(file_) += ".tmp"));
}

TEST_F(RegistryFile, KeysAndNamesIgnoreLetterCase) {
  store_.WriteString("Software\\Maker\\Game", "InstallPath", "/a");
  store_.WriteString("SOFTWARE\\maker\\GAME\\", "installpath", "/b");  // the same value
  EXPECT_EQ(Read(store_, "software\\MAKER\\game", "INSTALLPATH"), "/b");
  EXPECT_EQ(test::ReadFile(file_).find("GAME"), std::string::npos);  // the first spelling stays
  std::string value;
  EXPECT_FALSE(store_.ReadString("Software\\Maker\\Game", "CDDrive", value));
  EXPECT_FALSE(store_.ReadString("Software\\Maker\\Other", "InstallPath", value));
  EXPECT_FALSE(store_.ReadString("\\Software\\Maker\\Game", "InstallPath", value));  // empty component
  EXPECT_THROW(store_.WriteString("Software\\\\Maker", "x", "y"), EWriteError);
}

// Whatever spelling a key is written under, reading, deleting and a fresh reader of the file find
// it under the same spelling; a spelling with an empty component is refused on writing.
TEST_F(RegistryFile, EveryKeyWrittenIsFoundUnderItsSpellingOrRefused) {
  for (const char* key : {"Software\\M\\G\\", "Software\\M\\G\\\\", "Software\\M\\G\\\\\\",
                          "Software\\M\\\\G", "\\Software\\M"}) {
    try {
      store_.WriteString(key, "v", "1");
    } catch (const EWriteError&) {
      EXPECT_FALSE(store_.KeyExists(key)) << key;
      continue;
    }
    FileRegistryStore reopened(file_);
    EXPECT_EQ(Read(reopened, key, "v"), "1") << key;
    EXPECT_TRUE(reopened.DeleteKeyTree(key)) << key;
    EXPECT_FALSE(reopened.KeyExists(key)) << key;
  }
  EXPECT_THROW(store_.WriteString("Software\\M\\G\\\\", "v", "1"), EWriteError);
}

TEST_F(RegistryFile, EmptinessAndDeletion) {
  std::string value;
  EXPECT_FALSE(store_.KeyExists("Software"));
  EXPECT_FALSE(store_.DeleteKeyTree("Software\\Maker"));
  EXPECT_FALSE(fs::exists(file_));  // nothing to change, nothing written

  store_.WriteString("Software\\Maker\\Game\\Sub", "v", "1");
  store_.WriteString("Software\\Maker\\Game2", "v", "2");
  store_.WriteString("Software\\Maker\\Game b", "v", "3");  // sorts between Game and Game\Sub
  EXPECT_TRUE(store_.KeyExists("Software\\Maker"));         // parents are created

  // A parent that still holds other keys stays.
  EXPECT_TRUE(store_.DeleteKeyTree("software\\maker\\game", {"Software\\Maker"}));
  EXPECT_FALSE(store_.KeyExists("Software\\Maker\\Game\\Sub"));
  EXPECT_EQ(Read(store_, "Software\\Maker\\Game2", "v"), "2");
  EXPECT_EQ(Read(store_, "Software\\Maker\\Game b", "v"), "3");

  // Empty parents go up to the first that is not empty; Software never goes.
  store_.WriteString("Software\\Outer", "kept", "1");
  store_.WriteString("Software\\Outer\\Empty\\Child", "x", "1");
  EXPECT_TRUE(store_.DeleteKeyTree("Software\\Outer\\Empty\\Child",
                                   {"Software\\Outer\\Empty", "Software\\Outer", "Software"}));
  EXPECT_FALSE(store_.KeyExists("Software\\Outer\\Empty"));
  EXPECT_EQ(Read(store_, "Software\\Outer", "kept"), "1");
  EXPECT_FALSE(store_.DeleteKeyTree("Software\\Gone", {"Software"}));
  EXPECT_TRUE(store_.KeyExists("Software"));

  // The last key below it gone, the file keeps no empty section of Software.
  for (const char* key : {"Software\\Outer", "Software\\Maker"}) EXPECT_TRUE(store_.DeleteKeyTree(key));
  EXPECT_FALSE(store_.KeyExists("Software"));
  EXPECT_EQ(test::ReadFile(file_).find("[Software]"), std::string::npos) << test::ReadFile(file_);
}

// Writers hold the lock and replace the store atomically; a temporary left by one that was killed
// goes with the next write, and nothing else in the folder is touched.
TEST_F(RegistryFile, ConcurrentWritersLoseNothing) {
  constexpr int kThreads = 6, kValues = 15;
  fs::create_directories(file_.parent_path());
  const fs::path stale = file_.parent_path() / "registry.ini.tmp4242-0";
  const fs::path mine = file_.parent_path() / "registry.ini.bak";
  test::WriteFile(stale, "[Software\\Half");
  test::WriteFile(mine, "kept");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      FileRegistryStore own(file_);  // as another process would see it
      for (int i = 0; i < kValues; ++i) {
        own.WriteString("Software\\Game" + std::to_string(t % 2),
                        "v" + std::to_string(t) + "-" + std::to_string(i), std::to_string(i));
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kValues; ++i) {
      EXPECT_EQ(Read(store_, "Software\\Game" + std::to_string(t % 2),
                     "v" + std::to_string(t) + "-" + std::to_string(i)),
                std::to_string(i));
    }
  }
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_EQ(test::ReadFile(mine), "kept");
  for (const auto& item : fs::directory_iterator(file_.parent_path())) {
    EXPECT_EQ(item.path().filename().string().find("registry.ini.tmp"), std::string::npos) << item.path();
  }
}

TEST_F(RegistryFile, DamagedStoreIsReportedAndKept) {
  fs::create_directories(file_.parent_path());
  const std::string damaged = "[Software\\Maker]\nInstallPath=/x\nthis line has no equals sign\n";
  test::WriteFile(file_, damaged);
  std::string value;
  try {
    store_.ReadString("Software\\Maker", "InstallPath", value);
    FAIL();
  } catch (const EFormatError& e) {
    EXPECT_NE(std::string(e.what()).find(file_.string() + ": line 3"), std::string::npos) << e.what();
  }
  EXPECT_THROW(store_.WriteString("Software\\Maker", "CDDrive", ""), EFormatError);
  EXPECT_EQ(test::ReadFile(file_), damaged);

  // What people write by hand is read: comments, CRLF line ends, parents left out.
  test::WriteFile(file_, "; mine\r\n[Software\\A\\B]\r\nx=%41%e3%81%82\r\n");
  EXPECT_EQ(Read(store_, "Software\\A\\B", "x"), "Aあ");
  EXPECT_TRUE(store_.KeyExists("Software\\A"));
}

TEST(RegistryDefault, FollowsXdgConfigHome) {
  const std::string xdg = getenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultRegistryFile(), fs::path(xdg) / "vnsetup" / "registry.ini");
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ(DefaultRegistryFile(), fs::path(getenv("HOME")) / ".config" / "vnsetup" / "registry.ini");
  setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
}

}  // namespace
}  // namespace vn
