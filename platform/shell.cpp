#include "platform/shell.h"

namespace vn {

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
