#include <windows.h>

#include "messages/messages.h"

namespace vn {

// The language the user's Windows shows its own texts in.
Language SystemLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::kJapanese
                                                                    : Language::kEnglish;
}

}  // namespace vn
