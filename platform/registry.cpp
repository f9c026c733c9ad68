// What the registry backends share: the one spelling of a key path.
#include "platform/registry.h"

namespace vn {

std::optional<std::string> NormalizeRegistryKeyPath(std::string_view key) {
  if (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  // Windows reads "a\\b" as "a\b" and a second trailing '\' as nothing; a store that did so for
  // one operation but not another would write a key that it then never finds.
  if (key.empty() || key.front() == '\\' || key.back() == '\\' ||
      key.find("\\\\") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(key);
}

}  // namespace vn
