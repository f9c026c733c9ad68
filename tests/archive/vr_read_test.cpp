#include <gtest/gtest.h>

#include <fstream>

#include "archive/archive_directory.h"
#include "archive/seeded_random.h"
#include "archive/vr_files.h"
#include "archive/zlib_stream.h"
#include "platform/error.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;
using test::BuildArchive;
using test::BuildEntry;

std::string Read(TVrFileCollection& c, const char* name) {
  TMemoryStream m;
  c.ReadEntry(m, DataString(name));
  EXPECT_EQ(m.GetPosition(), 0);
  return m.Bytes();
}

TVrFileCollection& LoadBytes(TVrFileCollection& c, const std::string& bytes, int64_t at = 0) {
  auto stream = std::make_unique<TBigMemoryStream>();
  stream->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream->SetPosition(at);
  c.LoadFromStream(*stream);
  return c;
}

fs::path WriteArchive(const std::string& bytes, const std::string& name = "game.dat") {
  const fs::path path = test::MakeTempDir() / name;
  test::WriteFile(path, bytes);
  return path;
}

// "vf", version, count, three name records, four offsets and three entries' flags
constexpr int64_t kSampleDirectorySize = 10 + (4 + 11) + (4 + 11) + (4 + 10) + 8 * 4 + 10 * 3;

std::vector<BuildEntry> SampleEntries() {
  return {test::Compressed("install.dat", "settings"), test::StoredWithCrc("data\\bg.rxa", "picture"),
          test::Compressed("readme.txt", std::string(3000, 'r'))};
}

TEST(ArchiveFormat, WorkedExampleLaysOutTheDirectoryAsDocumented) {
  const std::vector<BuildEntry> entries = {{"a.txt", std::string(100, 'a')},
                                           {"bb.dat", std::string(40, 'b')}};
  const std::string bytes = BuildArchive(entries);
  ASSERT_EQ(bytes.size(), 213u);
  TVrFileCollection c;
  LoadBytes(c, bytes);
  ASSERT_EQ(c.Count(), 3);  // two entries and the end marker
  EXPECT_EQ(c[0].Offset, 73);
  EXPECT_EQ(c[0].Size, 100);
  EXPECT_EQ(c[1].Offset, 173);
  EXPECT_EQ(c[1].Size, 40);
  EXPECT_EQ(c[2].Name(), TVrFileCollection::EofName());
  EXPECT_EQ(c[2].Offset, 213);
  EXPECT_EQ(c[2].Size, 0);

  // our own encoder lays out the same directory
  ArchiveDirectory dir;
  dir.names = {DataString("a.txt"), DataString("bb.dat")};
  dir.offsets = {73, 173, 213};
  dir.stored = {1, 1};
  dir.time = {0, 0};
  dir.crc = {0, 0};
  dir.separate = {0, 0};
  EXPECT_EQ(EncodeArchiveDirectory(dir), bytes.substr(0, 73));
}

TEST(ArchiveFormat, EmptyArchiveIs18Bytes) {
  const std::string bytes = BuildArchive({});
  ASSERT_EQ(bytes.size(), 18u);
  TVrFileCollection c;
  LoadBytes(c, bytes);
  EXPECT_EQ(c.Count(), 1);
  EXPECT_TRUE(c.Verify() == false);  // no stream: LoadFromStream alone opens nothing
}

