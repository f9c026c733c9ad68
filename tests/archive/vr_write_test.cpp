#include <gtest/gtest.h>

#include <random>

#include "archive/archive_directory.h"
#include "archive/vr_files.h"
#include "archive/zlib_stream.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Packs the given files (name -> content) from a folder into memory and reopens the result.
struct Packed {
  fs::path dir;
  std::string bytes;
  TVrFileCollection archive;
};

std::unique_ptr<Packed> Pack(const std::vector<std::pair<std::string, std::string>>& files,
                             const std::vector<std::string>& separate = {}) {
  auto p = std::make_unique<Packed>();
  p->dir = test::MakeTempDir("pack");
  TVrFileCollection source;
  source.Open(p->dir);
  for (const auto& [name, content] : files) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    test::WriteFile(p->dir / path, content);
    TVrFile& e = source.Add(DataString(name));
    e.Separate = std::find(separate.begin(), separate.end(), name) != separate.end();
  }
  TBigMemoryStream out;
  EXPECT_TRUE(source.SaveToStream(out));
  p->bytes = out.Memory().Bytes();
  test::WriteFile(p->dir / "packed.pak", p->bytes);
  p->archive.Open(p->dir / "packed.pak");
  return p;
}

std::string Content(TVrFileCollection& c, const std::string& name) {
  TMemoryStream m;
  c.ReadEntry(m, DataString(name));
  return m.Bytes();
}

TEST(ArchiveWriter, PackReadsBackEveryField) {
  const std::string text(4000, 't');
  auto p = Pack({{"install.dat", "settings file"}, {"data\\bg.txt", text}, {"voice.ogg", Random(500, 1)}},
                {"data\\bg.txt"});
  TVrFileCollection& c = p->archive;
  ASSERT_EQ(c.Count(), 4);
  EXPECT_EQ(c.Version(), 102);
  EXPECT_EQ(c[0].Offset, 10 + (4 + 11) + (4 + 11) + (4 + 9) + 8 * 4 + 10 * 3);
  EXPECT_EQ(Content(c, "install.dat"), "settings file");
  EXPECT_EQ(Content(c, "data\\bg.txt"), text);
  EXPECT_FALSE(c[1].Stored);
  EXPECT_TRUE(c[1].Separate);
  EXPECT_EQ(c[1].CRC, test::ZlibCrc(text));  // a separate entry's checksum covers its content
  EXPECT_TRUE(c[0].Stored);                  // ".DAT" is on the list of stored extensions
  EXPECT_EQ(c[0].CRC, test::ZlibCrc("settings file"));
  EXPECT_TRUE(c[2].Stored);  // .ogg is stored as it is
  EXPECT_EQ(c[2].CRC, test::ZlibCrc(Random(500, 1)));
  EXPECT_EQ(c[0].Time, FileAge(p->dir / "install.dat"));
  EXPECT_NE(c[0].Time, 0);
  // the compressed bytes are zlib's default level, exactly as packing one entry at a time gives,
  // and the checksum of an ordinary entry covers the stored bytes
  EXPECT_EQ(p->bytes.substr(static_cast<size_t>(c[1].Offset), static_cast<size_t>(c[1].Size)),
            test::ZlibCompress(text));
  // a data-checksummed entry passes verify; the separate one (content checksum) would not
  c[1].CRC = 0;
  EXPECT_TRUE(c.Verify());
}

