#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include "platform/fileops.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// DOS date-time of a local calendar moment.
constexpr int32_t Dos(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<int32_t>((static_cast<uint32_t>(year - 1980) << 25) |
                              (static_cast<uint32_t>(month) << 21) | (static_cast<uint32_t>(day) << 16) |
                              (static_cast<uint32_t>(hour) << 11) | (static_cast<uint32_t>(minute) << 5) |
                              static_cast<uint32_t>(second / 2));
}

TEST(DosDateTime, RoundTripInLocalTime) {
  // A zone with daylight saving time, so the local-time rule is actually exercised.
  const char* old_tz = getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // no zone database needed
  tzset();
  for (const int32_t dos : {Dos(1980, 1, 1, 0, 0, 0), Dos(2004, 2, 29, 23, 59, 58),
                            Dos(2024, 7, 15, 12, 30, 10), Dos(2043, 12, 31, 1, 2, 4)}) {
    const std::optional<std::time_t> t = DosDateTimeToTime(dos);
    ASSERT_TRUE(t.has_value()) << std::hex << dos;
    EXPECT_EQ(TimeToDosDateTime(*t), dos);
  }
  // Summer time: 12:00 local is 10:00 UTC.
  struct tm utc = {};
  const std::time_t noon = *DosDateTimeToTime(Dos(2024, 7, 15, 12, 0, 0));
  gmtime_r(&noon, &utc);
  EXPECT_EQ(utc.tm_hour, 10);
  // Odd seconds round down; moments outside 1980-2107 are clamped.
  EXPECT_EQ(TimeToDosDateTime(noon + 1), Dos(2024, 7, 15, 12, 0, 0));
  EXPECT_EQ(TimeToDosDateTime(0), Dos(1980, 1, 1, 0, 0, 0));
  // Fields out of range are refused.
  EXPECT_FALSE(DosDateTimeToTime(Dos(2023, 2, 29, 0, 0, 0)).has_value());
  EXPECT_FALSE(DosDateTimeToTime(Dos(2023, 13, 1, 0, 0, 0)).has_value());
  EXPECT_FALSE(DosDateTimeToTime(Dos(2023, 1, 0, 0, 0, 0)).has_value());
  EXPECT_FALSE(DosDateTimeToTime(Dos(2023, 1, 1, 24, 0, 0)).has_value());
  EXPECT_FALSE(DosDateTimeToTime(0).has_value());
  if (old_tz) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(FileOps, FileAgeAndSize) {
  const fs::path dir = test::MakeTempDir("age");
  test::WriteFile(dir / "a", "hello");
  const int32_t when = Dos(2001, 5, 6, 7, 8, 10);
  ASSERT_TRUE(FileSetDate(dir / "a", when));
  EXPECT_EQ(FileAge(dir / "a"), when);
  EXPECT_EQ(FileAge(dir / "missing"), -1);
  EXPECT_FALSE(FileSetDate(dir / "a", 0));
  EXPECT_EQ(FileSizeOf(dir / "a"), 5);
  EXPECT_EQ(FileSizeOf(dir / "missing"), 0);
  EXPECT_EQ(FileSizeOf(dir), 0);
}

TEST(FileOps, CopyKeepsTimeAndModeAndRespectsReadOnlyTarget) {
  const fs::path dir = test::MakeTempDir("copy");
  test::WriteFile(dir / "game", "#!/bin/sh\n");
  fs::permissions(dir / "game", fs::perms::owner_exec, fs::perm_options::add);
  FileSetDate(dir / "game", Dos(1999, 9, 9, 9, 9, 8));
  test::WriteFile(dir / "old", "previous");

  ASSERT_TRUE(CopyFileOver(dir / "game", dir / "old"));
  EXPECT_EQ(test::ReadFile(dir / "old"), "#!/bin/sh\n");
  EXPECT_EQ(FileAge(dir / "old"), Dos(1999, 9, 9, 9, 9, 8));
  EXPECT_TRUE((fs::status(dir / "old").permissions() & fs::perms::owner_exec) != fs::perms::none);

  // A read-only target is not replaced, as on Windows; cleared, it is.
  test::WriteFile(dir / "locked", "keep");
  fs::permissions(dir / "locked", fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_TRUE(IsReadOnly(dir / "locked"));
  EXPECT_FALSE(CopyFileOver(dir / "game", dir / "locked"));
  EXPECT_EQ(test::ReadFile(dir / "locked"), "keep");
  ASSERT_TRUE(ClearReadOnly(dir / "locked"));
  EXPECT_TRUE(CopyFileOver(dir / "game", dir / "locked"));

  // Missing source or folder: false, and no temporary file is left behind.
  EXPECT_FALSE(CopyFileOver(dir / "missing", dir / "x"));
  EXPECT_FALSE(CopyFileOver(dir / "game", dir / "no/such/folder/x"));
  EXPECT_FALSE(CopyFileOver(dir, dir / "x"));
  int count = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++count;
  EXPECT_EQ(count, 3);
}

TEST(FileOps, DeleteFolderTreeNeverFollowsLinks) {
  const fs::path outside = test::MakeTempDir("precious");
  test::WriteFile(outside / "keep.txt", "k");
  const fs::path tree = test::MakeTempDir("tree");
  test::WriteFile(tree / "a/b/c.txt", "c");
  test::WriteFile(tree / ".hidden", "h");
  test::WriteFile(tree / "a/ro.txt", "r");
  fs::permissions(tree / "a/ro.txt", fs::perms::owner_write, fs::perm_options::remove);
  fs::permissions(tree / "a/b", fs::perms::owner_write, fs::perm_options::remove);  // read-only folder
  fs::create_directory_symlink(outside, tree / "a/link");
  fs::create_symlink(outside / "keep.txt", tree / "filelink");

  EXPECT_TRUE(DeleteFolderTree(tree));
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_EQ(test::ReadFile(outside / "keep.txt"), "k");

  // A link given as the folder itself: only the link goes.
  fs::create_directory_symlink(outside, tree);
  EXPECT_TRUE(DeleteFolderTree(tree));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
  EXPECT_TRUE(DeleteFolderTree(tree / "never-existed"));
  EXPECT_TRUE(ForceDirectories(tree / "x/y/z"));
  EXPECT_TRUE(fs::is_directory(tree / "x/y/z"));
}

}  // namespace
}  // namespace vn
