#include "platform/shell.h"

#include <cstring>
#include <system_error>

#include "platform/file.h"

namespace vn {

bool IsWindowsProgram(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  try {
    File in(file, FileAccess::kRead);
    char magic[2] = {};
    return in.ReadAt(0, magic, 2) == 2 && std::memcmp(magic, "MZ", 2) == 0;
  } catch (const std::exception&) {
    return false;  // unreadable: the start itself reports it
  }
}

std::vector<std::string> SplitParameters(std::string_view params) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < params.size()) {
    while (i < params.size() && (params[i] == ' ' || params[i] == '\t')) ++i;
    if (i == params.size()) break;
    std::string arg;
    bool quoted = false;
    for (; i < params.size() && (quoted || (params[i] != ' ' && params[i] != '\t')); ++i) {
      if (params[i] == '"') {
        quoted = !quoted;
      } else {
        arg += params[i];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace vn
