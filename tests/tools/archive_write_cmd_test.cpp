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
}

}  // namespace
}  // namespace vn
