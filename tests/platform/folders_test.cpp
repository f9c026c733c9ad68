#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/folders.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// A disc-like tree: plain, hidden, read-only and nested entries, an upper-case extension and a link
// to a folder outside the tree.
class ListFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = test::MakeTempDir("list");
    outside_ = test::MakeTempDir("outside");
    test::WriteFile(outside_ / "secret.txt", "x");
    test::WriteFile(root_ / "GAME.EXE", "MZ");
    test::WriteFile(root_ / "readme.txt", "r");
    test::WriteFile(root_ / ".hidden", "h");
    test::WriteFile(root_ / "locked.dat", "l");
    fs::permissions(root_ / "locked.dat",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    test::WriteFile(root_ / "data/bgm/01.ogg", "o");
    test::WriteFile(root_ / "data/setup.exe", "MZ");
    fs::create_directory_symlink(outside_, root_ / "link");
  }
  std::vector<std::string> Relative(const std::vector<fs::path>& list) const {
    std::vector<std::string> out;
    for (const fs::path& p : list) out.push_back(p.lexically_relative(root_).string());
    std::sort(out.begin(), out.end());
    return out;
  }
  fs::path root_, outside_;
};

TEST_F(ListFolderTest, CallersRows) {
  using V = std::vector<std::string>;
  std::vector<fs::path> list{"kept"};
  // Search for an executable carrying an archive: files only, no descent, extension ignoring case.
  ListFolder(root_, 0x2F, true, false, list, false, false, false, ".exe");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], "kept");
  EXPECT_EQ(list[1], root_ / "GAME.EXE");

  // Scan of the disc folder: every file at every depth, folders not as such, the link as an entry.
  list.clear();
  ListFolder(root_, 0x2F, true, false, list, true, false, false, "");
  EXPECT_EQ(Relative(list), (V{".hidden", "GAME.EXE", "data/bgm/01.ogg", "data/setup.exe", "link",
                               "locked.dat", "readme.txt"}));

  // Sub-folders of a folder being removed: folders only, list cleared first.
  list = {"stale"};
  ListFolder(root_, 0x10, false, true, list, false, false, false, "");
  EXPECT_EQ(Relative(list), V{"data"});

  // Contents of a folder being removed: everything directly inside.
  ListFolder(root_, 0x3F, true, true, list, false, false, false, "");
  EXPECT_EQ(Relative(list), (V{".hidden", "GAME.EXE", "data", "link", "locked.dat", "readme.txt"}));

  // Contents of a tree being deleted: folders carry a trailing separator, a link does not.
  list.clear();
  ListFolder(root_, 0x3F, true, false, list, false, true, false, "");
  EXPECT_EQ(Relative(list), (V{".hidden", "GAME.EXE", "data/", "link", "locked.dat", "readme.txt"}));
}

TEST_F(ListFolderTest, AttributeFilterAndOrder) {
  std::vector<fs::path> list;
  // Read-only only: the plain files drop out.
  ListFolder(root_, kFaReadOnly, false, false, list, false, false, false, "");
  EXPECT_EQ(Relative(list), std::vector<std::string>{"locked.dat"});
  list.clear();
  ListFolder(root_, kFaHidden, false, false, list, false, false, false, "");
  EXPECT_EQ(Relative(list), std::vector<std::string>{".hidden"});

  // Recursion lists a folder before its contents and never enters the link; below the top level
  // folders always carry the separator.
  list.clear();
  ListFolder(root_, 0x3F, true, false, list, true, false, false, "");
  const auto pos = [&](const fs::path& p) { return std::find(list.begin(), list.end(), p) - list.begin(); };
  EXPECT_LT(pos(root_ / "data"), pos(root_ / "data/bgm/"));
  EXPECT_LT(pos(root_ / "data/bgm/"), pos(root_ / "data/bgm/01.ogg"));
  EXPECT_EQ(pos(root_ / "link/secret.txt"), static_cast<long>(list.size()));

  // A missing folder lists nothing.
  list.clear();
  ListFolder(root_ / "missing", 0x3F, true, false, list, true, false, false, "");
  EXPECT_TRUE(list.empty());
}

TEST_F(ListFolderTest, ClearAttributesGivesWritePermissionInsideTreeOnly) {
  fs::permissions(outside_ / "secret.txt", fs::perms::owner_write, fs::perm_options::remove);
  std::vector<fs::path> list;
  ListFolder(root_, 0x3F, true, false, list, true, false, true, "");
  // The filter saw the file as found: it is listed, and now writable.
  EXPECT_NE(std::find(list.begin(), list.end(), root_ / "locked.dat"), list.end());
  struct stat st;
  ASSERT_EQ(::stat((root_ / "locked.dat").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
  ASSERT_EQ(::stat((outside_ / "secret.txt").c_str(), &st), 0);
  EXPECT_FALSE(st.st_mode & S_IWUSR);
}

}  // namespace
}  // namespace vn