TEST(ArchiveFormat, EveryVersionReadsItsNamesOffsetsAndFlags) {
  for (int version : {0, 1, 99, 100, 101, 102, 150}) {
    SCOPED_TRACE(version);
    std::vector<BuildEntry> entries = SampleEntries();
    entries.insert(entries.begin() + 1, BuildEntry{"", "", false});  // an empty name draws no keys
    entries[2].separate = true;
    entries[2].time = 0x3A2B1C0D;
    if (version < 101) {
      // without flag tables every entry is compressed
      entries[2] = test::Compressed("data\\bg.rxa", "picture");
    }
    const fs::path path = WriteArchive(BuildArchive(entries, {.version = version}));
    TVrFileCollection c;
    c.Open(path);
    EXPECT_EQ(c.Version(), version);
    ASSERT_EQ(c.Count(), 5);
    EXPECT_EQ(c[0].Name(), DataString("install.dat"));
    EXPECT_EQ(c[1].Name(), DataString(""));
    EXPECT_EQ(c[2].Name(), DataString("data\\bg.rxa"));
    EXPECT_EQ(Read(c, "install.dat"), "settings");
    EXPECT_EQ(Read(c, "DATA\\BG.RXA"), "picture");
    EXPECT_EQ(Read(c, "readme.txt"), std::string(3000, 'r'));
    EXPECT_EQ(Read(c, "\\EOF\\"), "");
    EXPECT_EQ(c[2].Stored, version >= 101);
    EXPECT_EQ(c[2].Separate, version >= 102);
    EXPECT_EQ(c[2].Time, version >= 101 ? 0x3A2B1C0D : 0);
    EXPECT_EQ(c[0].CRC != 0, version >= 101);
    EXPECT_TRUE(c.Verify());
  }
}

TEST(ArchiveFormat, NegativeKeysInvertTheHighHalfOfOffsets) {
  std::vector<BuildEntry> entries;
  for (int i = 0; i < 6; ++i) entries.push_back({"e" + std::to_string(i), std::string(10 + i, 'x')});
  TSeededRandom keys(kArchiveSeed);
  bool negative = false;
  for (int k = 0; k <= 6; ++k) negative |= keys.Next() < 0;
  ASSERT_TRUE(negative);  // some offsets of this table are scrambled with a negative key
  TVrFileCollection c;
  LoadBytes(c, BuildArchive(entries));
  EXPECT_EQ(c[0].Offset, 10 + 6 * (4 + 2) + 8 * 7 + 10 * 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(c[i].Size, 10 + i);
}

TEST(ArchiveReader, DirectoryInsideAnotherStreamIsShiftedByItsStart) {
  const std::string archive = BuildArchive(SampleEntries());
  TVrFileCollection c;
  LoadBytes(c, std::string(1000, 'p') + archive, 1000);
  TVrFileCollection plain;
  LoadBytes(plain, archive);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c[i].Offset, plain[i].Offset + 1000);
  EXPECT_EQ(c[3].Offset, plain[3].Offset);  // the end marker keeps its unshifted offset
}

TEST(ArchiveReader, ExecutableWithTrailerIgnoresASideFile) {
  const fs::path exe =
      WriteArchive(test::WithExeTrailer("MZ program bytes", BuildArchive(SampleEntries())), "setup.EXE");
  test::WriteFile(exe.parent_path() / "setup.ext", BuildArchive({}));
  TVrFileCollection c;
  c.Open(exe);
  ASSERT_EQ(c.Count(), 4);
  EXPECT_EQ(c[0].Offset, 16 + kSampleDirectorySize);  // counted from the archive start S
  EXPECT_EQ(Read(c, "install.dat"), "settings");
  EXPECT_TRUE(c.Verify());
}

TEST(ArchiveReader, SideFileDirectoryWinsOverTheDataFilesOwn) {
  const std::vector<BuildEntry> installed = {test::StoredWithCrc("a.txt", "new a"),
                                             test::Compressed("b.txt", "bee")};
  // the data file begins with a valid directory of its own that names something else
  const std::string own = BuildArchive({{"old.txt", "old"}});
  const fs::path data = WriteArchive(own + test::EntryData(installed));
  test::WriteFile(
      data.parent_path() / "game.ext",
      BuildArchive(installed, {.first_offset = static_cast<int64_t>(own.size()), .directory_only = true}));
  TVrFileCollection c;
  c.Open(data);
  ASSERT_EQ(c.Count(), 3);
  EXPECT_EQ(Read(c, "a.txt"), "new a");
  EXPECT_EQ(Read(c, "B.TXT"), "bee");
  EXPECT_EQ(c.IndexOf(DataString("old.txt")), -1);
}

