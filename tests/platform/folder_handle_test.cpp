#include "platform/folder_handle.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;
using test::MakeTempDir;
using test::ReadFile;
using test::WriteFile;

void Put(File& file, const std::string& bytes) {
  file.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// Walking creates what is missing and says what it created; a link or a file on the way is refused
// by its name, and nothing is made behind it.
TEST(FolderHandle, WalkCreatesFoldersAndRefusesLinksOnTheWay) {
  const fs::path root = MakeTempDir();
  const fs::path elsewhere = MakeTempDir();
  fs::create_directories(root / "a");
  fs::create_directory_symlink(elsewhere, root / "a" / "link");
  WriteFile(root / "a" / "file", "x");
  const FolderHandle folder = FolderHandle::Open(root);

  std::vector<fs::path> created;
  const FolderHandle deep = folder.OpenFolder("a/b/c", true, &created);
  EXPECT_EQ(created, (std::vector<fs::path>{"a/b", "a/b/c"}));
  EXPECT_EQ(deep.Identity(), *IdentityOf(root / "a" / "b" / "c"));
  EXPECT_EQ(deep.Path(), root / "a" / "b" / "c");

  for (const char* bad : {"a/link/new", "a/file/new"}) {
    try {
      folder.OpenFolder(bad, true);
      ADD_FAILURE() << bad << " was walked";
    } catch (const EPathError& e) {
      EXPECT_NE(std::string(e.what()).find(bad == std::string("a/link/new") ? "link" : "file"),
                std::string::npos)
          << e.what();
    }
  }
  EXPECT_TRUE(fs::is_empty(elsewhere));
  EXPECT_THROW(folder.Stat("a/link/x"), EPathError);
  EXPECT_THROW(folder.OpenFolder("missing"), EFOpenError);
  for (const char* outside : {"../x", "/etc", "a/../../x", "", "."}) {
    EXPECT_THROW(folder.CreateNewFile(outside), EPathError) << outside;
  }
}

// The last component is never followed: a link there is neither opened nor created through, and
// is examined and removed as the link itself.
TEST(FolderHandle, LinkAtTheEndIsNeverFollowed) {
  const fs::path root = MakeTempDir();
  const fs::path elsewhere = MakeTempDir();
  WriteFile(elsewhere / "user.txt", "mine");
  fs::create_symlink(elsewhere / "user.txt", root / "game.dat");
  const FolderHandle folder = FolderHandle::Open(root);

  EXPECT_FALSE(folder.CreateNewFile("game.dat").has_value());
  EXPECT_THROW(folder.OpenFile("game.dat", FileAccess::kCreate), EFOpenError);
  EXPECT_EQ(folder.Stat("game.dat")->kind, FolderEntry::Kind::kLink);
  EXPECT_TRUE(folder.RemoveFile("game.dat"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "game.dat")));
  EXPECT_EQ(ReadFile(elsewhere / "user.txt"), "mine");

  std::optional<File> made = folder.CreateNewFile("game.dat");
  ASSERT_TRUE(made.has_value());
  Put(*made, "game");
  made->Close();
  const std::optional<FolderEntry> entry = folder.Stat("game.dat");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->kind, FolderEntry::Kind::kFile);
  EXPECT_EQ(entry->size, 4);
  EXPECT_FALSE(folder.Stat("nothing").has_value());
}

// A folder moved away and replaced by a link after it was opened: every operation still lands in
// the folder that was opened, and the link's target is untouched.
TEST(FolderHandle, SwappedFolderKeepsWorkInTheOpenedOne) {
  const fs::path base = MakeTempDir();
  const fs::path elsewhere = MakeTempDir();
  WriteFile(elsewhere / "readme.txt", "user's readme");
  WriteFile(elsewhere / "sub" / "keep.txt", "user's");
  fs::create_directories(base / "game" / "sub");
  WriteFile(base / "game" / "readme.txt", "game's readme");
  const FolderHandle folder = FolderHandle::Open(base / "game");

  fs::rename(base / "game", base / "moved");
  fs::create_directory_symlink(elsewhere, base / "game");

  std::optional<File> made = folder.CreateNewFile("sub/new.txt");
  ASSERT_TRUE(made.has_value());
  made->Close();
  folder.Rename("readme.txt", "readme.old");
  EXPECT_TRUE(folder.RemoveFile("readme.old"));
  EXPECT_TRUE(folder.RemoveFile("sub/new.txt"));
  EXPECT_TRUE(folder.RemoveFolder("sub"));
  EXPECT_FALSE(fs::exists(base / "moved" / "sub"));
  EXPECT_EQ(folder.Identity(), *IdentityOf(base / "moved"));
  // Files replaced whole, and a path for work that takes only paths, stay in the opened folder too.
  folder.WriteFile("readme.txt", "new readme");
  EXPECT_FALSE(folder.ReplaceFile("readme.txt", [](File& file) {
    Put(file, "half");
    return false;
  }));
  const AnchoredPath data = folder.Anchor("game.dat");
  WriteFileAtomically(data.path, "data");
  EXPECT_EQ(ReadFile(base / "moved" / "readme.txt"), "new readme");
  EXPECT_EQ(ReadFile(base / "moved" / "game.dat"), "data");
  EXPECT_EQ(data.Readable(PathToUtf8(data.path) + ": full"),
            PathToUtf8(base / "game" / "game.dat") + ": full");

  EXPECT_EQ(ReadFile(elsewhere / "readme.txt"), "user's readme");
  EXPECT_EQ(ReadFile(elsewhere / "sub" / "keep.txt"), "user's");
  EXPECT_FALSE(fs::exists(elsewhere / "readme.old"));
  EXPECT_FALSE(fs::exists(elsewhere / "sub" / "new.txt"));
  // A folder that holds something stays.
  fs::create_directories(base / "moved" / "full");
  WriteFile(base / "moved" / "full" / "x", "x");
  EXPECT_FALSE(folder.RemoveFolder("full"));
  EXPECT_EQ(folder.List().size(), 3u) << "full, readme.txt, game.dat: no temporary left";
}

}  // namespace
}  // namespace vn
