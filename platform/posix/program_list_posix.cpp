// No list of installed programs on Linux: the desktop menu's uninstall entry serves instead.
#include "platform/program_list.h"

namespace vn {

bool HasProgramList() {
  return false;
}

bool AddToProgramList(const std::string&, const ProgramListEntry&) {
  return false;
}

std::optional<std::filesystem::path> ProgramListLocation(const std::string&) {
  return std::nullopt;
}

bool RemoveFromProgramList(const std::string&) {
  return false;
}

}  // namespace vn