TEST(ArchiveReader, NamesBeginningWithADotAreAllExtension) {
  // ".exe" is an executable, and ".dat" has the side file ".ext"
  const fs::path exe = WriteArchive(test::WithExeTrailer("MZ", BuildArchive(SampleEntries())), ".exe");
  TVrFileCollection c;
  c.Open(exe);
  EXPECT_EQ(Read(c, "install.dat"), "settings");
  const std::vector<BuildEntry> entries = {test::StoredWithCrc("a.txt", "side")};
  const fs::path data = WriteArchive(test::EntryData(entries), ".dat");
  test::WriteFile(data.parent_path() / ".ext",
                  BuildArchive(entries, {.first_offset = 0, .directory_only = true}));
  c.Open(data);
  EXPECT_EQ(Read(c, "a.txt"), "side");
}

TEST(ArchiveReader, LaterOfTwoEqualNamesIsRead) {
  const fs::path path = WriteArchive(BuildArchive({{"Data\\a.rxa", "first"}, {"DATA\\A.RXA", "second"}}));
  TVrFileCollection c;
  c.Open(path);
  EXPECT_EQ(Read(c, "data\\a.rxa"), "second");
  EXPECT_EQ(Read(c, "Data\\a.rxa"), "second");
}

TEST(ArchiveReader, LooseFilesAreServedFromTheFolder) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "Sub" / "Loose.txt", "loose");
  TVrFileCollection c;
  c.Open(dir);  // a folder, not a file: loose files only
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(c.Stream(), nullptr);
  EXPECT_EQ(c.BasePath(), dir);
  EXPECT_EQ(Read(c, "sub\\loose.TXT"), "loose");  // letter case resolved as Windows would
  try {
    Read(c, "absent.txt");
    ADD_FAILURE();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "absent.txt:ファイルがありません");
  }
  EXPECT_THROW(Read(c, "..\\outside.txt"), EPathError);

  // an archive falls back to the files beside it, but never serves itself
  const fs::path path = dir / "game.dat";
  test::WriteFile(path, BuildArchive(SampleEntries()));
  c.Open(path);
  EXPECT_EQ(Read(c, "Sub\\Loose.txt"), "loose");
  EXPECT_THROW(Read(c, "game.dat"), EFOpenError);
  c.Open("");
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(c.Stream(), nullptr);
}

TEST(ArchiveReader, CompressedEntryIntoAFileStreamWritesTheContent) {
  const fs::path path = WriteArchive(BuildArchive(SampleEntries()));
  TVrFileCollection c;
  c.Open(path);
  const fs::path out = path.parent_path() / "out.txt";
  {
    TFileStream f(out, FileAccess::kCreate);
    f.Write("prefix", 6);
    c.ReadEntry(f, DataString("readme.txt"));
    EXPECT_EQ(f.GetPosition(), 0);
  }
  EXPECT_EQ(test::ReadFile(out), "prefix" + std::string(3000, 'r'));
}

TEST(ArchiveReader, DamagedCompressedDataFailsOnlyThatEntry) {
  std::vector<BuildEntry> entries = SampleEntries();
  entries[2].bytes[entries[2].bytes.size() / 2] ^= 0x55;
  entries[2].bytes[3] ^= 0x55;
  const fs::path path = WriteArchive(BuildArchive(entries));
  TVrFileCollection c;
  c.Open(path);
  EXPECT_EQ(Read(c, "install.dat"), "settings");
  try {
    Read(c, "readme.txt");
    ADD_FAILURE();
  } catch (const EFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("readme.txt"), std::string::npos) << e.what();
  }
  // cut short: the zlib stream never ends
  std::vector<BuildEntry> cut = SampleEntries();
  cut[0].bytes.resize(cut[0].bytes.size() - 5);
  c.Open(WriteArchive(BuildArchive(cut)));
  EXPECT_THROW(Read(c, "install.dat"), EFormatError);
  EXPECT_EQ(Read(c, "data\\bg.rxa"), "picture");
}

