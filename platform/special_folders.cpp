#include "platform/special_folders.h"

#include <string_view>

namespace vn {

DataString CleanSaveFolderName(const DataString& name) {
  static constexpr std::string_view kUnsafe = "\\/:,;*?\"<>|";
  DataString clean = name;
  for (size_t i = 0; i < clean.size(); ++i) {
    // The second byte of a double-byte character is part of that character, whatever its value.
    if (kUnsafe.find(static_cast<char>(clean[i])) != std::string_view::npos && IsCharStart(clean, i)) {
      clean.bytes()[i] = '_';
    }
  }
  return clean;
}

}  // namespace vn
