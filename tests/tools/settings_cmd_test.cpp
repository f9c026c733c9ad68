#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "settings/settings.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

class SettingsCommand : public testing::Test {
 protected:
  test::CommandResult Vnkit(const std::vector<std::string>& args) {
    std::string command = test::ShellQuoted(VNKIT);
    for (const auto& a : args) command += " " + test::ShellQuoted(a);
    return test::RunShell(command, dir_);
  }
  std::string Path(const char* name) { return (dir_ / name).string(); }

  fs::path dir_ = test::MakeTempDir();
};

TVondInstallSet Sample() {
  TVondInstallSet s;
  s.Title = Utf8ToCp932("夢の続き");
  s.DefaultFolder = Utf8ToCp932("<ProgramFiles>\\ソフト\\夢");
  s.ShowReadme = true;
  s.BackgroundMode = 3;
  s.PictureKey = -5;
  s.ReservedFlag = 200;
  s.SetDiscCount(2);
  s.DiscDataSize = {5'000'000'000, 1};
  s.MovieSize = -1;
  s.InstalledFiles = {DataString("a.exe"), Utf8ToCp932("データ\\表.dat")};
  s.DiscFiles = {DataString()};
  s.HelloText = Utf8ToCp932("ようこそ\r\n");
  s.SeparateFiles = true;
  return s;
}

TEST_F(SettingsCommand, JsonRoundTripsByteExactly) {
  Sample().SaveToFile(Path("a.dat"));
  const test::CommandResult show = Vnkit({"settings", "show", Path("a.dat"), "--json"});
  ASSERT_EQ(show.status, 0) << show.err;
  const auto j = nlohmann::ordered_json::parse(show.out);
  EXPECT_EQ(j.size(), 34u);  // every field and the version
  EXPECT_EQ(j.begin().key(), "Version");
  EXPECT_EQ(j["Version"], 108);
  EXPECT_EQ(j["Title"], "夢の続き");
  EXPECT_EQ(j["InstalledFiles"][1], "データ\\表.dat");
  EXPECT_EQ(j["DiscDataSize"], nlohmann::json::array({5'000'000'000, 1}));
  EXPECT_EQ(j["ShowReadme"], true);
  EXPECT_EQ(j["ReservedFlag"], 200);

  test::WriteFile(Path("a.json"), show.out);
  const test::CommandResult build = Vnkit({"settings", "build", Path("a.json"), "-o", Path("b.dat")});
  ASSERT_EQ(build.status, 0) << build.err;
  EXPECT_EQ(test::ReadFile(Path("b.dat")), test::ReadFile(Path("a.dat")));

  const test::CommandResult listing = Vnkit({"settings", "show", Path("a.dat")});
  EXPECT_EQ(listing.status, 0);
  EXPECT_NE(listing.out.find("Title              夢の続き\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("夢の続きのセットアップ"), std::string::npos);
}

TEST_F(SettingsCommand, BuildFillsDefaultsAndDerivesDiscCount) {
  test::WriteFile(Path("empty.json"), "{}");
  ASSERT_EQ(Vnkit({"settings", "build", Path("empty.json"), "-o", Path("e.dat")}).status, 0);
  TMemoryStream fresh;
  TVondInstallSet().SaveToStream(fresh);
  EXPECT_EQ(test::ReadFile(Path("e.dat")), fresh.Bytes());

  test::WriteFile(Path("d.json"), R"({"DiscSoundSize":[1,2,3]})");
  ASSERT_EQ(Vnkit({"settings", "build", Path("d.json"), "-o", Path("d.dat")}).status, 0);
  TVondInstallSet d;
  d.LoadFromFile(Path("d.dat"));
  EXPECT_EQ(d.DiscCount(), 3);
  EXPECT_EQ(d.DiscSoundSize, (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(d.DiscMovieSize, (std::vector<int64_t>{0, 0, 0}));
}

TEST_F(SettingsCommand, BadJsonIsRefusedNamingTheKey) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"Titel":"x"})", "\"Titel\": unknown key"},
      {R"({"Title":"©"})", "\"Title\": has no Shift-JIS form"},
      {R"({"DiscFiles":["a", 5]})", "\"DiscFiles[1]\": expected a string"},
      {R"({"DiscCount":3,"DiscProgSize":[1]})", "DiscCount is 3"},
      {R"({"InstallType":256})", "\"InstallType\": expected an integer from 0 to 255"},
      {R"({"Installed":1})", "\"Installed\": expected true or false"},
      {R"({"Title":)", "not valid JSON"},
  };
  for (const auto& [json, message] : cases) {
    test::WriteFile(Path("bad.json"), json);
    const test::CommandResult r = Vnkit({"settings", "build", Path("bad.json"), "-o", Path("bad.dat")});
    EXPECT_EQ(r.status, 2) << json;
    EXPECT_NE(r.err.find(Path("bad.json")), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("bad.dat")));
  }
}

TEST_F(SettingsCommand, BadFilesAreErrorsNamingFileAndFault) {
  TVondInstallSet s;
  s.Title = DataString("abc\x82");  // a lead byte without its trail byte
  s.SaveToFile(Path("odd.dat"));
  const test::CommandResult listing = Vnkit({"settings", "show", Path("odd.dat")});
  EXPECT_EQ(listing.status, 0);
  EXPECT_NE(listing.out.find("abc\xEF\xBF\xBD"), std::string::npos);  // U+FFFD
  const test::CommandResult json = Vnkit({"settings", "show", Path("odd.dat"), "--json"});
  EXPECT_EQ(json.status, 2);
  EXPECT_NE(json.err.find(Path("odd.dat") + ": Title"), std::string::npos) << json.err;

  // A character with two codes would come back from JSON under the other one.
  TVondInstallSet twin;
  twin.LicenseText = DataString("ok\xED\x40");  // NEC's code of a character IBM's 0xFA5C also has
  twin.SaveToFile(Path("twin.dat"));
  const test::CommandResult twin_json = Vnkit({"settings", "show", Path("twin.dat"), "--json"});
  EXPECT_EQ(twin_json.status, 2);
  EXPECT_NE(twin_json.err.find("LicenseText has no exact UTF-8 form: the character at byte 2"),
            std::string::npos)
      << twin_json.err;

  test::WriteFile(Path("cut.dat"), test::ReadFile(Path("odd.dat")).substr(0, 12));
  const test::CommandResult cut = Vnkit({"settings", "show", Path("cut.dat")});
  EXPECT_EQ(cut.status, 2);
  EXPECT_NE(cut.err.find(Path("cut.dat")), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find("Title at offset 9"), std::string::npos) << cut.err;
  EXPECT_EQ(Vnkit({"settings", "show", Path("missing.dat")}).status, 2);
}

}  // namespace
}  // namespace vn
