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

TEST(File, AtomicReplaceLeavesNoTemporaryBehind) {
  const fs::path dir = test::MakeTempDir();
  WriteFileAtomically(dir / "s.dat", "old");
  WriteFileAtomically(dir / "s.dat", "new content");
  EXPECT_EQ(ReadWholeFile(dir / "s.dat", kAnyFileSize), "new content");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  // a target in a missing folder fails and leaves nothing
  EXPECT_THROW(WriteFileAtomically(dir / "missing" / "s.dat", "x"), EFOpenError);
}

}  // namespace
}  // namespace vn
