// vnkit list / cat / extract / verify, run as a separate process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "archive/archive_directory.h"
#include "archive/vr_files.h"
#include "platform/fileops.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

struct RunResult {
  int code = -1;
  std::string out, err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

RunResult Vnkit(const std::vector<std::string>& args) {
  const fs::path err_file = test::MakeTempDir("err") / "stderr";
  // A sanitizer report must not pass for one of vnkit's own exit codes.
  std::string cmd = "ASAN_OPTIONS=exitcode=99 UBSAN_OPTIONS=exitcode=98 " + Quote(VNKIT);
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " 2>" + Quote(err_file.string());
  RunResult r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.err = test::ReadFile(err_file);
  return r;
}

const std::string kJapanese =
    "\x93\xfa\x96\x7b\x8c\xea\\\x83\x65\x83\x4c\x83\x58\x83\x67.txt";  // 日本語\テキスト.txt

std::vector<test::BuildEntry> Entries() {
  auto install = test::Compressed("install.dat", "settings");
  install.time = 0x5A2B1C0D;
  auto picture = test::StoredWithCrc("data\\bg.rxa", std::string("pic\0ture", 8));
  picture.separate = true;
  return {install, picture, test::Compressed(kJapanese, "japanese text\n")};
}

fs::path WriteArchive(const std::vector<test::BuildEntry>& entries) {
  const fs::path path = test::MakeTempDir() / "game.dat";
  test::WriteFile(path, test::BuildArchive(entries));
  return path;
}

TEST(VnkitArchive, ListJsonGivesEveryFieldWithUtf8Names) {
  const fs::path archive = WriteArchive(Entries());
  const RunResult r = Vnkit({"list", archive.string(), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["version"], 102);
  ASSERT_EQ(j["entries"].size(), 3u);
  const auto& e0 = j["entries"][0];
  EXPECT_EQ(e0["name"], "install.dat");
  EXPECT_EQ(e0["stored"], false);
  EXPECT_EQ(e0["time"], 0x5A2B1C0D);
  EXPECT_EQ(e0["crc"], Entries()[0].crc);
  const auto& e1 = j["entries"][1];
  EXPECT_EQ(e1["separate"], true);
  EXPECT_EQ(e1["size"], 8);
  EXPECT_EQ(e1["offset"].get<int64_t>(), e0["offset"].get<int64_t>() + e0["size"].get<int64_t>());
  EXPECT_EQ(j["entries"][2]["name"], "日本語\\テキスト.txt");
}

TEST(VnkitArchive, CatWritesTheExactContent) {
  const fs::path archive = WriteArchive(Entries());
  RunResult r = Vnkit({"cat", archive.string(), "DATA\\BG.RXA"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, std::string("pic\0ture", 8));
  r = Vnkit({"cat", archive.string(), "日本語\\テキスト.txt"});
  EXPECT_EQ(r.out, "japanese text\n");
  r = Vnkit({"cat", archive.string(), "missing.txt"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("game.dat"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
}

TEST(VnkitArchive, ExtractRefusesEscapingNamesAndExtractsTheRest) {
  auto entries = Entries();
  entries.push_back(test::StoredWithCrc("..\\escape.txt", "evil"));
  entries.push_back(test::StoredWithCrc("ok.txt", "fine"));
  entries.push_back(test::StoredWithCrc(std::string("nul\0.txt", 8), "nul"));
  const fs::path archive = WriteArchive(entries);
  const fs::path out = test::MakeTempDir("out") / "target";
  const RunResult r = Vnkit({"extract", archive.string(), "-o", out.string()});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("..\\escape.txt"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("unsafe path \"nul\\x00.txt\": it contains a NUL byte"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out.parent_path() / "escape.txt"));
  EXPECT_EQ(test::ReadFile(out / "install.dat"), "settings");
  EXPECT_EQ(test::ReadFile(out / "data" / "bg.rxa"), std::string("pic\0ture", 8));
  EXPECT_EQ(test::ReadFile(out / "日本語" / "テキスト.txt"), "japanese text\n");
  EXPECT_EQ(test::ReadFile(out / "ok.txt"), "fine");
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out.parent_path())) files += e.is_regular_file();
  EXPECT_EQ(files, 4u);  // no temporary file left behind

  const fs::path some = test::MakeTempDir("some");
  EXPECT_EQ(Vnkit({"extract", archive.string(), "-o", some.string(), "ok.txt"}).code, 0);
  EXPECT_EQ(test::ReadFile(some / "ok.txt"), "fine");
  EXPECT_FALSE(fs::exists(some / "install.dat"));

  // A link already in the output folder is never passed through, whatever the letter case.
  const fs::path linked = test::MakeTempDir("linked");
  fs::create_directory(linked / "outside");
  fs::create_directory(linked / "out");
  fs::create_directory_symlink("../outside", linked / "out" / "lnk");
  const fs::path through = WriteArchive({test::StoredWithCrc("lnk\\pwned.txt", "evil"),
                                         test::StoredWithCrc("LNK\\sub\\deep.txt", "evil"),
                                         test::StoredWithCrc("ok.txt", "fine")});
  const RunResult l = Vnkit({"extract", through.string(), "-o", (linked / "out").string()});
  EXPECT_EQ(l.code, 2) << l.err;
  EXPECT_NE(l.err.find("lnk/pwned.txt: not extracted"), std::string::npos) << l.err;
  EXPECT_NE(l.err.find("LNK/sub/deep.txt: not extracted"), std::string::npos) << l.err;
  EXPECT_TRUE(fs::is_empty(linked / "outside"));
  EXPECT_EQ(test::ReadFile(linked / "out" / "ok.txt"), "fine");
}

TEST(VnkitArchive, ExtractReportsADamagedEntryAndKeepsGoing) {
  auto entries = Entries();
  entries[0].bytes[entries[0].bytes.size() / 2] ^= 0x5A;
  entries[0].bytes.resize(entries[0].bytes.size() - 4);
  // stored bytes that no longer match their checksum are no file of the archive either
  entries.push_back(test::StoredWithCrc("movie.mpg", "frames"));
  entries.back().bytes[2] ^= 0x01;
  const fs::path archive = WriteArchive(entries);
  const fs::path out = test::MakeTempDir("out");
  test::WriteFile(out / "install.dat", "kept");
  const RunResult r = Vnkit({"extract", archive.string(), "-o", out.string()});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("install.dat"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("movie.mpg: not extracted: checksum mismatch"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out / "movie.mpg"));
  const RunResult cat = Vnkit({"cat", archive.string(), "movie.mpg"});
  EXPECT_EQ(cat.code, 2);
  EXPECT_NE(cat.err.find("entry movie.mpg is damaged: checksum mismatch"), std::string::npos) << cat.err;
  EXPECT_EQ(test::ReadFile(out / "install.dat"), "kept");  // a damaged entry destroys nothing
  EXPECT_EQ(test::ReadFile(out / "data" / "bg.rxa"), std::string("pic\0ture", 8));
}

// Many entries in folders that take turns in the archive, as the writers share them out: every file
// whole with its stored time, -v in archive order, a later entry for the same file (another name
// for it) replacing an earlier one, and failures reported without a partial file left behind.
TEST(VnkitArchive, ExtractOfManyFoldersWritesEveryFileWithItsTime) {
  std::vector<test::BuildEntry> entries;
  std::map<std::string, std::pair<std::string, int32_t>> expected;  // path -> content, DOS time
  std::vector<std::string> order;                                   // -v lines expected
  const auto add = [&](test::BuildEntry entry, const std::string& path, const std::string& content) {
    expected[path] = {content, entry.time};
    std::string shown = entry.name;  // output writes '/' between folders
    std::replace(shown.begin(), shown.end(), '\\', '/');
    order.push_back("extracted " + shown);
    entries.push_back(std::move(entry));
  };
  for (int i = 0; i < 600; ++i) {
    const std::string name = "f" + std::to_string(i % 12) + "\\e" + std::to_string(i) + ".txt";
    const std::string content = "entry " + std::to_string(i) + std::string(i % 50, 'x');
    auto entry = i % 3 == 0 ? test::Compressed(name, content) : test::StoredWithCrc(name, content);
    // DOS date-time: a different day, hour, minute and second for each entry
    entry.time = ((2001 - 1980 + i % 20) << 25) | ((1 + i % 12) << 21) | ((1 + i % 28) << 16) |
                 ((i % 24) << 11) | ((i % 60) << 5) | (i % 30);
    add(entry, "f" + std::to_string(i % 12) + "/e" + std::to_string(i) + ".txt", content);
  }
  auto again = test::StoredWithCrc("f3/e3.txt", "written last");  // '/' joins as '\\'
  again.time = 0x3A210000;
  add(again, "f3/e3.txt", "written last");
  // the earlier entry of that file is not written at all: which one wins is no race between writers
  order.erase(std::find(order.begin(), order.end(), "extracted f3/e3.txt"));
  entries.push_back(test::StoredWithCrc("blocked\\x.txt", "no folder for it"));
  // damaged in its checksum: the first megabyte is written before the damage shows
  auto broken = test::Compressed("f5\\broken.bin", std::string(3 << 20, 'b'));
  broken.bytes.back() ^= 0x01;
  entries.push_back(broken);
  const fs::path archive = WriteArchive(entries);
  const fs::path out = test::MakeTempDir("many");
  test::WriteFile(out / "blocked", "a file where the folder would go");

  const RunResult r = Vnkit({"extract", "-v", archive.string(), "-o", out.string()});
  EXPECT_EQ(r.code, 2) << r.err;
  EXPECT_NE(r.err.find("blocked/x.txt: not extracted"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("f5/broken.bin: not extracted"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("f3/e3.txt: not extracted: the later entry f3/e3.txt goes to the same file"),
            std::string::npos)
      << r.err;
  std::istringstream lines(r.out);
  std::vector<std::string> said;
  for (std::string line; std::getline(lines, line);) said.push_back(line);
  EXPECT_EQ(said, order);
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out)) files += e.is_regular_file();
  EXPECT_EQ(files, expected.size() + 1);  // and "blocked": no partial or temporary file
  EXPECT_FALSE(fs::exists(out / "f5" / "broken.bin"));
  for (const auto& [path, want] : expected) {
    ASSERT_EQ(test::ReadFile(out / path), want.first) << path;
    struct stat st {};
    ASSERT_EQ(::stat((out / path).c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mtime, DosDateTimeToTime(want.second).value()) << path;
  }
}

TEST(VnkitArchive, VerifyAnswersIntactOrNamesTheDamage) {
  const fs::path archive = WriteArchive(Entries());
  EXPECT_EQ(Vnkit({"verify", archive.string()}).code, 0);
  std::string bytes = test::ReadFile(archive);
  bytes[bytes.size() - 20] ^= 1;  // inside the last entry
  test::WriteFile(archive, bytes);
  const RunResult r = Vnkit({"verify", archive.string()});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("日本語/テキスト.txt"), std::string::npos) << r.err;
  EXPECT_EQ(Vnkit({"verify", (archive.parent_path() / "none.dat").string()}).code, 2);
}

TEST(VnkitArchive, ListHasHeaderAndTotalAndShowsEveryNameWhole) {
  auto entries = Entries();  // install.dat has a time, the others have none
  entries.push_back(test::StoredWithCrc(std::string("nul\0name.txt", 12), "n"));
  entries.push_back(
      test::StoredWithCrc("bad\xA0"
                          "byte.txt",
                          "b"));
  const RunResult r = Vnkit({"list", WriteArchive(entries).string()});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string header = r.out.substr(0, r.out.find('\n'));
  EXPECT_NE(header.find("size"), std::string::npos) << r.out;
  EXPECT_NE(header.find("name"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n5 entries, 48 bytes\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("1980-00-00"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  -  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("nul\\x00name.txt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bad\\xA0byte.txt"), std::string::npos) << r.out;
}

// Every output writes '/' between folders (JSON keeps the stored '\\'); JSON keeps names apart that
// differ only in bytes without a character; -q lists the names alone, -v adds the offsets.
TEST(VnkitArchive, OutputsShareOneSeparatorAndKeepOddNamesApart) {
  const std::vector<test::BuildEntry> entries = {test::StoredWithCrc("sub\\b.txt", "b"),
                                                 test::StoredWithCrc("odd\xA0.txt", "0"),
                                                 test::StoredWithCrc("odd\xFD.txt", "1")};
  const fs::path archive = WriteArchive(entries);
  RunResult r = Vnkit({"list", "-q", archive.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "sub/b.txt\nodd\\xA0.txt\nodd\\xFD.txt\n");
  r = Vnkit({"list", "-v", archive.string()});
  EXPECT_EQ(r.out.rfind("      offset          size", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("sub/b.txt"), std::string::npos) << r.out;

  r = Vnkit({"list", "--json", archive.string()});
  const auto j = nlohmann::ordered_json::parse(r.out);
  EXPECT_EQ(r.out, j.dump(2) + "\n");
  EXPECT_EQ(j["entries"][0]["name"], "sub\\b.txt");
  EXPECT_EQ(j["entries"][1]["name"]["text"], "odd\\xA0.txt");
  EXPECT_EQ(j["entries"][1]["name"]["hex"], "6f6464a02e747874");
  EXPECT_EQ(j["entries"][2]["name"]["hex"], "6f6464fd2e747874");

  const fs::path out = test::MakeTempDir("out");
  r = Vnkit({"extract", "-v", archive.string(), "-o", out.string(), "sub/b.txt"});
  EXPECT_EQ(r.out, "extracted sub/b.txt\n") << r.err;
  // a file that cannot be replaced is named, not the temporary written beside it
  fs::remove(out / "sub" / "b.txt");
  fs::create_directories(out / "sub" / "b.txt" / "inside");
  r = Vnkit({"extract", archive.string(), "-o", out.string(), "sub/b.txt"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find((out / "sub" / "b.txt").string() + ": cannot be replaced: Is a directory"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find(".tmp"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("filesystem error"), std::string::npos) << r.err;
}

TEST(VnkitArchive, NamesTakeSlashesAndPatternsAndExtractOnlyEntries) {
  auto entries = Entries();
  entries.push_back(test::StoredWithCrc("scenario\\01.txt", "one"));
  entries.push_back(test::StoredWithCrc("scenario\\02.TXT", "two"));
  entries.push_back(test::StoredWithCrc("/old.txt", "superseded"));
  const fs::path archive = WriteArchive(entries);
  test::WriteFile(archive.parent_path() / "loose.txt", "beside the archive");
  RunResult r = Vnkit({"cat", archive.string(), "Data/BG.rxa", "/old.txt"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, std::string("pic\0ture", 8) + "superseded");
  EXPECT_EQ(Vnkit({"cat", archive.string(), "loose.txt"}).out, "beside the archive");  // cat only

  const fs::path out = test::MakeTempDir("out");
  test::WriteFile(out / "scenario" / "01.txt", "mine");
  r = Vnkit({"extract", archive.string(), "-C", out.string(), "--keep", "SCENARIO/*.txt", "loose.txt"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("vnkit extract: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("loose.txt"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFile(out / "scenario" / "01.txt"), "mine");  // kept
  EXPECT_EQ(test::ReadFile(out / "scenario" / "02.TXT"), "two");
  EXPECT_FALSE(fs::exists(out / "loose.txt"));
  EXPECT_FALSE(fs::exists(out / "install.dat"));
  // without --keep existing files are replaced, as before
  EXPECT_EQ(Vnkit({"extract", archive.string(), "-o", out.string(), "scenario\\01.txt"}).code, 0);
  EXPECT_EQ(test::ReadFile(out / "scenario" / "01.txt"), "one");
}

TEST(VnkitArchive, VerifyInflatesWhatHasNoChecksumAndFindsTheCut) {
  auto entries = Entries();
  auto unchecked = test::Compressed("unchecked.txt", std::string(300, 'u'));
  unchecked.crc = 0;
  unchecked.bytes[unchecked.bytes.size() / 2] ^= 0x55;
  entries.insert(entries.begin(), unchecked);
  const fs::path archive = WriteArchive(entries);
  RunResult r = Vnkit({"verify", archive.string()});
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("unchecked.txt"), std::string::npos) << r.err;

  // cut inside the last entry: the entries before it are intact and can be salvaged
  std::string bytes = test::BuildArchive(Entries());
  bytes.resize(bytes.size() - 3);
  test::WriteFile(archive, bytes);
  r = Vnkit({"verify", archive.string()});
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("日本語/テキスト.txt is cut off"), std::string::npos) << r.err;
  const fs::path out = test::MakeTempDir("salvage");
  EXPECT_EQ(Vnkit({"extract", archive.string(), "-o", out.string()}).code, 2);  // refused whole
  r = Vnkit({"extract", "--salvage", "-v", archive.string(), "-o", out.string()});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(test::ReadFile(out / "install.dat"), "settings");
  EXPECT_EQ(test::ReadFile(out / "data" / "bg.rxa"), std::string("pic\0ture", 8));
  EXPECT_FALSE(fs::exists(out / "日本語" / "テキスト.txt"));
  EXPECT_NE(r.out.find("install.dat"), std::string::npos) << r.out;
}

TEST(VnkitArchive, IntactMeansEveryEntrySupersededOnesIncludedCanBeExtracted) {
  // A checksum over deflate data that is broken: only inflating it shows the damage.
  auto broken = test::Compressed("broken.txt", std::string(5000, 'z'));
  broken.bytes[broken.bytes.size() / 2] ^= 0x20;
  broken.crc = test::ZlibCrc(broken.bytes);
  const fs::path archive = WriteArchive({test::StoredWithCrc("a.txt", "old a"), broken});
  RunResult r = Vnkit({"verify", archive.string()});
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("broken.txt is damaged: the compressed data is damaged"), std::string::npos) << r.err;
  EXPECT_EQ(Vnkit({"verify", "--quick", archive.string()}).code, 0);  // checksums only
  EXPECT_EQ(Vnkit({"extract", archive.string(), "-o", test::MakeTempDir("x").string()}).code, 2);

  // Superseded entries are checked and counted apart, and extracted under their name when named.
  auto superseded = test::StoredWithCrc("/a.txt", "old a");
  std::vector<test::BuildEntry> merged = {superseded, test::StoredWithCrc("a.txt", "new a")};
  test::WriteFile(archive, test::BuildArchive(merged));
  r = Vnkit({"verify", archive.string()});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("intact (1 entry, 1 with a checksum; 1 superseded entry)"), std::string::npos)
      << r.out;
  const fs::path out = test::MakeTempDir("old");
  r = Vnkit({"extract", archive.string(), "/a.txt", "-o", out.string()});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::ReadFile(out / "a.txt"), "old a");
  merged[0].bytes[0] ^= 1;
  test::WriteFile(archive, test::BuildArchive(merged));
  r = Vnkit({"verify", archive.string()});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("/a.txt (superseded) is damaged: checksum mismatch"), std::string::npos) << r.err;

  // An end offset that claims 2^62 bytes is a cut, found without reading (or planning) that much.
  ArchiveDirectory claims;
  claims.names = {DataString("huge.bin")};
  claims.stored = {1};
  claims.time = {0};
  claims.crc = {1};
  claims.separate = {0};
  claims.offsets = {0, int64_t{1} << 62};
  claims.offsets[0] = EncodedDirectorySize(claims);
  test::WriteFile(archive, EncodeArchiveDirectory(claims) + "only a few bytes");
  r = Vnkit({"verify", archive.string()});
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("huge.bin is cut off: the archive ends"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("std::"), std::string::npos) << r.err;
}

TEST(VnkitArchive, MessagesNameTheCommandAndHelpListsEachCommandOnce) {
  RunResult r = Vnkit({"lsit", "x"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("unknown command \"lsit\""), std::string::npos) << r.err;
  r = Vnkit({"verify", "/nowhere/none.dat"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err.rfind("vnkit verify: /nowhere/none.dat", 0), 0u) << r.err;
  r = Vnkit({"list"});
  EXPECT_EQ(r.err.rfind("vnkit list: ", 0), 0u) << r.err;
  r = Vnkit({"--help"});
  EXPECT_EQ(r.code, 0);
  for (const char* command : {"\n  list ", "\n  pack ", "\n  settings show "}) {
    const size_t first = r.out.find(command);
    EXPECT_NE(first, std::string::npos) << command;
    EXPECT_EQ(r.out.find(command, first + 1), std::string::npos) << command << r.out;
  }
}

TEST(VnkitArchive, HostileDirectoriesAreErrorsNeverCrashes) {
  const std::string good = test::BuildArchive(Entries());
  const fs::path path = test::MakeTempDir() / "hostile.dat";
  std::vector<std::string> variants;
  for (size_t cut : {0, 1, 5, 9, 13, 40, 80}) variants.push_back(good.substr(0, cut));
  for (size_t at : {6, 7, 9, 10, 13}) {
    std::string b = good;
    b[at] = static_cast<char>(0xFF);
    variants.push_back(b);
  }
  for (const std::string& bytes : variants) {
    test::WriteFile(path, bytes);
    for (const char* command : {"list", "verify"}) {
      const RunResult r = Vnkit({command, path.string()});
      EXPECT_EQ(r.code, 2) << command << " on " << bytes.size() << " bytes: " << r.err;
      EXPECT_NE(r.err.find("hostile.dat"), std::string::npos) << r.err;
    }
  }
}

// list and verify read the directory entry by entry instead of loading it: they must give what the
// library's loaded collection gives, for every place a directory can lie (in the data, in a side
// file, behind an executable), with more entries than one read of the directory holds.
TEST(VnkitArchive, ListAndVerifyOfManyEntriesAgreeWithTheLoadedDirectory) {
  std::vector<test::BuildEntry> entries;
  for (int i = 0; i < 6000; ++i) {
    const std::string name = "scene" + std::to_string(i % 7) + "\\file" + std::to_string(i) + ".txt";
    auto e = i % 3 == 0 ? test::Compressed(name, std::string(40 + i % 50, 'a' + i % 26))
                        : test::StoredWithCrc(name, "content " + std::to_string(i));
    e.time = 0x5A2B0000 + i;
    e.separate = i % 5 == 0;
    entries.push_back(e);
  }
  const fs::path dir = test::MakeTempDir("forms");
  test::WriteFile(dir / "plain.dat", test::BuildArchive(entries));
  test::WriteFile(dir / "side.dat", test::EntryData(entries));
  test::BuildOptions side;
  side.first_offset = 0;
  side.directory_only = true;
  test::WriteFile(dir / "side.ext", test::BuildArchive(entries, side));
  test::WriteFile(dir / "setup.exe",
                  test::WithExeTrailer(std::string(1000, 'M'), test::BuildArchive(entries)));

  for (const char* form : {"plain.dat", "side.dat", "setup.exe"}) {
    SCOPED_TRACE(form);
    const fs::path archive = dir / form;
    TVrFileCollection loaded;
    loaded.Open(archive);
    ASSERT_EQ(loaded.Count(), 6001);
    const RunResult r = Vnkit({"list", "--json", archive.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out)["entries"];
    ASSERT_EQ(j.size(), 6000u);
    for (int i = 0; i < 6000; i += 7) {
      const TVrFile& e = loaded[i];
      ASSERT_EQ(j[i]["name"], entries[i].name) << i;
      ASSERT_EQ(j[i]["offset"], e.Offset) << i;
      ASSERT_EQ(j[i]["size"], e.Size) << i;
      ASSERT_EQ(j[i]["stored"], e.Stored) << i;
      ASSERT_EQ(j[i]["time"], e.Time) << i;
      ASSERT_EQ(j[i]["crc"], e.CRC) << i;
      ASSERT_EQ(j[i]["separate"], e.Separate) << i;
    }
    RunResult v = Vnkit({"verify", archive.string()});
    EXPECT_EQ(v.code, 0) << v.err;
    EXPECT_NE(v.out.find("intact (6000 entries, 6000 with a checksum)"), std::string::npos) << v.out;
    // merge reads its source the same way: every entry but the separate ones lands in the new data
    // file intact
    const fs::path merged = test::MakeTempDir("merged") / "new.dat";
    ASSERT_EQ(Vnkit({"merge", merged.string(), archive.string()}).code, 0);
    v = Vnkit({"verify", merged.string()});
    EXPECT_NE(v.out.find("intact (4800 entries, 4800 with a checksum)"), std::string::npos) << v.out << v.err;
    EXPECT_EQ(Vnkit({"cat", merged.string(), "scene6\\file5998.txt"}).out, "content 5998");

    // one byte of entry 4321 changed: that entry is named, none before it
    std::string bytes = test::ReadFile(archive);
    const std::string original = bytes;
    bytes[static_cast<size_t>(loaded[4321].Offset + 2)] ^= 0x20;
    test::WriteFile(archive, bytes);
    v = Vnkit({"verify", archive.string()});
    EXPECT_EQ(v.code, 1) << v.err;
    EXPECT_NE(v.err.find("file4321.txt is damaged"), std::string::npos) << v.err;
    test::WriteFile(archive, original);
  }

  // An offset table that stops ascending far down is found before anything is listed.
  std::string bytes = test::ReadFile(dir / "side.ext");
  const size_t table = bytes.size() - 10 * entries.size() - 8 * (entries.size() + 1);
  for (size_t k = 0; k < 8; ++k) bytes[table + 8 * 5000 + k] ^= static_cast<char>(0x55);
  test::WriteFile(dir / "side.ext", bytes);
  for (const char* command : {"list", "verify"}) {
    const RunResult r = Vnkit({command, (dir / "side.dat").string()});
    EXPECT_EQ(r.code, 2) << command << r.err;
    EXPECT_EQ(r.out, "") << command;
    EXPECT_NE(r.err.find("side.ext: damaged archive directory"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace vn