TEST(ArchiveWriter, CompressionIsKeptOnlyWhenItSavesATenth) {
  // 1000-byte files whose deflated length is exactly 900 and 901 bytes
  std::string at900, at901;
  for (size_t k = 700; k < 1000 && (at900.empty() || at901.empty()); ++k) {
    std::string s = Random(k, 3) + std::string(1000 - k, 'z');
    const size_t packed = test::ZlibCompress(s).size();
    if (packed == 900) at900 = s;
    if (packed == 901) at901 = s;
  }
  ASSERT_FALSE(at900.empty());
  ASSERT_FALSE(at901.empty());
  auto p = Pack({{"a.txt", at900}, {"b.txt", at901}});
  EXPECT_FALSE(p->archive[0].Stored);
  EXPECT_EQ(p->archive[0].Size, 900);
  EXPECT_EQ(p->archive[0].CRC, test::ZlibCrc(test::ZlibCompress(at900)));  // over the stored bytes
  EXPECT_TRUE(p->archive[1].Stored);
  EXPECT_EQ(p->archive[1].Size, 1000);
  EXPECT_EQ(Content(p->archive, "b.txt"), at901);
}

TEST(ArchiveWriter, TheTenthIsReckonedIn32BitArithmetic) {
  EXPECT_TRUE(KeepsCompressedForm(900, 1000));
  EXPECT_FALSE(KeepsCompressedForm(901, 1000));
  EXPECT_TRUE(KeepsCompressedForm(8, 9));  // 81 div 10 = 8
  // 300000000 x 9 wraps to -1594967296: nothing is small enough
  EXPECT_FALSE(KeepsCompressedForm(0, 300000000));
  // 500000000 x 9 wraps to 205032704, a tenth of which is 20503270
  EXPECT_TRUE(KeepsCompressedForm(20503270, 500000000));
  EXPECT_FALSE(KeepsCompressedForm(20503271, 500000000));
}

TEST(ArchiveWriter, StoredExtensionsAreFoundByPlainSubstringSearch) {
  const std::string text(2000, 'x');
  auto p = Pack({{"movie.mpg", text},
                 {"a.MP", text},
                 {"x.dat", text},
                 {"readme", text},
                 {"notes.txt", text},
                 {"odd.", text},
                 {"clip.mpeg4", text}});
  TVrFileCollection& c = p->archive;
  EXPECT_TRUE(c[0].Stored);   // .MPG is listed
  EXPECT_TRUE(c[1].Stored);   // .MP occurs inside ".MPG"
  EXPECT_TRUE(c[2].Stored);   // .DAT
  EXPECT_FALSE(c[3].Stored);  // no extension: compressed
  EXPECT_FALSE(c[4].Stored);
  EXPECT_TRUE(c[5].Stored);   // a lone dot occurs
  EXPECT_FALSE(c[6].Stored);  // .MPEG4 does not occur
}

TEST(ArchiveWriter, FilesOfFiveMebibytesAreStored) {
  const std::string big(5242880, 'b');
  auto p = Pack({{"big.txt", big}, {"small.txt", big.substr(1)}});
  EXPECT_TRUE(p->archive[0].Stored);
  EXPECT_EQ(p->archive[0].Size, 5242880);
  EXPECT_FALSE(p->archive[1].Stored);
  EXPECT_LT(p->archive[1].Size, 100000);
  EXPECT_EQ(Content(p->archive, "small.txt"), big.substr(1));
}

TEST(ArchiveWriter, RxaPicturesAreCompressedOnlyWithRawPlanes) {
  const auto rxa = [](const char* version, char compression) {
    std::string s = std::string("Ruxa") + version;
    const int32_t n = 40;
    s.append(reinterpret_cast<const char*>(&n), 4);
    std::string record(40, '\0');
    record[22] = compression;
    return s + record + std::string(3000, 'p');
  };
  auto p = Pack({{"raw.rxa", rxa("106", 1)},
                 {"zlib.RXA", rxa("106", 0)},
                 {"old.rxa", rxa("102", 1)},
                 {"big.rxa", rxa("103", 1) + std::string(5242880, 'q')}});
  EXPECT_FALSE(p->archive[0].Stored);
  EXPECT_TRUE(p->archive[1].Stored);
  EXPECT_TRUE(p->archive[2].Stored);
  EXPECT_FALSE(p->archive[3].Stored);  // the picture probe decides, whatever the size
}

