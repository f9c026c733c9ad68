#include "settings/settings.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/settings/settings_fixture.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;
using test::SettingsBody;
using test::SettingsBytes;
using test::SettingsFile;

DataString J(const char* utf8) {
  return Utf8ToCp932(utf8);
}

std::string Saved(const TVondInstallSet& s) {
  TMemoryStream m;
  s.SaveToStream(m);
  return m.TakeBytes();
}

// Every field compared through the writer, whose layout is checked against the fixture below.
void ExpectSame(const TVondInstallSet& a, const TVondInstallSet& b) {
  EXPECT_EQ(Saved(a), Saved(b));
}

TVondInstallSet Load(const std::string& bytes, TVondInstallSet into = {}) {
  TMemoryStream m(bytes);
  into.LoadFromStream(m);
  return into;
}

// A product with every field set; sizes fit 32 bits below version 100.
TVondInstallSet Sample(int version = 108) {
  TVondInstallSet s;
  s.DiscIndex = 1;
  s.Title = J("夢の続き");
  s.FooterText = J("ソフトハウス表");  // 0x5C trail bytes
  s.DefaultFolder = J("<ProgramFiles>\\ソフトハウス\\夢");
  s.ReadmeName = DataString("readme.txt");
  s.ShowReadme = true;
  s.BackgroundPicture = DataString("bg\\title.rxa");
  s.BackgroundMode = 2;
  s.SetDiscCount(2);
  s.DiscProgSize = {1000, 0};
  s.DiscDataSize = {version >= 100 ? 5'000'000'000 : 123, 0xFFFFFFF0};  // the latter: not negative
  s.DiscSoundSize = {7, 8};
  s.DiscMovieSize = {0, 9};
  s.ExeName = DataString("game.exe");
  s.PictureKey = -7;
  s.OfferRuntimes = true;
  s.ReservedFlag = 0x5A;
  s.MediaName = J("ＣＤ－ＲＯＭ");
  s.RegistryKey = J("\\ソフトハウス\\夢");
  s.ProgSize = 1000;
  s.DataSize = version >= 100 ? 6'000'000'000 : 0xFFFFFFFF;
  s.SoundSize = 15;
  s.MovieSize = 9;
  s.Installed = true;
  s.UpdateMode = true;
  s.InstalledFiles = {DataString("game.exe"), J("データ\\表.dat")};
  s.DataInstalled = true;
  s.InstallType = 1;
  s.SeparateFiles = true;
  s.DiscFiles = {DataString("setup\\a.dat"), DataString()};  // an empty entry is kept
  s.WizardCaption = J("夢 インストール");
  s.HelloText = J("ようこそ。\r\n二行目");
  s.LicenseText = J("使用許諾");
  return s;
}

// What an object held before loading: fields a version lacks must keep these values.
TVondInstallSet Prior() {
  TVondInstallSet p;
  p.UpdateMode = false;
  p.InstalledFiles = {DataString("old.exe")};
  p.DataInstalled = false;
  p.InstallType = 2;
  p.SeparateFiles = false;
  p.DiscFiles = {DataString("old")};
  p.WizardCaption = DataString("old caption");
  p.HelloText = DataString("old hello");
  p.LicenseText = DataString("old licence");
  return p;
}

// The reading rules: the lists are emptied whatever the version, other missing fields are kept.
TVondInstallSet Expected(int version) {
  TVondInstallSet e = Sample(version);
  const TVondInstallSet p = Prior();
  if (version < 101) e.UpdateMode = p.UpdateMode;
  if (version < 102) e.InstalledFiles.clear();
  if (version < 103) e.DataInstalled = p.DataInstalled;
  if (version < 104) e.InstallType = p.InstallType;
  if (version < 105) e.SeparateFiles = p.SeparateFiles;
  if (version < 106) e.DiscFiles.clear();
  if (version < 107) e.WizardCaption = p.WizardCaption;
  if (version < 108) {
    e.HelloText = p.HelloText;
    e.LicenseText = p.LicenseText;
  }
  return e;
}

TEST(Settings, WriterLaysOutVersion108) {
  EXPECT_EQ(Saved(Sample()), SettingsFile(Sample(), 108));
  // a new object: header, empty strings, zero counts, the four totals
  const std::string empty = Saved(TVondInstallSet());
  EXPECT_EQ(empty.substr(0, 5), "is108");
  EXPECT_EQ(empty, SettingsFile(TVondInstallSet(), 108));
}

TEST(Settings, EveryVersionReadsItsFieldsAndKeepsTheOthers) {
  for (int version : {0, 1, 50, 99, 100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 999}) {
    SCOPED_TRACE("version " + std::to_string(version));
    // above 108 the fixture lays the body out as 108, under the newer header
    const TVondInstallSet got = Load(SettingsFile(Sample(version), version), Prior());
    ExpectSame(got, Expected(version));
    EXPECT_EQ(got.DiscDataSize[1], 0xFFFFFFF0);
    EXPECT_EQ(got.LoadedVersion(), version);
  }
}

TEST(Settings, HeaderWithoutDigitsIsVersionZeroAfterFiveBytes) {
  for (const char* header : {"isXYZ", "is1a0", "is   "}) {
    const TVondInstallSet got = Load(header + SettingsBody(Sample(0), 0), Prior());
    ExpectSame(got, Expected(0));
    EXPECT_EQ(got.LoadedVersion(), 0);
  }
}

TEST(Settings, ReadsFromTheStreamPositionAndIgnoresWhatFollows) {
  for (int version : {0, 108}) {
    TMemoryStream m("JUNK" + SettingsFile(Sample(version), version) + "trailing bytes");
    m.SetPosition(4);
    TVondInstallSet got = Prior();
    got.LoadFromStream(m);
    ExpectSame(got, Expected(version));
    EXPECT_EQ(m.GetPosition(), 4 + static_cast<int64_t>(SettingsFile(Sample(version), version).size()));
  }
}

TEST(Settings, StringLengthsOfZeroOrLessAndFlagBytes) {
  TVondInstallSet s;
  s.FooterText = DataString("foot");
  std::string bytes = SettingsFile(s, 108);
  bytes.replace(9, 4, SettingsBytes().I32(-5).bytes);  // Title's length: reads as empty, takes 4 bytes
  const size_t show_readme = 5 + 4 + 4 + 8 + 4 + 4;
  bytes[show_readme] = 7;  // any non-zero flag byte is true
  const TVondInstallSet got = Load(bytes);
  EXPECT_TRUE(got.Title.empty());
  EXPECT_EQ(got.FooterText, DataString("foot"));
  EXPECT_TRUE(got.ShowReadme);
  EXPECT_EQ(Saved(got)[show_readme], 1);
}

TEST(Settings, RoundTripDropsEmptyInstalledFilesOnly) {
  TVondInstallSet s = Sample();
  s.InstalledFiles.insert(s.InstalledFiles.begin() + 1, DataString());
  const TVondInstallSet got = Load(Saved(s));
  EXPECT_EQ(got.InstalledFiles, Sample().InstalledFiles);
  ExpectSame(got, Sample());

  TVondInstallSet none;  // no discs: no records, the totals still follow
  none.MovieSize = 42;
  EXPECT_EQ(Load(Saved(none)).MovieSize, 42);
}

TEST(Settings, EveryTruncationIsRefusedAndChangesNothing) {
  for (int version : {0, 99, 108}) {
    const std::string bytes = SettingsFile(Sample(version), version);
    for (size_t length = 0; length < bytes.size(); ++length) {
      SCOPED_TRACE("version " + std::to_string(version) + ", length " + std::to_string(length));
      TVondInstallSet target = Prior();
      TMemoryStream m(bytes.substr(0, length));
      EXPECT_THROW(target.LoadFromStream(m), EFormatError);
      ExpectSame(target, Prior());
    }
  }
}

TEST(Settings, EveryDamagedByteLoadsOrIsRefused) {
  const std::string bytes = SettingsFile(Sample(), 108);
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (char damage : {'\xFF', '\x80', '\x7F'}) {  // lengths and counts turn negative or huge
      std::string damaged = bytes;
      damaged[at] = damage;
      TMemoryStream m(damaged);
      TVondInstallSet target;
      try {
        target.LoadFromStream(m);
      } catch (const EFormatError&) {
      }
      EXPECT_LE(m.GetPosition(), static_cast<int64_t>(damaged.size()));
    }
  }
}

