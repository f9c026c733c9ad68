#include <windows.h>
// after <windows.h>, whose types it uses
#include <shellapi.h>

#include "platform/shell.h"
#include "platform/win32/wide.h"

namespace vn {

namespace fs = std::filesystem;

int ShellOpen(const fs::path& file, std::string_view params, const fs::path& working_folder) {
  if (file.empty()) return kShellFileNotFound;
  std::wstring wide_params;
  try {
    wide_params = win32::Utf8ToWide(params);
  } catch (const std::exception&) {
    return kShellFileNotFound;
  }
  // The shell reports through the instance value: above 32 it started the file, at or below 32 the
  // value is the error (file or path not found, access denied, bad format, no association...).
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", file.c_str(), wide_params.empty() ? nullptr : wide_params.c_str(),
                    working_folder.empty() ? nullptr : working_folder.c_str(), SW_SHOWNORMAL);
  const auto value = reinterpret_cast<intptr_t>(result);
  return value > kShellErrorLimit ? kShellStarted : static_cast<int>(value);
}

// Windows runs its own programs: nothing to install.
std::string PrepareWindowsProgram(const std::filesystem::path&) {
  return {};
}

std::string ShellOpenFailureHint(const std::filesystem::path&, int) {
  return {};
}

}  // namespace vn