TEST(ArchiveWriter, CancelAtTheFirstProgressLeavesHeaderNamesAndZeroedTables) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "a.txt", "aaaa");
  test::WriteFile(dir / "b.txt", "bbbb");
  TVrFileCollection c;
  c.Open(dir);
  c.Add(DataString("a.txt"));
  c.Add(DataString("b.txt"));
  int calls = 0;
  c.OnProgress = [&](TVrFileCollection&, TVrFile&, int64_t size, int32_t index, int32_t total, bool& abort) {
    EXPECT_EQ(size, 0);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(total, 2);
    abort = true;
    ++calls;
  };
  TBigMemoryStream out;
  EXPECT_FALSE(c.SaveToStream(out));
  EXPECT_EQ(calls, 1);
  const std::string expected_head =
      test::BuildArchive({{"a.txt", ""}, {"b.txt", ""}}, {.directory_only = true});
  const size_t names_end = 10 + 2 * (4 + 5);
  EXPECT_EQ(out.Memory().Bytes(), expected_head.substr(0, names_end) + std::string(8 * 3 + 10 * 2, '\0'));
}

TEST(ArchiveWriter, MissingFileIsAnErrorNamingTheEntry) {
  TVrFileCollection c;
  c.Open(test::MakeTempDir());
  c.Add(DataString("gone.txt"));
  TBigMemoryStream out;
  try {
    c.SaveToStream(out);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("エラー:gone.txt"), std::string::npos) << e.what();
  }
}

TEST(ArchiveWriter, EntriesAbsentAsFilesComeFromTheOpenArchive) {
  // repacking from an archive: an entry without a loose file is read and compressed anew
  auto p = Pack({{"a.txt", std::string(3000, 'a')}, {"b.txt", "bee"}});
  fs::remove(p->dir / "a.txt");
  p->archive[0].Time = 12345;
  TBigMemoryStream out;
  ASSERT_TRUE(p->archive.SaveToStream(out));
  TVrFileCollection again;
  const fs::path path = test::MakeTempDir() / "again.pak";
  test::WriteFile(path, out.Memory().Bytes());
  again.Open(path);
  EXPECT_EQ(Content(again, "a.txt"), std::string(3000, 'a'));
  EXPECT_EQ(again[0].Time, 12345);
  EXPECT_FALSE(again[0].Stored);
  EXPECT_TRUE(again.Verify());
}

TEST(ArchiveWriter, PackingIsDeterministicAcrossManyEntries) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 60; ++i) {
    files.emplace_back("f" + std::to_string(i) + ".txt",
                       std::string(static_cast<size_t>(100 + 37 * i), 'a' + i % 26) +
                           Random(static_cast<size_t>(i * 13), static_cast<uint32_t>(i)));
  }
  auto first = Pack(files);
  auto second = Pack(files);
  // the folders differ in file times only through the clock; compare the entry data
  for (int i = 0; i < 60; ++i) {
    const TVrFile& a = first->archive[i];
    EXPECT_EQ(first->bytes.substr(static_cast<size_t>(a.Offset), static_cast<size_t>(a.Size)),
              second->bytes.substr(static_cast<size_t>(second->archive[i].Offset),
                                   static_cast<size_t>(second->archive[i].Size)));
    EXPECT_EQ(Content(first->archive, files[static_cast<size_t>(i)].first),
              files[static_cast<size_t>(i)].second);
  }
  EXPECT_TRUE(first->archive.Verify());
}

// --- Merge ------------------------------------------------------------------------------------

fs::path SourceArchive(const std::vector<test::BuildEntry>& entries) {
  const fs::path path = test::MakeTempDir("src") / "disc.dat";
  test::WriteFile(path, test::BuildArchive(entries));
  return path;
}

test::BuildEntry Timed(test::BuildEntry e, int32_t time) {
  e.time = time;
  return e;
}

