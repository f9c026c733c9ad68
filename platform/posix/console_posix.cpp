#include <fnmatch.h>

#include "platform/console.h"

namespace vn {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareStandardStreams() {}

bool MatchesPattern(std::string_view pattern, std::string_view text) {
  return ::fnmatch(std::string(pattern).c_str(), std::string(text).c_str(), FNM_CASEFOLD) == 0;
}

}  // namespace vn
