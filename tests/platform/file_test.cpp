#include "platform/file.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

TEST(File, ReadWriteAndErrorsNameTheFile) {
  const fs::path dir = test::MakeTempDir();
  {
    File f(dir / "a.bin", FileAccess::kCreate);
    f.Write("hello world", 11);
    f.WriteAt(0, "J", 1);
    char buf[5];
    EXPECT_EQ(f.ReadAt(6, buf, 5), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(f.Size(), 11);
  }
  EXPECT_EQ(ReadWholeFile(dir / "a.bin", kAnyFileSize), "Jello world");
  try {
    File missing(dir / "nope.bin", FileAccess::kRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("nope.bin"), std::string::npos);
  }
  EXPECT_THROW(File(dir, FileAccess::kRead), EFOpenError);
}

// A file inside a disc image: every read, position and copy stays within its range of the image.
TEST(File, WindowReadsOnlyItsRangeAndRefusesWrites) {
  const fs::path dir = test::MakeTempDir();
  WriteFileAtomically(dir / "image", "....window....");
  File w = File::Window(dir / "image", 4, 6);
  EXPECT_EQ(w.Size(), 6);
  char buf[16] = {};
  EXPECT_EQ(w.Read(buf, 16), 6);
  EXPECT_EQ(std::string(buf, 6), "window");
  EXPECT_EQ(w.Position(), 6);
  EXPECT_EQ(w.Read(buf, 16), 0);
  EXPECT_EQ(w.Seek(3), 3);
  EXPECT_EQ(w.Read(buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "do");
  EXPECT_EQ(w.ReadAt(4, buf, 16), 2);
  EXPECT_EQ(w.ReadAt(9, buf, 16), 0);
  {
    File copy(dir / "copy", FileAccess::kCreate);
    EXPECT_EQ(copy.CopyRangeFrom(w, 1, 0, 100), 5);
  }
  EXPECT_EQ(ReadWholeFile(dir / "copy", kAnyFileSize), "indow");
  EXPECT_THROW(w.Write("x", 1), EWriteError);
  EXPECT_THROW(w.WriteAt(0, "x", 1), EWriteError);
  EXPECT_THROW(w.SetSize(0), EWriteError);
  EXPECT_EQ(ReadWholeFile(dir / "image", kAnyFileSize), "....window....");
  EXPECT_THROW(File::Window(dir / "image", 10, 5), EReadError);  // past the end: a truncated image
}

TEST(File, AtomicReplaceLeavesNoTemporaryBehind) {
  const fs::path dir = test::MakeTempDir();
  WriteFileAtomically(dir / "s.dat", "old");
  WriteFileAtomically(dir / "s.dat", "new content");
  EXPECT_EQ(ReadWholeFile(dir / "s.dat", kAnyFileSize), "new content");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  // a target in a missing folder fails and leaves nothing
  EXPECT_THROW(WriteFileAtomically(dir / "missing" / "s.dat", "x"), EFOpenError);
}

// Clean-up after a killed writer removes what TemporarySibling made, and never a file that only
// looks alike.
TEST(File, TemporaryNamesAreKnownAgainAndNothingElse) {
  const fs::path temporary = TemporarySibling(fs::path("/games/x") / "save.tmp.dat");
  EXPECT_EQ(TemporarySiblingBase(temporary.filename().string()), "save.tmp.dat");
  for (const char* other : {"save.dat", "save.dat.tmp", "save.dat.tmp12", "save.dat.tmp12-", "save.dat.tmp-3",
                            "save.dat.tmp1-2x", ".tmp1-2"}) {
    EXPECT_EQ(TemporarySiblingBase(other), std::nullopt) << other;
  }
}

}  // namespace
}  // namespace vn