TEST(ArchiveMerge, IntoAMissingDataFileCreatesItAndItsSideFile) {
  const fs::path target = test::MakeTempDir("inst") / "game.dat";
  auto separate = test::StoredWithCrc("readme.txt", "separate");
  separate.separate = true;
  TVrFileCollection source;
  source.Open(SourceArchive({Timed(test::Compressed("a.txt", "alpha"), 100), separate,
                             Timed(test::StoredWithCrc("b.bin", "beta"), 100)}));
  TVrFileCollection data;
  data.Open(target);
  std::vector<int> indices;
  data.OnProgress = [&](TVrFileCollection&, TVrFile& item, int64_t size, int32_t index, int32_t total,
                        bool&) {
    EXPECT_EQ(size, item.Size);
    EXPECT_EQ(total, 4);
    indices.push_back(index);
  };
  EXPECT_TRUE(data.Merge(source));
  EXPECT_EQ(indices, (std::vector<int>{0, 2}));
  EXPECT_EQ(data.Count(), 2);    // no end marker after a merge
  EXPECT_EQ(data[0].Offset, 0);  // the side file describes data from the file's first byte

  TVrFileCollection installed;
  installed.Open(target);
  ASSERT_EQ(installed.Count(), 3);
  EXPECT_EQ(Content(installed, "a.txt"), "alpha");
  EXPECT_EQ(Content(installed, "b.bin"), "beta");
  EXPECT_EQ(installed.IndexOf(DataString("readme.txt")), -1);  // separate entries are never merged
  EXPECT_EQ(installed[1].Time, 100);
  EXPECT_TRUE(installed.Verify());
}

TEST(ArchiveMerge, OnlyNewerEntriesAreTakenAndOldOnesAreHidden) {
  const fs::path target = test::MakeTempDir("inst") / "game.dat";
  {
    TVrFileCollection first, data;
    first.Open(SourceArchive(
        {Timed(test::Compressed("a.txt", "old a"), 100), Timed(test::Compressed("b.txt", "b"), 100)}));
    data.Open(target);
    ASSERT_TRUE(data.Merge(first));
  }
  const std::string side_before = test::ReadFile(target.parent_path() / "game.ext");
  TVrFileCollection same, data;
  same.Open(SourceArchive({Timed(test::Compressed("A.TXT", "same time"), 100)}));
  data.Open(target);
  EXPECT_FALSE(data.Merge(same));
  EXPECT_EQ(test::ReadFile(target.parent_path() / "game.ext"), side_before);

  TVrFileCollection newer;
  newer.Open(SourceArchive({Timed(test::Compressed("A.TXT", "new a"), 200)}));
  data.Open(target);
  EXPECT_TRUE(data.Merge(newer));
  EXPECT_EQ(data[0].Name(), DataString("/a.txt"));
  EXPECT_EQ(data.IndexOf(DataString("a.txt")), 2);

  TVrFileCollection installed;
  installed.Open(target);
  ASSERT_EQ(installed.Count(), 4);
  EXPECT_EQ(Content(installed, "a.txt"), "new a");
  EXPECT_EQ(Content(installed, "/a.txt"), "old a");  // the old bytes stay in the data file
  EXPECT_TRUE(installed.Verify());
  for (int i = 1; i + 1 < installed.Count(); ++i) EXPECT_GE(installed[i].Offset, installed[i - 1].Offset);
}