TEST(ArchiveVerify, FindsDamageAndPassesOverEntriesWithoutChecksum) {
  std::vector<BuildEntry> entries = SampleEntries();
  entries.push_back({"nocrc.bin", "anything"});                 // CRC 0: not checked
  entries.push_back({"/superseded.bin", "stale", true, 0, 1});  // wrong CRC, but hidden by a merge
  std::string bytes = BuildArchive(entries);
  const fs::path path = WriteArchive(bytes);
  TVrFileCollection c;
  c.Open(path);
  int bad = 7;
  EXPECT_TRUE(c.Verify(&bad));
  EXPECT_EQ(bad, -1);

  bytes[static_cast<size_t>(c[1].Offset) + 2] ^= 1;  // one bit of data\bg.rxa
  test::WriteFile(path, bytes);
  c.Open(path);
  EXPECT_FALSE(c.Verify(&bad));
  EXPECT_EQ(bad, 1);
}

// An entry of several MiB is checked in pieces whose checksums are joined: a bit flipped in a later
// piece is found, and the entries around it are judged as well.
TEST(ArchiveVerify, LargeEntriesAreCheckedWhole) {
  std::string large(3 * 1048576 + 5, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 4096);
  const std::vector<BuildEntry> entries = {test::StoredWithCrc("a.bin", "first"),
                                           test::StoredWithCrc("large.bin", large),
                                           test::StoredWithCrc("z.bin", "last")};
  std::string bytes = BuildArchive(entries);
  const fs::path path = WriteArchive(bytes);
  TVrFileCollection c;
  c.Open(path);
  int bad = 7;
  EXPECT_TRUE(c.Verify(&bad));
  EXPECT_EQ(bad, -1);
  const int index = c.IndexOf(DataString("large.bin"));
  ASSERT_GE(index, 0);
  bytes[static_cast<size_t>(c[index].Offset) + 2 * 1048576 + 100] ^= 0x10;
  test::WriteFile(path, bytes);
  c.Open(path);
  EXPECT_FALSE(c.Verify(&bad));
  EXPECT_EQ(bad, index);
}

TEST(ArchiveVerify, ProgressEveryTenthEntryAndCancel) {
  std::vector<BuildEntry> entries;
  for (int i = 0; i < 25; ++i) entries.push_back(test::StoredWithCrc("f" + std::to_string(i), "x"));
  TVrFileCollection c;
  c.Open(WriteArchive(BuildArchive(entries)));
  std::vector<std::pair<int, int>> calls;
  c.OnProgress = [&](TVrFileCollection& sender, TVrFile& item, int64_t size, int32_t index, int32_t total,
                     bool& abort) {
    EXPECT_EQ(&sender, &c);
    EXPECT_EQ(&item, &c[index]);
    EXPECT_EQ(size, 1);
    EXPECT_FALSE(abort);
    calls.emplace_back(index, total);
  };
  EXPECT_TRUE(c.Verify());
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{9, 25}, {19, 25}}));

  c.OnProgress = [](TVrFileCollection&, TVrFile&, int64_t, int32_t, int32_t, bool& abort) { abort = true; };
  EXPECT_TRUE(c.Verify());  // cancelled: not a failure
}

