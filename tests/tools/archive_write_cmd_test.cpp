// vnkit pack / merge / append, run as a separate process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

int Vnkit(const std::string& args, std::string* out = nullptr) {
  const fs::path out_file = test::MakeTempDir("out") / "stdout";
  const std::string cmd = "ASAN_OPTIONS=exitcode=99 UBSAN_OPTIONS=exitcode=98 " + std::string(VNKIT) + " " +
                          args + " >" + out_file.string() + " 2>&1";
  const int status = std::system(cmd.c_str());
  if (out != nullptr) *out = test::ReadFile(out_file);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

TEST(VnkitPack, PackedFolderListsVerifiesAndExtractsToTheSameFiles) {
  const fs::path dir = test::MakeTempDir("src");
  test::WriteFile(dir / "script" / "start.txt", std::string(5000, 's'));
  test::WriteFile(dir / "bgm" / "01.ogg", "ogg data");
  test::WriteFile(dir / "日本語.txt", "japanese");
  const fs::path archive = test::MakeTempDir() / "game.dat";
  ASSERT_EQ(Vnkit("pack " + dir.string() + " -o " + archive.string() + " --separate '*.OGG'"), 0);

  std::string out;
  ASSERT_EQ(Vnkit("list --json " + archive.string(), &out), 0);
  const auto j = nlohmann::json::parse(out);
  ASSERT_EQ(j["entries"].size(), 3u);
  // sorted by the stored bytes: "bgm\01.ogg" < "script\start.txt" < the Shift-JIS name (0x93...)
  EXPECT_EQ(j["entries"][0]["name"], "bgm\\01.ogg");
  EXPECT_EQ(j["entries"][0]["separate"], true);
  EXPECT_EQ(j["entries"][1]["name"], "script\\start.txt");
  EXPECT_EQ(j["entries"][1]["stored"], false);
  EXPECT_EQ(j["entries"][2]["name"], "日本語.txt");
  EXPECT_EQ(Vnkit("verify " + archive.string()), 0);

  const fs::path back = test::MakeTempDir("back");
  ASSERT_EQ(Vnkit("extract " + archive.string() + " -o " + back.string()), 0);
  EXPECT_EQ(test::ReadFile(back / "script" / "start.txt"), std::string(5000, 's'));
  EXPECT_EQ(test::ReadFile(back / "日本語.txt"), "japanese");

  // the same folder packs to the same bytes
  const fs::path again = archive.parent_path() / "again.dat";
  ASSERT_EQ(Vnkit("pack " + dir.string() + " -o " + again.string() + " --separate '*.OGG'"), 0);
  EXPECT_EQ(test::ReadFile(again), test::ReadFile(archive));
}

TEST(VnkitPack, NameWithoutShiftJisFormIsAnErrorNamingTheFile) {
  const fs::path dir = test::MakeTempDir("src");
  test::WriteFile(dir / "ok.txt", "fine");
  test::WriteFile(dir / "snow\xE2\x98\x83.txt", "no cp932 form");  // U+2603 has none
  const fs::path archive = test::MakeTempDir() / "game.dat";
  std::string out;
  EXPECT_EQ(Vnkit("pack " + dir.string() + " -o " + archive.string(), &out), 2);
  EXPECT_NE(out.find("snow"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(archive));
}

std::string Q(const fs::path& p) {
  return test::ShellQuoted(p.string());
}

size_t FilesIn(const fs::path& dir) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file();
  return n;
}

TEST(VnkitPack, RefusesNamesItCannotStoreExactlyAndKeepsTheOldArchive) {
  const fs::path dir = test::MakeTempDir("src");
  const fs::path out = test::MakeTempDir("out");
  test::WriteFile(out / "game.dat", "the old archive");
  test::WriteFile(out / "game.001", "its old part");
  test::WriteFile(dir / "a" / "b.txt", "folder a, file b");
  // iconv's Shift-JIS gives the yen sign the backslash's code: stored, it would be a\b.txt too
  test::WriteFile(dir /
                      "a\xC2\xA5"
                      "b.txt",
                  "yen");
  std::string msg;
  EXPECT_EQ(Vnkit("pack " + Q(dir) + " -o " + Q(out / "game.dat"), &msg), 2);
  EXPECT_NE(msg.find("vnkit pack: "), std::string::npos) << msg;
  EXPECT_NE(msg.find("a\xC2\xA5"
                     "b.txt"),
            std::string::npos)
      << msg;
  // names the archive cannot tell apart, and a backslash inside a name, are refused as well
  fs::remove(dir /
             "a\xC2\xA5"
             "b.txt");
  test::WriteFile(dir / "A" / "B.TXT", "other case");
  EXPECT_EQ(Vnkit("pack " + Q(dir) + " -o " + Q(out / "game.dat"), &msg), 2);
  EXPECT_NE(msg.find("without regard to case"), std::string::npos) << msg;
  fs::remove_all(dir / "A");
  test::WriteFile(dir / "c\\d.txt", "backslash");
  EXPECT_EQ(Vnkit("pack " + Q(dir) + " -o " + Q(out / "game.dat"), &msg), 2);
  fs::remove(dir / "c\\d.txt");
  // an unreadable file fails the pack late, after entries were written
  test::WriteFile(dir / "z.txt", "unreadable");
  fs::permissions(dir / "z.txt", fs::perms::none);
  if (std::system(("cat " + Q(dir / "z.txt") + " >/dev/null 2>&1").c_str()) != 0) {
    EXPECT_EQ(Vnkit("pack " + Q(dir) + " -o " + Q(out / "game.dat"), &msg), 2);
    EXPECT_NE(msg.find("z.txt: cannot be packed"), std::string::npos) << msg;
  }
  EXPECT_EQ(test::ReadFile(out / "game.dat"), "the old archive");
  EXPECT_EQ(test::ReadFile(out / "game.001"), "its old part");
  EXPECT_EQ(FilesIn(out), 2u);  // nothing half-written left beside it
}

TEST(VnkitPack, ReplacesTheArchiveWithItsStalePartsAndSideFile) {
  const fs::path dir = test::MakeTempDir("src");
  test::WriteFile(dir / "new.txt", std::string(2000, 'n'));
  const fs::path out = test::MakeTempDir("out");
  // an earlier merge left a side file (any letter case) and part files that would hide the new data
  test::WriteFile(dir / "old" / "old.txt", "old");
  ASSERT_EQ(Vnkit("pack " + Q(dir / "old") + " -o " + Q(out / "disc.dat")), 0);
  ASSERT_EQ(Vnkit("merge " + Q(out / "game.dat") + " " + Q(out / "disc.dat")), 0);
  fs::rename(out / "game.ext", out / "GAME.EXT");
  test::WriteFile(out / "game.001", "stale part");
  std::string msg;
  ASSERT_EQ(Vnkit("pack " + Q(dir) + " -o " + Q(out / "game.dat") + " --exclude old", &msg), 0) << msg;
  EXPECT_FALSE(fs::exists(out / "GAME.EXT"));
  EXPECT_FALSE(fs::exists(out / "game.001"));
  ASSERT_EQ(Vnkit("list --json " + Q(out / "game.dat"), &msg), 0);
  const auto j = nlohmann::json::parse(msg);
  ASSERT_EQ(j["entries"].size(), 1u);
  EXPECT_EQ(j["entries"][0]["name"], "new.txt");
}

TEST(VnkitPack, LinksAreStoredAsZipStoresThemAndExcludedFilesLeftOut) {
  const fs::path dir = test::MakeTempDir("src");
  test::WriteFile(dir / "data" / "real.txt", "real content");
  test::WriteFile(dir / "tmp" / "scratch.bak", "left out");
  test::WriteFile(dir / "notes.bak", "left out");
  const fs::path outside = test::MakeTempDir("outside") / "secret.txt";
  test::WriteFile(outside, "outside");
  fs::create_directory_symlink("data", dir / "folder_link");
  fs::create_symlink("data/real.txt", dir / "alias.txt");
  fs::create_symlink(outside, dir / "escape.txt");
  fs::create_symlink("missing.txt", dir / "dangling.txt");
  const fs::path archive = test::MakeTempDir() / "game.dat";
  std::string msg;
  ASSERT_EQ(Vnkit("pack " + Q(dir) + " -o " + Q(archive) + " --exclude '*.BAK' --exclude tmp", &msg), 0)
      << msg;
  for (const char* skipped : {"folder_link", "escape.txt", "dangling.txt"}) {
    EXPECT_NE(msg.find(std::string(skipped) + ": a link"), std::string::npos) << skipped << ": " << msg;
  }
  ASSERT_EQ(Vnkit("list --json " + Q(archive), &msg), 0);
  const auto j = nlohmann::json::parse(msg);
  ASSERT_EQ(j["entries"].size(), 2u) << msg;
  EXPECT_EQ(j["entries"][0]["name"], "alias.txt");
  EXPECT_EQ(j["entries"][1]["name"], "data\\real.txt");
  ASSERT_EQ(Vnkit("cat " + Q(archive) + " alias.txt", &msg), 0);
  EXPECT_EQ(msg, "real content");
}

TEST(VnkitPack, FreshArchiveVerifiesWithCompressedSeparateEntries) {
  // a compressed separate entry carries the checksum of its content
  const fs::path dir = test::MakeTempDir("src");
  test::WriteFile(dir / "readme.txt", std::string(4000, 'r'));
  test::WriteFile(dir / "movie.mpg", "stored as it is");
  const fs::path archive = test::MakeTempDir() / "game.dat";
  ASSERT_EQ(Vnkit("pack " + Q(dir) + " -o " + Q(archive) + " --separate '*'"), 0);
  std::string msg;
  EXPECT_EQ(Vnkit("verify " + Q(archive), &msg), 0) << msg;
  std::string bytes = test::ReadFile(archive);
  bytes[bytes.size() - 10] ^= 0x40;  // inside the compressed readme
  test::WriteFile(archive, bytes);
  EXPECT_EQ(Vnkit("verify " + Q(archive), &msg), 1) << msg;
  EXPECT_NE(msg.find("readme.txt"), std::string::npos) << msg;
}

TEST(VnkitPack, StandardStreamsAndVerbosity) {
  const fs::path dir = test::MakeTempDir("src");
  test::WriteFile(dir / "a.txt", std::string(3000, 'a'));
  test::WriteFile(dir / "b" / "c.txt", "see");
  const fs::path out = test::MakeTempDir();
  std::string msg;
  ASSERT_EQ(Vnkit("pack -v " + Q(dir) + " -o " + Q(out / "file.dat"), &msg), 0);
  EXPECT_NE(msg.find("a.txt"), std::string::npos) << msg;
  EXPECT_NE(msg.find("b/c.txt"), std::string::npos) << msg;
  // "-o -" writes the archive to standard output; messages stay off it
  ASSERT_EQ(std::system(("ASAN_OPTIONS=exitcode=99 " + std::string(VNKIT) + " pack " + Q(dir) + " -o - > " +
                         Q(out / "piped.dat"))
                            .c_str()),
            0);
  EXPECT_EQ(test::ReadFile(out / "piped.dat"), test::ReadFile(out / "file.dat"));
  // "-" as ARCHIVE reads standard input
  ASSERT_EQ(Vnkit("cat - b/c.txt < " + Q(out / "piped.dat"), &msg), 0);
  EXPECT_EQ(msg, "see");
  EXPECT_EQ(Vnkit("verify -q - < " + Q(out / "piped.dat"), &msg), 0);
  EXPECT_EQ(msg, "");
  const fs::path data = out / "inst" / "game.dat";
  fs::create_directories(data.parent_path());
  EXPECT_EQ(Vnkit("merge -q " + Q(data) + " - < " + Q(out / "piped.dat"), &msg), 0);
  EXPECT_EQ(msg, "");
  EXPECT_EQ(Vnkit("extract -q - -C " + Q(out / "x") + " < " + Q(out / "piped.dat"), &msg), 0);
  EXPECT_EQ(msg, "");
  EXPECT_EQ(test::ReadFile(out / "x" / "b" / "c.txt"), "see");
}

TEST(VnkitMerge, RefusesADataFileThatWouldBeItsOwnSideFile) {
  const fs::path disc = test::MakeTempDir("disc");
  test::WriteFile(disc / "a.txt", "alpha");
  const fs::path dir = test::MakeTempDir();
  ASSERT_EQ(Vnkit("pack " + Q(disc) + " -o " + Q(dir / "disc.dat")), 0);
  test::WriteFile(dir / "SAVE.Ext", "precious");
  std::string msg;
  EXPECT_EQ(Vnkit("merge " + Q(dir / "SAVE.Ext") + " " + Q(dir / "disc.dat"), &msg), 2);
  EXPECT_NE(msg.find("vnkit merge: "), std::string::npos) << msg;
  EXPECT_EQ(test::ReadFile(dir / "SAVE.Ext"), "precious");
  EXPECT_EQ(Vnkit("merge " + Q(dir / "disc.dat") + " " + Q(dir / "disc.dat"), &msg), 2);
}

TEST(VnkitMerge, DataFileIsBroughtUpToDateAndVerifies) {
  const fs::path disc = test::MakeTempDir("disc");
  test::WriteFile(disc / "a.txt", std::string(3000, 'a'));
  test::WriteFile(disc / "b.txt", "bee");
  const fs::path source = test::MakeTempDir() / "disc.dat";
  ASSERT_EQ(Vnkit("pack " + disc.string() + " -o " + source.string()), 0);
  const fs::path data = test::MakeTempDir("inst") / "game.dat";
  std::string out;
  ASSERT_EQ(Vnkit("merge " + data.string() + " " + source.string(), &out), 0) << out;
  EXPECT_TRUE(fs::exists(data.parent_path() / "game.ext"));
  EXPECT_EQ(Vnkit("verify " + data.string()), 0);
  ASSERT_EQ(Vnkit("cat " + data.string() + " B.TXT", &out), 0);
  EXPECT_EQ(out, "bee");
  EXPECT_EQ(Vnkit("merge " + data.string() + " " + source.string(), &out), 0);
  EXPECT_NE(out.find("up to date"), std::string::npos) << out;
}

TEST(VnkitAppend, ExecutableCarriesTheArchiveBehindItsTrailer) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "files" / "install.dat", "settings");
  ASSERT_EQ(Vnkit("pack " + (dir / "files").string() + " -o " + (dir / "update.pak").string()), 0);
  fs::copy_file("/bin/true", dir / "launcher.exe");
  ASSERT_EQ(Vnkit("append " + (dir / "launcher.exe").string() + " " + (dir / "update.pak").string() + " -o " +
                  (dir / "setup.exe").string()),
            0);
  std::string out;
  ASSERT_EQ(Vnkit("cat " + (dir / "setup.exe").string() + " install.dat", &out), 0);
  EXPECT_EQ(out, "settings");
  EXPECT_EQ(std::system((dir / "setup.exe").c_str()), 0);  // still the program it was
  // something that is not an archive is not appended
  test::WriteFile(dir / "junk.pak", "junk");
  EXPECT_EQ(Vnkit("append " + (dir / "launcher.exe").string() + " " + (dir / "junk.pak").string() + " -o " +
                  (dir / "bad.exe").string()),
            2);
  EXPECT_FALSE(fs::exists(dir / "bad.exe"));
  // a program too large to carry an archive is refused before anything is copied, naming it
  fs::resize_file(dir / "launcher.exe", uintmax_t{1} << 31);  // sparse
  std::string err;
  EXPECT_EQ(Vnkit("append " + (dir / "launcher.exe").string() + " " + (dir / "update.pak").string() + " -o " +
                      (dir / "big.exe").string(),
                  &err),
            2);
  EXPECT_NE(err.find((dir / "launcher.exe").string() +
                     ": 2147483648 bytes; a program that carries an archive must be under 2 GiB"),
            std::string::npos)
      << err;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 5);  // nothing new beside
}

}  // namespace
}  // namespace vn