// Of source entries whose names are equal but for letter case, the merge takes the one a reader of
// the source finds: the last one, or the one renamed last.
TEST(ArchiveMerge, TakesTheEntryReadersOfTheSourceFindAmongEqualNames) {
  // Whether the merged collection keeps its entries or (for a caller that does not read them back)
  // the directory is written as the source goes by, the files come out the same, byte for byte.
  using AfterMerge = TVrFileCollection::AfterMerge;
  const fs::path dir = test::MakeTempDir("inst");
  for (const bool renamed : {false, true}) {
    std::string made[2];
    for (const AfterMerge after : {AfterMerge::kEntries, AfterMerge::kClosed}) {
      const bool closed = after == AfterMerge::kClosed;
      const fs::path target = dir / ((renamed ? "renamed" : "plain") + std::string(closed ? "-closed" : "") + ".dat");
      TVrFileCollection source, data;
      source.Open(SourceArchive({test::Compressed("x.txt", "first"), test::Compressed("a.txt", "second"),
                                 test::Compressed("A.TXT", "third")}));
      if (renamed) source[0].SetName(DataString("A.txt"));
      data.Open(target);
      ASSERT_TRUE(data.Merge(source, after));
      EXPECT_EQ(data.Stream() == nullptr, closed);
      TVrFileCollection installed;
      installed.Open(target);
      ASSERT_EQ(installed.Count(), renamed ? 2 : 3);  // the entries taken and the end marker
      EXPECT_EQ(Content(installed, "a.txt"), renamed ? "first" : "third");
      made[closed ? 1 : 0] = test::ReadFile(target) + test::ReadFile(DirectoryFileOf(target));
    }
    EXPECT_EQ(made[0], made[1]);
  }
}

TEST(ArchiveMerge, CancelKeepsTheOldSideFile) {
  const fs::path target = test::MakeTempDir("inst") / "game.dat";
  TVrFileCollection source, data;
  source.Open(SourceArchive({test::Compressed("a.txt", "alpha")}));
  data.Open(target);
  data.OnProgress = [](TVrFileCollection&, TVrFile&, int64_t, int32_t, int32_t, bool& abort) {
    abort = true;
  };
  EXPECT_TRUE(data.Merge(source));  // something was taken over, but nothing written
  EXPECT_FALSE(fs::exists(target.parent_path() / "game.ext"));
}

TEST(AppendArchive, TheResultIsReadThroughItsTrailer) {
  const fs::path dir = test::MakeTempDir();
  const std::string program = "MZ" + Random(3000, 9);
  test::WriteFile(dir / "setup.exe", program);
  test::WriteFile(dir / "update.pak", test::BuildArchive({test::Compressed("install.dat", "new settings")}));
  AppendArchive(dir / "setup.exe", dir / "update.pak");
  const std::string bytes = test::ReadFile(dir / "setup.exe");
  EXPECT_EQ(bytes.substr(0, program.size()), program);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "vd");
  TVrFileCollection c;
  c.Open(dir / "setup.exe");
  EXPECT_EQ(Content(c, "install.dat"), "new settings");
  EXPECT_EQ(c[0].Offset, static_cast<int64_t>(program.size()) + 10 + 4 + 11 + 8 * 2 + 10);
  EXPECT_TRUE(c.Verify());
}

// Part files of a few bytes, so that an archive split over parts costs nothing.
class SmallParts : public TBigFileStream {
 public:
  SmallParts(const fs::path& name, uint16_t mode) : TBigFileStream(name, mode, 16) {}
};

TEST(AppendArchive, ASplitArchiveGoesInWhole) {
  const fs::path dir = test::MakeTempDir();
  const std::string archive = test::BuildArchive({test::Compressed("install.dat", "split settings")});
  {
    SmallParts parts(dir / "update.pak", TBigFileStream::kCreate);
    parts.Write(archive.data(), static_cast<int64_t>(archive.size()));
  }
  ASSERT_TRUE(fs::exists(dir / "update.002"));
  test::WriteFile(dir / "setup.exe", "MZ program");
  SmallParts parts(dir / "update.pak", TBigFileStream::kRead);
  AppendArchive(dir / "setup.exe", parts);
  EXPECT_EQ(test::ReadFile(dir / "setup.exe"), "MZ program" + archive + std::string("\x0a\0\0\0vd", 6));
  // a missing archive is an error, not an empty append
  EXPECT_THROW(AppendArchive(dir / "setup.exe", dir / "none.pak"), EFOpenError);
}

}  // namespace
}  // namespace vn