TEST(ArchiveReader, DataSplitOverPartFiles) {
  // Entry 1 starts 5 bytes before the end of the first 1 GiB part and continues in game.001; the
  // first part is sparse, so this costs no disk space.
  const int64_t gib = TBigFileStream::kPartSize;
  const std::string tail = "0123456789ABCDEFGHIJ";
  BuildEntry filler{"filler.bin", ""};
  BuildEntry crossing = test::StoredWithCrc("crossing.bin", tail);
  // the directory describes the filler's length without the builder holding a gigabyte
  const std::string head = BuildArchive({filler, crossing}, {.directory_only = true});
  const int64_t filler_size = gib - 5 - static_cast<int64_t>(head.size());
  ArchiveDirectory dir;
  dir.names = {DataString("filler.bin"), DataString("crossing.bin")};
  dir.offsets = {static_cast<int64_t>(head.size()), gib - 5, gib + 15};
  dir.stored = {1, 1};
  dir.time = {0, 0};
  dir.crc = {0, crossing.crc};
  dir.separate = {0, 0};
  const std::string directory = EncodeArchiveDirectory(dir);
  ASSERT_EQ(directory.size(), head.size());
  ASSERT_GT(filler_size, 0);

  const fs::path folder = test::MakeTempDir();
  {
    std::ofstream f(folder / "game.dat", std::ios::binary);
    f << directory;
  }
  fs::resize_file(folder / "game.dat", static_cast<uintmax_t>(gib - 5));
  {
    std::fstream f(folder / "game.dat", std::ios::binary | std::ios::in | std::ios::out | std::ios::ate);
    f << tail.substr(0, 5);
  }
  test::WriteFile(folder / "game.001", tail.substr(5));

  TVrFileCollection c;
  c.Open(folder / "game.dat");
  ASSERT_EQ(c.Count(), 3);
  EXPECT_EQ(c[1].Offset, gib - 5);
  EXPECT_EQ(Read(c, "crossing.bin"), tail);
  EXPECT_TRUE(c.Verify());
  EXPECT_EQ(static_cast<TBigFileStream*>(c.Stream())->PartCount(), 2);

  // An executable split the same way takes its trailer from the end of the last part.
  const std::string archive = BuildArchive(SampleEntries());
  { std::ofstream(folder / "setup.exe", std::ios::binary) << "MZ"; }
  fs::resize_file(folder / "setup.exe", static_cast<uintmax_t>(gib));
  std::string trailer_part = archive;
  const int32_t start = static_cast<int32_t>(gib);
  trailer_part.append(reinterpret_cast<const char*>(&start), 4);
  trailer_part += "vd";
  test::WriteFile(folder / "setup.001", trailer_part);
  c.Open(folder / "setup.exe");
  ASSERT_EQ(c.Count(), 4);
  EXPECT_EQ(Read(c, "install.dat"), "settings");
  EXPECT_EQ(c[0].Offset, gib + kSampleDirectorySize);
  EXPECT_TRUE(c.Verify());
}

TEST(ArchiveReader, ExecutableLargerThanAPartIsOnePlainFile) {
  // An executable of over 1 GiB (sparse) with an archive appended; a stray part file beside a
  // short executable is no part of it either.
  const int64_t gib = TBigFileStream::kPartSize;
  const fs::path folder = test::MakeTempDir();
  const std::string archive = BuildArchive(SampleEntries());
  { std::ofstream(folder / "big.exe", std::ios::binary) << "MZ"; }
  fs::resize_file(folder / "big.exe", static_cast<uintmax_t>(gib + 100));
  {
    std::fstream f(folder / "big.exe", std::ios::binary | std::ios::in | std::ios::out | std::ios::ate);
    const int32_t start = static_cast<int32_t>(gib + 100);
    f << archive;
    f.write(reinterpret_cast<const char*>(&start), 4);
    f << "vd";
  }
  TVrFileCollection c;
  c.Open(folder / "big.exe");
  EXPECT_EQ(Read(c, "install.dat"), "settings");
  EXPECT_TRUE(c.Verify());

  test::WriteFile(folder / "small.exe", test::WithExeTrailer("MZ", archive));
  test::WriteFile(folder / "small.001", "stray");
  c.Open(folder / "small.exe");
  EXPECT_EQ(Read(c, "install.dat"), "settings");
}

// --- Damaged directories --------------------------------------------------------------------

