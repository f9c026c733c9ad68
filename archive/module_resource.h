// Where a module file keeps a resource; one implementation per module format (ELF here, PE on
// Windows). Used by TResourceStream only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file.h"

namespace vn {

// The resource's bytes within the module file.
struct ResourceBytes {
  int64_t offset;
  int64_t size;
};

// True when `file` is a module this system could load resources from.
bool IsModuleFile(File& file);

// The resource `name` of `type` (matched without regard to ASCII case); none when the file is no module
// or has no such resource.
std::optional<ResourceBytes> FindModuleResource(File& file, const std::string& name, const std::string& type);

}  // namespace vn
