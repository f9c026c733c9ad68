#include <cstdlib>
#include <string_view>

#include "messages/messages.h"

namespace vn {

namespace {

std::string_view Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

// As gettext reads them: the locale of messages is the first of LC_ALL, LC_MESSAGES and LANG that
// is set; in a locale other than "C" the list in LANGUAGE ("fr:en:ja") goes before it, its first
// entry this program has a text for deciding.
Language SystemLanguage() {
  std::string_view locale = Variable("LC_ALL");
  if (locale.empty()) locale = Variable("LC_MESSAGES");
  if (locale.empty()) locale = Variable("LANG");
  const std::optional<Language> from_locale = LocaleLanguage(locale);
  if (!from_locale) return Language::kJapanese;
  std::string_view list = Variable("LANGUAGE");
  std::optional<Language> fallback;
  while (!list.empty()) {
    const size_t colon = list.find(':');
    const std::string_view entry = list.substr(0, colon);
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    const std::optional<Language> language = LocaleLanguage(entry);
    if (!language) continue;
    if (entry.rfind("ja", 0) == 0 || entry.rfind("en", 0) == 0) return *language;
    if (!fallback) fallback = language;
  }
  return fallback ? *fallback : *from_locale;
}

}  // namespace vn
