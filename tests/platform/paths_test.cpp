#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

TEST(JoinDataPath, ConvertsAndMapsDelimiters) {
  const fs::path base = test::MakeTempDir();
  EXPECT_EQ(JoinDataPath(base, Utf8ToCp932("セーブ\\表示.txt")), base / "セーブ" / "表示.txt");
  EXPECT_EQ(JoinDataPath(base, DataString("data\\")), base / "data");
}

TEST(JoinDataPath, RefusesPathsThatLeaveTheFolder) {
  const fs::path base = test::MakeTempDir();
  for (const char* bad : {"..\\x", "a\\..\\..\\x", "\\etc\\passwd", "/etc/passwd", "C:\\x", "c:x", "a\\\\b",
                          "", ".\\x", "a/../../b", "a\\b:stream", "a\\\\"}) {
    EXPECT_THROW(JoinDataPath(base, DataString(bad)), EPathError) << bad;
  }
  EXPECT_THROW(JoinDataPath(base, DataString(std::string("a\0b", 3))), EPathError);
  EXPECT_THROW(JoinDataPath(base, DataString("\x81")), EPathError);  // no character
}

TEST(JoinDataPath, ResolvesExistingComponentsWithoutRegardToCase) {
  const fs::path base = test::MakeTempDir();
  fs::create_directories(base / "Data" / "BGM");
  test::WriteFile(base / "Data" / "BGM" / "Track01.OGG", "x");
  EXPECT_EQ(JoinDataPath(base, DataString("DATA\\bgm\\track01.ogg")), base / "Data" / "BGM" / "Track01.OGG");
  // a missing tail keeps the given spelling after the last existing folder
  EXPECT_EQ(JoinDataPath(base, DataString("data\\New\\File")), base / "Data" / "New" / "File");
  // an exact match wins over a case variant
  fs::create_directories(base / "data");
  EXPECT_EQ(JoinDataPath(base, DataString("data")), base / "data");
}

// A batch join lists each folder once: names already there and names it joined earlier (which the
// caller then created) are both found under another letter case; refusals are those of JoinDataPath.
TEST(PathJoiner, JoinsAsJoinDataPathAndSeesWhatTheBatchCreated) {
  const fs::path base = test::MakeTempDir();
  fs::create_directories(base / "Data");
  test::WriteFile(base / "Data" / "Old.txt", "x");
  PathJoiner joiner(base);
  EXPECT_EQ(joiner.Join(DataString("DATA\\old.TXT")), base / "Data" / "Old.txt");
  const fs::path created = joiner.Join(DataString("data\\New\\A.txt"));
  EXPECT_EQ(created, base / "Data" / "New" / "A.txt");
  fs::create_directories(created.parent_path());
  test::WriteFile(created, "y");
  EXPECT_EQ(joiner.Join(DataString("DATA\\NEW\\a.TXT")), created);
  const fs::path other = joiner.Join(DataString("data\\new\\b.txt"));
  EXPECT_EQ(other, base / "Data" / "New" / "b.txt");
  EXPECT_EQ(joiner.Join(DataString("Data\\New\\B.TXT")), other);  // not yet created: joined all the same
  EXPECT_THROW(joiner.Join(DataString("data\\..\\..\\x")), EPathError);
}

TEST(FolderDelimiters, EachUndoesTheOther) {
  EXPECT_EQ(PathToUtf8(FolderWithoutDelimiter("/games/x//")), "/games/x");
  EXPECT_EQ(PathToUtf8(FolderWithoutDelimiter("/")), "/");
  EXPECT_EQ(PathToUtf8(FolderWithDelimiter("/games/x")), "/games/x/");
  EXPECT_EQ(PathToUtf8(FolderWithDelimiter("/games/x/")), "/games/x/");
  EXPECT_EQ(PathToUtf8(FolderWithDelimiter(FolderWithoutDelimiter("/"))), "/");
}

TEST(RelativeInside, OnlyWhatLiesInTheFolder) {
  EXPECT_EQ(RelativeInside("/games/x", "/games/x/data/a.txt"), fs::path("data/a.txt"));
  EXPECT_EQ(RelativeInside("/games/x", "/games/x"), fs::path("."));
  for (const char* outside : {"/games/xy/a", "/games/x/../y", "/games", "games/x/a"}) {
    EXPECT_EQ(RelativeInside("/games/x", outside), std::nullopt) << outside;
  }
}

TEST(SameNameIgnoringCase, AsciiOnly) {
  EXPECT_TRUE(SameNameIgnoringCase("ABC.txt", "abc.TXT"));
  EXPECT_FALSE(SameNameIgnoringCase("Ａ", "ａ"));  // full-width letters are distinct
  EXPECT_FALSE(SameNameIgnoringCase("ab", "abc"));
}

}  // namespace
}  // namespace vn
