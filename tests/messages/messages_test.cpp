#include "messages/messages.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vn {
namespace {

std::set<char> Placeholders(const std::string& text) {
  std::set<char> found;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') found.insert(text[i + 1]);
  }
  return found;
}

// The letter after '&' (the accelerator), 0 without one.
char Accelerator(const std::string& text) {
  const size_t at = text.find('&');
  return at != std::string::npos && at + 1 < text.size()
             ? static_cast<char>(std::tolower(static_cast<unsigned char>(text[at + 1])))
             : 0;
}

// Restores the language and the variables a test changes.
class Languages : public testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG", "VNSETUP_LANG"};
  void SetUp() override {
    for (const char* name : kVariables) {
      if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
    }
  }
  void TearDown() override {
    SetLanguage(Language::kJapanese);
    for (const char* name : kVariables) unsetenv(name);
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
  }
  std::vector<std::pair<std::string, std::string>> saved_;
  static void Locale(const char* language, const char* all, const char* messages, const char* lang) {
    const std::pair<const char*, const char*> variables[] = {
        {"LANGUAGE", language}, {"LC_ALL", all}, {"LC_MESSAGES", messages}, {"LANG", lang}};
    for (const auto& [name, value] : variables) {
      if (value) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
  }
};

TEST(Catalogue, EveryTextIsTranslatedWithItsValuesAndItsAccelerator) {
  for (int i = 0; i < static_cast<int>(Msg::kCount); ++i) {
    const Msg id = static_cast<Msg>(i);
    const std::string japanese = TextIn(Language::kJapanese, id);
    const char* english = TextIn(Language::kEnglish, id);
    // A text changed without its translation has none until en.po is brought up to date.
    ASSERT_NE(english, nullptr) << MessageName(id) << " has no current translation in en.po";
    EXPECT_FALSE(std::string(english).empty()) << MessageName(id);
    EXPECT_EQ(Placeholders(japanese), Placeholders(english)) << MessageName(id);
    EXPECT_EQ(Accelerator(japanese), Accelerator(english)) << MessageName(id) << ": " << english;
  }
}

TEST_F(Languages, TextsFollowTheLanguageAndFillTheirValuesInTheirOrder) {
  EXPECT_STREQ(Tr(Msg::kButtonYes), "はい(&Y)");
  EXPECT_EQ(Tr(Msg::kDiscFileMissing, {"2", "/d/game.dat"}),
            "ディスク2: /d/game.dat:ファイルがありません (the data of this disc cannot be installed)");
  SetLanguage(Language::kEnglish);
  EXPECT_STREQ(Tr(Msg::kButtonYes), "&Yes");
  EXPECT_EQ(Tr(Msg::kDiscFileMissing, {"2", "/d/game.dat"}),
            "Disc 2: /d/game.dat: file not found (the data of this disc cannot be installed)");
  // A value is inserted as it is, never read for places of its own; a place without a value stays.
  EXPECT_EQ(Tr(Msg::kCopyingFile, {"100%1%2.ogg"}), "Copying 100%1%2.ogg...");
  EXPECT_EQ(Tr(Msg::kBuildingDataFile, {"3"}), "Building the data file (3/%2)...");
}

TEST_F(Languages, TheSystemLanguageIsReadAsGettextReadsIt) {
  Locale(nullptr, nullptr, nullptr, "ja_JP.UTF-8");
  EXPECT_EQ(SystemLanguage(), Language::kJapanese);
  Locale(nullptr, nullptr, nullptr, "en_US.UTF-8");
  EXPECT_EQ(SystemLanguage(), Language::kEnglish);
  Locale(nullptr, nullptr, nullptr, "de_DE.UTF-8");  // no German texts: English
  EXPECT_EQ(SystemLanguage(), Language::kEnglish);
  Locale(nullptr, nullptr, "ja_JP.UTF-8", "en_US.UTF-8");  // LC_MESSAGES before LANG
  EXPECT_EQ(SystemLanguage(), Language::kJapanese);
  Locale(nullptr, "en_GB.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8");  // LC_ALL before both
  EXPECT_EQ(SystemLanguage(), Language::kEnglish);
  Locale("fr:ja:en", nullptr, nullptr, "en_US.UTF-8");  // the first of LANGUAGE with texts here
  EXPECT_EQ(SystemLanguage(), Language::kJapanese);
  Locale("fr", nullptr, nullptr, "ja_JP.UTF-8");
  EXPECT_EQ(SystemLanguage(), Language::kEnglish);
  // No language asked for: the designed Japanese; LANGUAGE counts only outside the C locale.
  for (const char* none : {"C", "POSIX", "C.UTF-8", ""}) {
    Locale("en", nullptr, nullptr, none);
    EXPECT_EQ(SystemLanguage(), Language::kJapanese) << none;
  }
  EXPECT_EQ(LocaleLanguage("jav_ID"), Language::kEnglish);  // Javanese is no Japanese
}

TEST_F(Languages, TheOptionGoesBeforeTheVariableBeforeTheSystem) {
  const auto choose = [](std::vector<std::string> words, std::string& problem) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(words.size());
    problem = ChooseLanguage(argc, argv.data());
    std::vector<std::string> left(argv.begin(), argv.begin() + argc);
    EXPECT_EQ(argv[argc], nullptr);
    return left;
  };
  std::string problem;
  Locale(nullptr, nullptr, nullptr, "ja_JP.UTF-8");
  setenv("VNSETUP_LANG", "en", 1);
  EXPECT_EQ(choose({"vnsetup", "--unattended", "/disc"}, problem),
            (std::vector<std::string>{"vnsetup", "--unattended", "/disc"}));
  EXPECT_EQ(CurrentLanguage(), Language::kEnglish);
  EXPECT_EQ(choose({"vnsetup", "--lang", "ja", "/disc", "--lang=ja"}, problem),
            (std::vector<std::string>{"vnsetup", "/disc"}));
  EXPECT_EQ(CurrentLanguage(), Language::kJapanese);
  EXPECT_EQ(problem, "");
  unsetenv("VNSETUP_LANG");
  EXPECT_EQ(choose({"vnsetup"}, problem), std::vector<std::string>{"vnsetup"});
  EXPECT_EQ(CurrentLanguage(), Language::kJapanese);

  // Values that name no language are said; the run keeps the system's language.
  Locale(nullptr, nullptr, nullptr, "en_US.UTF-8");
  choose({"vnsetup", "--lang", "fr"}, problem);
  EXPECT_NE(problem.find("--lang fr"), std::string::npos) << problem;
  EXPECT_EQ(CurrentLanguage(), Language::kEnglish);
  choose({"vnsetup", "--lang"}, problem);
  EXPECT_NE(problem.find("--lang"), std::string::npos) << problem;
  setenv("VNSETUP_LANG", "japanese", 1);
  choose({"vnsetup"}, problem);
  EXPECT_NE(problem.find("VNSETUP_LANG=japanese"), std::string::npos) << problem;
}

}  // namespace
}  // namespace vn
