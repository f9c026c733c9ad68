#include "archive/big_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/error.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// Part files of a few bytes, so that splitting is exercised without gigabytes.
class SmallPartStream : public TBigFileStream {
 public:
  SmallPartStream(const fs::path& name, uint16_t mode, int64_t part) : TBigFileStream(name, mode, part) {}
};

TEST(BigFileStream, WritesAcrossPartsAndReadsThemBackAsOneStream) {
  const fs::path dir = test::MakeTempDir();
  std::string data;
  for (int i = 0; i < 25; ++i) data += static_cast<char>('a' + i);
  {
    SmallPartStream s(dir / "a.dat", TBigFileStream::kCreate, 10);
    EXPECT_EQ(s.Write(data.data(), 25), 25);
    EXPECT_EQ(s.GetSize(), 25);
    EXPECT_EQ(s.PartCount(), 3);
  }
  EXPECT_EQ(test::ReadFile(dir / "a.dat"), data.substr(0, 10));
  EXPECT_EQ(test::ReadFile(dir / "a.001"), data.substr(10, 10));
  EXPECT_EQ(test::ReadFile(dir / "a.002"), data.substr(20));

  SmallPartStream r(dir / "a.dat", TBigFileStream::kRead, 10);
  EXPECT_EQ(r.GetSize(), 25);
  r.SetPosition(8);
  char buf[32] = {};
  EXPECT_EQ(r.Read(buf, 14), 14);
  EXPECT_EQ(std::string(buf, 14), data.substr(8, 14));
  r.SetPosition(100);  // beyond the end: clamped to the size
  EXPECT_EQ(r.GetPosition(), 25);
  EXPECT_EQ(r.Read(buf, 5), 0);
  TMemoryStream sink;
  EXPECT_EQ(r.ReadToStream(sink, 5), 0);
  EXPECT_THROW(r.Write("x", 1), Exception);  // opened for reading
}

TEST(BigFileStream, OpensPartsUpToTheFirstGapAndCreatingDeletesThem) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "a.dat", "0123456789");
  test::WriteFile(dir / "a.002", "gap");
  {
    SmallPartStream r(dir / "a.dat", TBigFileStream::kRead, 10);
    EXPECT_EQ(r.PartCount(), 1);
    EXPECT_EQ(r.GetSize(), 10);
  }
  test::WriteFile(dir / "a.001", "abc");
  test::WriteFile(dir / "a.004", "after a gap");
  { SmallPartStream c(dir / "a.dat", TBigFileStream::kCreate, 10); }
  EXPECT_FALSE(fs::exists(dir / "a.dat"));
  EXPECT_FALSE(fs::exists(dir / "a.001"));
  EXPECT_FALSE(fs::exists(dir / "a.002"));
  EXPECT_TRUE(fs::exists(dir / "a.004"));
}

TEST(BigFileStream, ShortReadNamesTheFile) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "short.dat", "abc");
  TBigFileStream r(dir / "short.dat", TBigFileStream::kRead);
  char buffer[10];
  try {
    r.ReadBuffer(buffer, 10);
    ADD_FAILURE() << "a short read passed";
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("short.dat: stream read error"), std::string::npos) << e.what();
  }
}

TEST(BigFileStream, PartNamesReplaceOnlyTheLastExtension) {
  TBigFileStream none("/nowhere/x/data", TBigFileStream::kCreate);
  EXPECT_EQ(none.PartFileName(0), fs::path("/nowhere/x/data"));
  EXPECT_EQ(none.PartFileName(2), fs::path("/nowhere/x/data.002"));
  TBigFileStream game("/nowhere/x.y/game.dat", TBigFileStream::kCreate);
  EXPECT_EQ(game.PartFileName(1), fs::path("/nowhere/x.y/game.001"));
  EXPECT_EQ(game.PartFileName(1000), fs::path("/nowhere/x.y/game.1000"));
  // the extension runs from the name's last dot, so a name that begins with it is all extension
  TBigFileStream dotted("/nowhere/x/.dat", TBigFileStream::kCreate);
  EXPECT_EQ(dotted.PartFileName(1), fs::path("/nowhere/x/.001"));
}

TEST(BigFileStream, RealPartSizeWithSparseFiles) {
  // a.dat five bytes short of 1 GiB (sparse, so it costs no disk space); 15 bytes appended fill it
  // to exactly 1 GiB and start a.001 with 10 bytes.
  const fs::path dir = test::MakeTempDir();
  const int64_t gib = TBigFileStream::kPartSize;
  { std::ofstream(dir / "a.dat").put('s'); }
  fs::resize_file(dir / "a.dat", static_cast<uintmax_t>(gib - 5));
  {
    TBigFileStream s(dir / "a.dat", TBigFileStream::kReadWrite);
    s.SetPosition(s.GetSize());
    EXPECT_EQ(s.Write("0123456789abcde", 15), 15);
    EXPECT_EQ(s.GetSize(), gib + 10);
  }
  EXPECT_EQ(fs::file_size(dir / "a.dat"), static_cast<uintmax_t>(gib));
  EXPECT_EQ(test::ReadFile(dir / "a.001"), "56789abcde");

  TBigFileStream r(dir / "a.dat", TBigFileStream::kRead);
  EXPECT_EQ(r.PartCount(), 2);
  r.SetPosition(gib - 7);
  char buf[16] = {};
  EXPECT_EQ(r.Read(buf, 16), 16);
  EXPECT_EQ(std::string(buf, 16), std::string(2, '\0') + "0123456789abcd");
}