void ExpectFormatError(const std::string& bytes, const std::string& fault) {
  const fs::path path = WriteArchive(bytes, "bad.dat");
  TVrFileCollection c;
  try {
    c.Open(path);
    ADD_FAILURE() << "accepted a damaged directory, expected: " << fault;
  } catch (const EFormatError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("bad.dat"), std::string::npos) << what;
    EXPECT_NE(what.find(fault), std::string::npos) << what;
  }
}

template <typename T>
void Poke(std::string& bytes, size_t at, T v) {
  std::memcpy(bytes.data() + at, &v, sizeof v);
}

TEST(ArchiveDamage, EachFaultIsRefusedWithItsReason) {
  const std::string good = BuildArchive(SampleEntries());
  std::string b = good;
  Poke<int32_t>(b, 6, -3);
  ExpectFormatError(b, "negative entry count -3");
  b = good;
  Poke<int32_t>(b, 6, 0x7FFFFFFF);
  ExpectFormatError(b, "entry count 2147483647 does not fit");
  b = good;
  Poke<int32_t>(b, 10, 1 << 30);
  ExpectFormatError(b, "name length 1073741824 of entry 0 runs past the end");

  // offsets: scrambled values are replaced by values that unscramble to a chosen order
  TVrFileCollection c;
  LoadBytes(c, good);
  const size_t table = 10 + (4 + 11) + (4 + 11) + (4 + 10);
  const auto put_offset = [&](std::string& bytes, int k, int64_t value) {
    TSeededRandom keys(kArchiveSeed);
    int32_t key = 0;
    for (int i = 0; i <= k; ++i) key = keys.Next();
    Poke<int64_t>(bytes, table + 8 * static_cast<size_t>(k), value ^ static_cast<int64_t>(key));
  };
  b = good;
  put_offset(b, 2, c[0].Offset - 1);
  ExpectFormatError(b, "not ascending at entry 2");
  b = good;
  put_offset(b, 3, static_cast<int64_t>(good.size()) + 1);
  ExpectFormatError(b, "past the end of the data");
  b = good;
  put_offset(b, 0, -5);
  ExpectFormatError(b, "negative offset");
  // cut short: the count no longer fits in what remains
  ExpectFormatError(good.substr(0, table + 20), "entry count 3 does not fit");
  ExpectFormatError(good.substr(0, 12), "entry count 3 does not fit");
  ExpectFormatError("vf", "ends inside the header");
  // an exe whose trailer points outside it
  ExpectFormatError(good.substr(0, 12) +
                        "\x7f\x7f\x7f\x7f"
                        "vd",
                    "");
}

