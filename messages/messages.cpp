#include "messages/messages.h"

#include <array>
#include <cstdlib>

namespace vn {

namespace {

constexpr size_t kMessageCount = static_cast<size_t>(Msg::kCount);

constexpr std::array<const char*, kMessageCount> kJapanese = {
#define VN_MESSAGE(id, text) text,
#include "messages/messages.def"
#undef VN_MESSAGE
};

constexpr std::array<const char*, kMessageCount> kNames = {
#define VN_MESSAGE(id, text) #id,
#include "messages/messages.def"
#undef VN_MESSAGE
};

// The translations of en.po (made into messages_en.inc at build time). One whose original is not the
// designed text as it stands now was made for an older text: it is not used, the Japanese shows.
std::array<const char*, kMessageCount> EnglishTexts() {
  std::array<const char*, kMessageCount> english{};
#define VN_TRANSLATION(id, original, text)                                   \
  if (std::string_view(original) == kJapanese[static_cast<size_t>(Msg::id)]) \
    english[static_cast<size_t>(Msg::id)] = text;
#include "messages_en.inc"
#undef VN_TRANSLATION
  return english;
}

Language g_language = Language::kJapanese;

}  // namespace

Language CurrentLanguage() {
  return g_language;
}

void SetLanguage(Language language) {
  g_language = language;
}

const char* TextIn(Language language, Msg id) {
  const auto index = static_cast<size_t>(id);
  if (index >= kMessageCount) return nullptr;
  if (language == Language::kJapanese) return kJapanese[index];
  static const std::array<const char*, kMessageCount> english = EnglishTexts();
  return english[index];
}

const char* Tr(Msg id) {
  const char* text = TextIn(g_language, id);
  return text ? text : TextIn(Language::kJapanese, id);
}

std::string Tr(Msg id, std::initializer_list<std::string_view> values) {
  const std::string_view text = Tr(id);
  std::string out;
  out.reserve(text.size() + 64);
  for (size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    const size_t n = static_cast<size_t>(next - '1');
    if (text[i] == '%' && next >= '1' && next <= '9' && n < values.size()) {
      out += values.begin()[n];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

const char* MessageName(Msg id) {
  const auto index = static_cast<size_t>(id);
  return index < kMessageCount ? kNames[index] : "";
}

std::optional<Language> LanguageCode(std::string_view code) {
  if (code == "ja") return Language::kJapanese;
  if (code == "en") return Language::kEnglish;
  return std::nullopt;
}

std::optional<Language> LocaleLanguage(std::string_view locale) {
  if (locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) return std::nullopt;
  if (locale.rfind("ja", 0) == 0 &&
      (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@'))
    return Language::kJapanese;
  return Language::kEnglish;
}

std::string ChooseLanguage(int& argc, char** argv) {
  std::optional<std::string_view> asked;
  std::string problem;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--lang") {
      if (i + 1 == argc) {
        problem = "--lang needs a language: ja or en";
        continue;
      }
      asked = argv[++i];
    } else if (arg.rfind("--lang=", 0) == 0) {
      asked = arg.substr(7);
    } else {
      argv[kept++] = argv[i];
      continue;
    }
    if (!LanguageCode(*asked)) problem = "--lang " + std::string(*asked) + ": the languages are ja and en";
  }
  if (kept < argc) argv[kept] = nullptr;
  argc = kept;
  std::optional<Language> chosen = asked ? LanguageCode(*asked) : std::nullopt;
  if (!chosen) {
    const char* variable = std::getenv("VNSETUP_LANG");
    if (variable && *variable) {
      chosen = LanguageCode(variable);
      if (!chosen && problem.empty())
        problem = "VNSETUP_LANG=" + std::string(variable) + ": the languages are ja and en";
    }
  }
  SetLanguage(chosen ? *chosen : SystemLanguage());
  return problem;
}

}  // namespace vn
