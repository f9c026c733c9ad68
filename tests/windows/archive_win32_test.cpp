#include <gtest/gtest.h>

#include "archive/big_stream.h"
#include "archive/vr_files.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "tests/windows/check_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

TEST(Win32Archive, PacksAndReadsBackJapaneseNames) {
  check::ScratchFolder dir("archive");
  // "データ\表.txt": the folder and file names are code page 932 bytes, one with a 0x5C trail byte.
  const DataString folder("\x83\x66\x81\x5B\x83\x5E");
  const DataString name = folder + DataString("\\\x95\x5C.txt");
  const std::string content(5000, 'v');
  ForceDirectories(JoinDataPath(dir.path(), folder));
  WriteFileAtomically(JoinDataPath(dir.path(), name), content);

  TVrFileCollection source;
  source.Open(dir.path());
  source.Add(name);
  const fs::path archive = dir.path() / "game.dat";
  {
    TBigFileStream out(archive, TBigFileStream::kCreate);
    ASSERT_TRUE(source.SaveToStream(out));
  }
  TVrFileCollection packed;
  packed.Open(archive);
  ASSERT_TRUE(packed.Verify());
  TMemoryStream m;
  packed.ReadEntry(m, name);
  EXPECT_EQ(m.Bytes(), content);
  // The side file of a data file is found by its Windows name.
  EXPECT_EQ(ChangeFileExtension(dir.path() / Utf8ToPath("\xE8\xA1\xA8.dat"), ".ext"),
            dir.path() / Utf8ToPath("\xE8\xA1\xA8.ext"));
}

TEST(Win32Archive, ReadsTheResourceOfAModule) {
  const fs::path exe = OwnExecutablePath();
  EXPECT_TRUE(IsLoadableModule(exe));
  TResourceStream resource(exe, "dummy", "bintype");  // names without regard to case
  std::string text(static_cast<size_t>(resource.GetSize()), '\0');
  EXPECT_EQ(resource.Read(text.data(), resource.GetSize()), resource.GetSize());
  EXPECT_EQ(text, "hello from a resource\n");
  EXPECT_THROW(TResourceStream(exe, "OTHER", "BINTYPE"), EFOpenError);

  check::ScratchFolder dir("module");
  WriteFileAtomically(dir.path() / "plain.exe", "MZ but nothing more");
  EXPECT_FALSE(IsLoadableModule(dir.path() / "plain.exe"));
}

}  // namespace
}  // namespace vn