TEST(ArchiveDamage, EveryTruncationAndCorruptionIsRefusedOrReadSafely) {
  const std::string good = BuildArchive(SampleEntries(), {.version = 102});
  const std::string old = BuildArchive(SampleEntries(), {.version = 0});
  int refused = 0;
  for (const std::string* base : {&good, &old}) {
    std::vector<std::string> variants;
    for (size_t cut = 0; cut < base->size(); ++cut) variants.push_back(base->substr(0, cut));
    for (size_t at = 0; at < base->size(); ++at) {
      for (uint8_t v : {0x00, 0x7F, 0x80, 0xFF}) {
        std::string b = *base;
        b[at] = static_cast<char>(v);
        variants.push_back(b);
      }
    }
    for (const std::string& bytes : variants) {
      TVrFileCollection c;
      try {
        LoadBytes(c, bytes);
      } catch (const EFormatError&) {
        ++refused;
        continue;
      }
      // Whatever was accepted lies inside the stream and reads without harm.
      auto stream = std::make_unique<TBigMemoryStream>();
      stream->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
      for (int i = 0; i + 1 < c.Count(); ++i) {
        EXPECT_LE(c[i].Offset + c[i].Size, static_cast<int64_t>(bytes.size()));
        EXPECT_GE(c[i].Size, 0);
      }
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(ArchiveDamage, DamagedEntriesReadThroughOpenFailCleanly) {
  const std::string good = BuildArchive(SampleEntries());
  const fs::path path = test::MakeTempDir() / "fuzz.dat";
  for (size_t at = 0; at < good.size(); ++at) {
    std::string b = good;
    b[at] = static_cast<char>(b[at] ^ 0xA5);
    test::WriteFile(path, b);
    TVrFileCollection c;
    try {
      c.Open(path);
      for (int i = 0; i + 1 < c.Count(); ++i) {
        TMemoryStream m;
        try {
          c.ReadEntry(m, c[i].Name());
        } catch (const Exception&) {
          // a damaged entry or an unsafe name: an error for that entry only
        }
      }
      c.Verify();
    } catch (const EFormatError&) {
    }
  }
}

TEST(ArchiveResource, OpensAnArchiveAttachedToAModule) {
  const fs::path dir = test::MakeTempDir();
  fs::copy_file("/proc/self/exe", dir / "launcher");
  test::WriteFile(dir / "archive", BuildArchive(SampleEntries()));
  test::WriteFile(dir / "empty", "");
  const std::string cmd = "objcopy --add-section .rsrc.BINTYPE.DUMMY=" + (dir / "archive").string() +
                          " --add-section .rsrc.BINTYPE.EMPTY=" + (dir / "empty").string() + " " +
                          (dir / "launcher").string();
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  TVrFileCollection c;
  c.OpenResource(dir / "launcher", "DUMMY", "BINTYPE");
  ASSERT_EQ(c.Count(), 4);
  EXPECT_EQ(Read(c, "install.dat"), "settings");
  EXPECT_TRUE(c.Verify());
  EXPECT_THROW(c.OpenResource(dir / "launcher", "EMPTY", "BINTYPE"), Exception);
  EXPECT_THROW(c.OpenResource(dir / "launcher", "NONE", "BINTYPE"), EFOpenError);
  c.OpenResource(dir / "archive", "DUMMY", "BINTYPE");  // not a module: quietly empty
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(c.Stream(), nullptr);
}

TEST(ZlibStreams, RoundTripAtEveryLevel) {
  for (int level = 0; level < 4; ++level) {
    TMemoryStream m(std::string(5000, 'z') + "tail");
    CompressMemoryStream(m, level);
    if (level > 0) {
      EXPECT_LT(m.GetSize(), 200);
    }
    DecompressMemoryStream(m);
    EXPECT_EQ(m.Bytes(), std::string(5000, 'z') + "tail");
    EXPECT_EQ(m.GetPosition(), 0);
  }
}

}  // namespace
}  // namespace vn

namespace vn {
namespace {

TEST(FindArchiveExe, FindsTheExecutableWhoseSettingsCarryTheTitle) {
  const fs::path dir = test::MakeTempDir();
  const auto exe_with = [](const std::string& title) {
    return test::WithExeTrailer("MZ", BuildArchive({test::Compressed("install.dat", title)}));
  };
  // The settings layer supplies the parser; here the whole entry is the title.
  const TArchiveTitleReader title_of = [](TMemoryStream& m) { return DataString(m.Bytes()); };
  test::WriteFile(dir / "setup.EXE", exe_with("Game A"));
  test::WriteFile(dir / "readme.txt", "not an executable");
  fs::create_directory(dir / "folder.exe");
  EXPECT_EQ(FindArchiveExe(dir, DataString("Game A"), title_of), dir / "setup.EXE");
  EXPECT_EQ(FindArchiveExe(dir, DataString("game a"), title_of), fs::path());  // exact comparison

  // An executable without the trailer ends the search, whatever comes after it.
  const fs::path plain = test::MakeTempDir();
  test::WriteFile(plain / "tool.exe", "MZ no archive");
  EXPECT_EQ(FindArchiveExe(plain, DataString("Game A"), title_of), fs::path());
}

}  // namespace
}  // namespace vn
