#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "settings/settings.h"
#include "tests/settings/settings_fixture.h"
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
      {R"({"Installed":"yes"})", "\"Installed\": expected true, false or a byte from 0 to 255"},
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

// A file of `version` spelling everything the fields do not keep apart in an odd way: flag bytes
// other than 0 and 1, empty texts of negative length, InstalledFiles entries of length 0 and less
// (which reading leaves out), texts without an exact UTF-8 form, and bytes after the last field.
std::string OddFile(const std::string& header, int version) {
  test::SettingsBytes b;
  b.Raw(header).I32(3).I32(-2).Str(DataString("abc\x82")).Str(Utf8ToCp932("夢")).I32(0);  // .. ReadmeName
  b.U8(2).Str(DataString("bg.rxa")).U8(7).I32(1).Str(DataString("ok\xED\x40")).I32(-9);   // .. PictureKey
  b.U8(0xFF).U8(3).I32(-1).Str(DataString("\x1B[31mred"));                                // .. RegistryKey
  for (int i = 0; i < 8; ++i) b.Size(i == 1 ? 0xFFFFFFFF : i, version);                   // a disc, totals
  b.U8(0x80);                                                                             // Installed
  if (version >= 101) b.U8(1);
  if (version >= 102) b.I32(4).Str(DataString("a.exe")).I32(0).I32(-7).Str(DataString("b"));
  if (version >= 103) b.U8(9);
  if (version >= 104) b.U8(200);
  if (version >= 105) b.U8(0);
  if (version >= 106) b.I32(2).I32(-3).Str(DataString());
  if (version >= 107) b.I32(-1);
  if (version >= 108) b.Str(DataString("hi\r\n")).I32(-100);
  return b.Raw(std::string("\0junk\xFF", 6)).bytes;
}

TEST_F(SettingsCommand, ShowJsonThroughBuildGivesEveryStoredByteBackInEveryVersion) {
  const std::pair<std::string, int> headers[] = {
      {"", 0},        {"isXYZ", 0},   {"is001", 1},   {"is 99", 99},  {"is100", 100},
      {"is101", 101}, {"is102", 102}, {"is103", 103}, {"is104", 104}, {"is105", 105},
      {"is106", 106}, {"is107", 107}, {"is108", 108}, {"is109", 109}, {"is-05", -5}};
  for (const auto& [header, version] : headers) {
    SCOPED_TRACE(header);
    const std::string bytes = OddFile(header, version);
    test::WriteFile(Path("odd.dat"), bytes);
    const test::CommandResult r = test::RunShell(
        test::ShellQuoted(VNKIT) + " settings show " + test::ShellQuoted(Path("odd.dat")) + " --json | " +
            test::ShellQuoted(VNKIT) + " settings build - -o " + test::ShellQuoted(Path("back.dat")),
        dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFile(Path("back.dat")), bytes);
  }
  // How the JSON says it, for the newest version.
  test::WriteFile(Path("odd.dat"), OddFile("is108", 108));
  const auto j = nlohmann::ordered_json::parse(Vnkit({"settings", "show", Path("odd.dat"), "--json"}).out);
  EXPECT_EQ(j["ShowReadme"], 2);
  EXPECT_EQ(j["Installed"], 0x80);
  EXPECT_EQ(j["UpdateMode"], true);
  EXPECT_EQ(j["InstalledFiles"], nlohmann::json::array({"a.exe", "", "", "b"}));
  EXPECT_EQ(j["FooterText"]["text"], "abc\\x82");
  EXPECT_EQ(j["FooterText"]["hex"], "61626382");
  EXPECT_EQ(j["ExeName"]["hex"], "6f6bed40");  // NEC's code of a character IBM's 0xFA5C also has
  EXPECT_EQ(j["RegistryKey"], "\x1B[31mred");
  EXPECT_EQ(j["FileForm"]["NegativeLengths"]["Title"], -2);
  EXPECT_EQ(j["FileForm"]["NegativeLengths"]["InstalledFiles[2]"], -7);
  EXPECT_EQ(j["FileForm"]["Trailing"]["hex"], "006a756e6bff");
  EXPECT_FALSE(j["FileForm"].contains("Header"));
}

TEST_F(SettingsCommand, BuildRefusesWhatTheVersionCannotHoldNamingTheJson) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"Version":100,"HelloText":"x"})", "HelloText/LicenseText: not stored in a file of version 100"},
      {R"({"Version":99,"ProgSize":5000000000})", "ProgSize: 5000000000 does not fit the 32-bit sizes"},
      {R"({"Version":1000})", "\"Version\": expected an integer from -99 to 999"},
      {R"({"Title":"x","FileForm":{"NegativeLengths":{"Title":-1}}})",
       "Title: a length of -1 is stored only"},
      {R"({"FileForm":{"Header":"is107"}})", "header: \"is107\" does not read as version 108"},
      {R"({"Title":{"hex":"8"}})", "\"Title\": \"hex\" must be pairs of hexadecimal digits"},
      {R"({"DiscIndex":1e999})", "not valid JSON: number overflow"},
  };
  for (const auto& [json, message] : cases) {
    test::WriteFile(Path("bad.json"), json);
    const test::CommandResult r = Vnkit({"settings", "build", Path("bad.json"), "-o", Path("bad.dat")});
    EXPECT_EQ(r.status, 2) << json;
    EXPECT_NE(r.err.find(Path("bad.json") + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("json.exception"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("bad.dat")));
  }
}

TEST_F(SettingsCommand, ShowEscapesWhatTheTerminalWouldTakeAndNamesABadFile) {
  TVondInstallSet s;
  s.Title = DataString(
      "\x1B]0;pwned\x07"
      "abc\x82");  // a terminal title sequence, a lone lead byte
  s.HelloText = DataString("line 1\r\nline\t2");
  s.SaveToFile(Path("odd.dat"));
  const test::CommandResult listing = Vnkit({"settings", "show", Path("odd.dat")});
  EXPECT_EQ(listing.status, 0);
  EXPECT_EQ(listing.out.find('\x1B'), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("\\x1B]0;pwned\\x07abc\\x82\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("line 1\n                   line\\x092\n"), std::string::npos) << listing.out;

  test::WriteFile(Path("cut.dat"), test::ReadFile(Path("odd.dat")).substr(0, 12));
  const test::CommandResult cut = Vnkit({"settings", "show", Path("cut.dat")});
  EXPECT_EQ(cut.status, 2);
  EXPECT_NE(cut.err.find(Path("cut.dat")), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find("Title at offset 9"), std::string::npos) << cut.err;
  EXPECT_EQ(Vnkit({"settings", "show", Path("missing.dat")}).status, 2);
}

}  // namespace
}  // namespace vn
