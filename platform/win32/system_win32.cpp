#include <windows.h>

#include "platform/system.h"
#include "platform/temporary_copy.h"

namespace vn {

namespace fs = std::filesystem;

bool IsAdministrator() {
  // shell32's IsUserAnAdmin, exported by ordinal 680 since the NT family had it; false without it.
  const HMODULE shell32 = LoadLibraryW(L"shell32.dll");
  if (!shell32) return false;
  using IsUserAnAdminFn = BOOL(WINAPI*)();
  const auto is_admin = reinterpret_cast<IsUserAnAdminFn>(
      reinterpret_cast<void*>(GetProcAddress(shell32, MAKEINTRESOURCEA(680))));
  const bool result = is_admin && (is_admin() & 0xFF) != 0;
  FreeLibrary(shell32);
  return result;
}

fs::path OwnExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return fs::path(buffer.substr(0, n));
    if (buffer.size() >= 32768) return {};  // longer than any path the system allows
    buffer.resize(buffer.size() * 2);
  }
}

fs::path RunningImagePath() {
  return OwnExecutablePath();
}

bool DeleteOnReboot(const fs::path& file) {
  // A running program's file cannot be deleted; the system deletes it at its next start. Only
  // RemoveTemporaryCopy calls this, for a genuine temporary copy.
  return MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void AdviseHugePages(void*, size_t) {}

}  // namespace vn