TEST(Settings, DamagedCountsAndLengthsNameTheField) {
  const TVondInstallSet empty;
  // up to and without DiscCount
  const std::string before_count = "is108" + SettingsBody(empty, 108).substr(0, 4 + 16 + 1 + 4 + 1);
  const std::string v101 = SettingsBody(empty, 101);
  const struct {
    std::string bytes, field;
  } cases[] = {
      {"is108" + SettingsBytes().I32(0).I32(1 << 30).Raw("abc").bytes, "Title at offset 9"},
      {before_count + SettingsBytes().I32(-1).bytes, "DiscCount at offset 31: negative"},
      {before_count + SettingsBytes().I32(0x7FFFFFFF).Raw(std::string(64, 0)).bytes, "DiscCount"},
      {"is102" + v101 + SettingsBytes().I32(-3).bytes, "InstalledFiles"},
      {"is102" + v101 + SettingsBytes().I32(1000000).Raw("abcdefgh").bytes, "InstalledFiles"},
      {"is102" + v101 + SettingsBytes().I32(2).Str(DataString("a")).I32(100).Raw("xx").bytes,
       "InstalledFiles[1]"},
      {"is106" + SettingsBody(empty, 105) + SettingsBytes().I32(-1).bytes, "DiscFiles"},
      {"is1", "header"},
  };
  for (const auto& c : cases) {
    try {
      Load(c.bytes);
      ADD_FAILURE() << "accepted damage in " << c.field;
    } catch (const EFormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.field), std::string::npos) << e.what();
    }
  }
}

