#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/shell.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// Waits (bounded) for a file a started process writes, and returns its content.
std::string WaitForFile(const fs::path& file) {
  for (int i = 0; i < 500; ++i) {
    if (fs::exists(file)) {
      const std::string text = test::ReadFile(file);
      if (!text.empty() && text.back() == '\n') return text;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "(nothing written)";
}

void WriteScript(const fs::path& path, const std::string& body) {
  test::WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
}

TEST(SplitParameters, QuotesGroupAndBackslashesStay) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitParameters(""), V{});
  EXPECT_EQ(SplitParameters("  a  b\t"), (V{"a", "b"}));
  EXPECT_EQ(SplitParameters("\"D:\\disc one\\\""), V{"D:\\disc one\\"});
  EXPECT_EQ(SplitParameters("\"/media/disc 1/\" x\"y z\""), (V{"/media/disc 1/", "xy z"}));
  EXPECT_EQ(SplitParameters("\"\""), V{""});
}

class ShellOpenTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("shell");
    // A fake desktop opener that records what it was asked to open.
    WriteScript(dir_ / "fake-xdg-open", "printf '%s\\n' \"$1\" > '" + (dir_ / "opened").string() + "'\n");
    setenv("VN_XDG_OPEN", (dir_ / "fake-xdg-open").c_str(), 1);
  }
  void TearDown() override { unsetenv("VN_XDG_OPEN"); }
  fs::path dir_;
};

TEST_F(ShellOpenTest, StartsProgramWithArgumentsInWorkingFolder) {
  const fs::path work = dir_ / "work folder";
  fs::create_directories(work);
  WriteScript(dir_ / "game", "printf '%s|%s|%s|%s\\n' \"$(pwd)\" \"$#\" \"$1\" \"$2\" > '" +
                                 (dir_ / "ran").string() + "'\n");
  EXPECT_GT(ShellOpen(dir_ / "game", "\"/media/disc 1/\" -x", work), kShellErrorLimit);
  EXPECT_EQ(WaitForFile(dir_ / "ran"), work.string() + "|2|/media/disc 1/|-x\n");
  EXPECT_FALSE(fs::exists(dir_ / "opened"));
  // Nothing is left for us to reap: the program belongs to a session of its own.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ShellOpenTest, DocumentsGoToOpenerAndWindowsProgramsToWine) {
  test::WriteFile(dir_ / "readme.txt", "read me");
  EXPECT_GT(ShellOpen(dir_ / "readme.txt", "", ""), kShellErrorLimit);
  EXPECT_EQ(WaitForFile(dir_ / "opened"), (dir_ / "readme.txt").string() + "\n");
  fs::remove(dir_ / "opened");

  // A Windows program runs through Wine with the Japanese locale, whatever the user's locale, in the
  // working folder asked for; executable permission plays no part (files on a FAT disc all carry it).
  const fs::path work = dir_ / "work";
  fs::create_directories(work);
  WriteScript(
      dir_ / "fake-wine",
      "printf '%s|%s|%s|%s|%s|%s\\n' \"$LC_ALL\" \"$LANG\" \"$WINEPREFIX\" \"$(pwd)\" \"$1\" \"$2\" > '" +
          (dir_ / "wine-ran").string() + "'\n");
  test::WriteFile(dir_ / "setup.exe", "MZ\x90");
  setenv("VN_WINE", (dir_ / "fake-wine").c_str(), 1);
  setenv("LC_ALL", "C", 1);
  setenv("WINEPREFIX", "/prefix", 1);
  EXPECT_GT(ShellOpen(dir_ / "setup.exe", "\"a b\"", work), kShellErrorLimit);
  EXPECT_EQ(WaitForFile(dir_ / "wine-ran"), "ja_JP.UTF-8|ja_JP.UTF-8|/prefix|" + work.string() + "|" +
                                                (dir_ / "setup.exe").string() + "|a b\n");
  EXPECT_FALSE(fs::exists(dir_ / "opened"));
  EXPECT_EQ(ShellOpenFailureHint(dir_ / "setup.exe", kShellNoAssociation), "");

  // Without Wine nothing starts, and the hint names what to install.
  setenv("VN_WINE", (dir_ / "no-wine").c_str(), 1);
  EXPECT_EQ(ShellOpen(dir_ / "setup.exe", "", ""), kShellNoAssociation);
  EXPECT_NE(ShellOpenFailureHint(dir_ / "setup.exe", kShellNoAssociation).find("apt install wine"),
            std::string::npos);
  EXPECT_EQ(ShellOpenFailureHint(dir_ / "readme.txt", kShellNoAssociation), "");
  unsetenv("VN_WINE");
  unsetenv("LC_ALL");
  unsetenv("WINEPREFIX");
}

TEST_F(ShellOpenTest, FailuresCarryWindowsCodes) {
  EXPECT_EQ(ShellOpen(dir_ / "missing", "", ""), kShellFileNotFound);
  EXPECT_EQ(ShellOpen(dir_ / "no/such/missing", "", ""), kShellPathNotFound);
  WriteScript(dir_ / "game", "exit 0\n");
  EXPECT_EQ(ShellOpen(dir_ / "game", "", dir_ / "no-such-folder"), kShellPathNotFound);
  // A script whose interpreter does not exist.
  test::WriteFile(dir_ / "broken", "#!/no/such/interpreter\n");
  fs::permissions(dir_ / "broken", fs::perms::owner_all, fs::perm_options::add);
  EXPECT_LE(ShellOpen(dir_ / "broken", "", ""), kShellErrorLimit);
  // No opener at all.
  setenv("VN_XDG_OPEN", (dir_ / "no-opener").c_str(), 1);
  test::WriteFile(dir_ / "doc.txt", "d");
  EXPECT_EQ(ShellOpen(dir_ / "doc.txt", "", ""), kShellNoAssociation);
}

}  // namespace
}  // namespace vn