TEST(BuffBigStream, HandsBackUnreadBytesAndStopsAtTheEnd) {
  TBigMemoryStream source;
  const std::string data(200000, 'q');
  source.Write(data.data(), static_cast<int64_t>(data.size()));
  source.SetPosition(5);
  {
    TBuffBigStream b(source);
    char buf[10];
    EXPECT_EQ(b.Read(buf, 10), 10);
    EXPECT_EQ(source.GetPosition(), 5 + TBuffBigStream::kChunkSize);
  }
  EXPECT_EQ(source.GetPosition(), 15);

  source.SetPosition(199995);
  TBuffBigStream b(source);
  char buf[100];
  EXPECT_EQ(b.Read(buf, 100), 5);  // truncated: the short count, no loop, no refill from the start
  EXPECT_EQ(b.Read(buf, 100), 0);
}

TEST(CopyStreamData, CountZeroCopiesAllAndShortSourcesEndTheCopy) {
  TMemoryStream source(std::string("hello world"));
  source.SetPosition(6);
  TMemoryStream target;
  EXPECT_EQ(CopyStreamData(target, source, 0), 11);
  EXPECT_EQ(target.Bytes(), "hello world");

  const fs::path file = test::MakeTempDir() / "f";
  test::WriteFile(file, "abcdef");
  TFileStream in(file, FileAccess::kRead);
  in.SetPosition(2);
  TMemoryStream out;
  EXPECT_EQ(CopyStreamData(out, in, 100), 4);
  EXPECT_EQ(out.Bytes(), "cdef");

  TBigMemoryStream a, b;
  b.Write("xyz", 3);
  EXPECT_EQ(a.CopyFrom(b, 0), 3);
  TBigFileStream other(test::MakeTempDir() / "o.dat", TBigFileStream::kCreate);
  EXPECT_EQ(a.CopyFrom(other, 0), 0);  // a memory stream copies only from its own kind
  EXPECT_EQ(other.CopyFrom(a, 0), 3);
  EXPECT_EQ(other.GetSize(), 3);
}

class ResourceStreamTest : public ::testing::Test {
 protected:
  // A real ELF file: this test program, with a section added the way resources are attached.
  fs::path ModuleWith(const std::string& section, const std::string& content) {
    const fs::path dir = test::MakeTempDir();
    fs::copy_file("/proc/self/exe", dir / "module");
    test::WriteFile(dir / "payload", content);
    const std::string cmd = "objcopy --add-section '" + section + "=" + (dir / "payload").string() + "' '" +
                            (dir / "module").string() + "' 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return dir / "module";
  }
};

TEST_F(ResourceStreamTest, ReadsASectionOfTheModuleAndRefusesWriting) {
  const fs::path module = ModuleWith(".rsrc.BINTYPE.DUMMY", "vf resource bytes");
  TBigResourceStream r(module, "dummy", "bintype");  // resource names ignore case
  EXPECT_EQ(r.GetSize(), 17);
  char buf[32];
  EXPECT_EQ(r.Read(buf, 32), 17);
  EXPECT_EQ(std::string(buf, 17), "vf resource bytes");
  EXPECT_THROW(r.Write("x", 1), EWriteError);
  EXPECT_THROW(TBigResourceStream(module, "OTHER", "BINTYPE"), EFOpenError);
}

TEST_F(ResourceStreamTest, DamagedModulesAreNotLoadable) {
  const fs::path module = ModuleWith(".rsrc.BINTYPE.DUMMY", "x");
  std::string bytes = test::ReadFile(module);
  EXPECT_TRUE(IsLoadableModule(module));
  // the section table offset pointed far outside the file
  std::string bad = bytes;
  for (int i = 0; i < 8; ++i) bad[0x28 + i] = static_cast<char>(0x7F);
  test::WriteFile(module, bad);
  EXPECT_FALSE(IsLoadableModule(module));
  test::WriteFile(module, bytes.substr(0, 30));
  EXPECT_FALSE(IsLoadableModule(module));
  test::WriteFile(module, "MZ not an ELF file");
  EXPECT_FALSE(IsLoadableModule(module));
}

}  // namespace
}  // namespace vn
