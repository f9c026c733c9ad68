#include "platform/folders.h"

#include "platform/paths.h"

namespace vn {

bool ListFolderSelects(uint16_t attr, std::string_view name, uint16_t attr_mask, bool include_plain,
                       std::string_view extension) {
  if (attr & kFaDirectory) return (attr_mask & kFaDirectory) != 0;
  const bool selected = (attr_mask & attr) != 0 || ((attr & 0x3F) == 0 && include_plain);
  if (!selected || extension.empty()) return selected;
  // The part of the name from its last '.', as ExtractFileExt gives it for a bare name.
  const size_t dot = name.rfind('.');
  return SameNameIgnoringCase(dot == std::string_view::npos ? std::string_view() : name.substr(dot),
                              extension);
}

}  // namespace vn
