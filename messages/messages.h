// The catalogue of the program's own texts (messages.def), in Japanese as designed or in English
// (en.po), and the choice between the two. Every front end (the Qt and Win32 windows, the console of
// unattended runs) and every engine takes the texts it shows from here. Texts that come from a disc
// (its title, maker, licence, readme, component names) are shown as stored and never pass through it.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace vn {

enum class Msg : int {
#define VN_MESSAGE(id, text) id,
#include "messages/messages.def"
#undef VN_MESSAGE
  kCount
};

enum class Language { kJapanese, kEnglish };

// The language texts are given in; Japanese until the program chooses one.
Language CurrentLanguage();
void SetLanguage(Language language);

// The text of `id` in the present language (UTF-8); the designed Japanese text where no translation
// exists.
const char* Tr(Msg id);
// The same with %1 ... %9 replaced by `values`, in their order (a "%" before anything else stays).
std::string Tr(Msg id, std::initializer_list<std::string_view> values);
// The text in `language`, or nothing when the catalogue holds none for it (Japanese always has one).
const char* TextIn(Language language, Msg id);
// The identifier as written in messages.def ("kButtonYes").
const char* MessageName(Msg id);

// "ja" or "en": the value of --lang and VNSETUP_LANG.
std::optional<Language> LanguageCode(std::string_view code);
// The language a POSIX locale name asks for ("ja_JP.UTF-8", "en_US", "de"): none for "C", "POSIX"
// and an empty name, which ask for no language; Japanese for "ja..."; English for any other.
std::optional<Language> LocaleLanguage(std::string_view locale);
// The user's language of the system: on Windows the user's UI language; on POSIX LANGUAGE, then
// LC_ALL, LC_MESSAGES and LANG as gettext reads them. Japanese where nothing asks for another.
Language SystemLanguage();

// Chooses the language of this run and takes "--lang ja|en" ("--lang=en") out of argv: the option,
// else VNSETUP_LANG, else the system's language. Returns what is wrong with a value it cannot use
// (the language stays the system's), empty when all is well.
std::string ChooseLanguage(int& argc, char** argv);

}  // namespace vn
