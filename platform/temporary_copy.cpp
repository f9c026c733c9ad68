#include "platform/temporary_copy.h"

#include "platform/paths.h"
#include "platform/special_folders.h"

namespace vn {

namespace fs = std::filesystem;

namespace {
constexpr int kLastAttempt = 98;
}

std::string TemporaryCopyName(int attempt) {
  return attempt < 0 ? "~vinstall.exe" : "~vinstall" + std::to_string(attempt) + ".exe";
}

bool IsTemporaryCopy(const fs::path& exe) {
  const std::string name = PathToUtf8(exe.filename());
  bool named = SameNameIgnoringCase(name, TemporaryCopyName(-1));
  for (int k = 0; !named && k <= kLastAttempt; ++k) named = SameNameIgnoringCase(name, TemporaryCopyName(k));
  if (!named) return false;
  std::error_code ec;
  const bool in_temp = fs::equivalent(exe.parent_path(), TemporaryFolder(), ec);
  return in_temp && !ec && fs::is_regular_file(fs::symlink_status(exe, ec));
}

bool RemoveTemporaryCopy(const fs::path& exe) {
  return IsTemporaryCopy(exe) && DeleteOnReboot(exe);
}

bool MoveRunningProgramToTemporaryFolder(const fs::path& exe) {
  const fs::path temp = TemporaryFolder();
  for (int attempt = -1; attempt <= kLastAttempt; ++attempt) {
    const fs::path candidate = temp / TemporaryCopyName(attempt);
    std::error_code ec;
    // a copy still running keeps its name
    if (fs::exists(fs::symlink_status(candidate, ec)) && !fs::remove(candidate, ec)) continue;
    fs::rename(exe, candidate, ec);
    if (ec) return false;
    DeleteOnReboot(candidate);
    return true;
  }
  return false;
}

}  // namespace vn