TEST(Settings, LoadFromFileNamesTheFile) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "install.dat", SettingsFile(Sample(), 108).substr(0, 40));
  try {
    TVondInstallSet().LoadFromFile(dir / "install.dat");
    FAIL();
  } catch (const EFormatError& e) {
    EXPECT_NE(std::string(e.what()).find((dir / "install.dat").string()), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("offset"), std::string::npos) << e.what();
  }
  EXPECT_THROW(TVondInstallSet().LoadFromFile(dir / "missing.dat"), EFOpenError);
}

TEST(Settings, SaveToFileReplacesWholeOrNothing) {
  const fs::path dir = test::MakeTempDir();
  const fs::path file = dir / "install.dat";
  Sample().SaveToFile(file);
  TVondInstallSet loaded;
  loaded.LoadFromFile(file);
  ExpectSame(loaded, Sample());

  TVondInstallSet broken = Sample();
  broken.DiscSoundSize.push_back(1);  // arrays that disagree with DiscCount are not written
  EXPECT_THROW(broken.SaveToFile(file), EWriteError);
  EXPECT_EQ(test::ReadFile(file), SettingsFile(Sample(), 108));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_THROW(Sample().SaveToFile(dir / "missing" / "install.dat"), Exception);
}

TEST(Settings, DiscCountSizesTheArrays) {
  TVondInstallSet s;
  s.SetDiscCount(2);
  s.DiscMovieSize = {5, 6};
  s.SetDiscCount(3);
  EXPECT_EQ(s.DiscMovieSize, (std::vector<int64_t>{5, 6, 0}));
  EXPECT_EQ(s.DiscProgSize.size(), 3u);
  s.SetDiscCount(1);
  EXPECT_EQ(s.DiscMovieSize, std::vector<int64_t>{5});
  EXPECT_EQ(s.DiscCount(), 1);
  EXPECT_THROW(s.SetDiscCount(-1), Exception);
}

TEST(Settings, InstalledAndDiscFileListsIgnoreCase) {
  TVondInstallSet s;
  s.AddInstalledFile(DataString("data\\File.txt"));
  s.AddInstalledFile(DataString("DATA\\FILE.TXT"));
  s.AddInstalledFile(J("ア"));  // 0x83 0x41: the trail byte is no letter
  s.AddInstalledFile(DataString("\x83\x61"));
  EXPECT_EQ(s.InstalledFileCount(), 3);
  EXPECT_EQ(s.FindInstalledFile(DataString("data\\file.TXT")), 0);
  EXPECT_EQ(s.FindInstalledFile(DataString("\x83\x61")), 2);
  EXPECT_EQ(s.FindInstalledFile(DataString("other")), -1);
  EXPECT_EQ(s.InstalledFiles[1], J("ア"));

  s.DiscFiles = {DataString("setup\\data.pak")};
  EXPECT_TRUE(s.IsDiscFile(DataString("Setup\\DATA.PAK")));
  EXPECT_FALSE(s.IsDiscFile(DataString("setup\\data.pa")));
}

TEST(Settings, WizardCaptionFallsBackToTitle) {
  TVondInstallSet s;
  s.Title = J("夢の続き");
  EXPECT_EQ(s.GetWizardCaption(), J("夢の続きのセットアップ"));
  s.WizardCaption = J("別の題");
  EXPECT_EQ(s.GetWizardCaption(), J("別の題"));
}

}  // namespace
}  // namespace vn
