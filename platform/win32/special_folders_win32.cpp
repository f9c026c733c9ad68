#include <windows.h>
// after <windows.h>, whose types it uses
#include <shlobj.h>

#include <utility>

#include "platform/error.h"
#include "platform/special_folders.h"
#include "platform/win32/wide.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

class Key {
 public:
  Key(HKEY root, const wchar_t* path) {
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  explicit operator bool() const { return key_ != nullptr; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool IsFolder(const fs::path& path) {
  const std::optional<DWORD> attr = win32::AttributesOf(path);
  return attr && (*attr & FILE_ATTRIBUTE_DIRECTORY);
}

// SHGetFolderPathW, empty when the shell has no folder for the number.
fs::path ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
  return fs::path(buffer);
}

// The system drive as text: the drive part of the system folder, without delimiter ("C:").
std::wstring SystemDriveText() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  if (n < 2 || n > MAX_PATH || buffer[1] != L':') return L"C:";
  return std::wstring(buffer, 2);
}

// `text` with its leading `variable` (such as "%USERPROFILE%") replaced by `value`, when it has one.
std::optional<std::wstring> ReplaceLeading(const std::wstring& text, std::wstring_view variable,
                                           std::wstring_view value) {
  if (!win32::StartsWithIgnoringCase(text, variable)) return std::nullopt;
  return std::wstring(value) + text.substr(variable.size());
}

constexpr wchar_t kProfileList[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

}  // namespace

fs::path GetSpecialFolder(int id) {
  if (id == kCsidlProgramFiles) {
    // Where the system says programs go; the shell's answer when the value is missing.
    Key key(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion");
    if (key) {
      if (const std::optional<std::wstring> dir = win32::QueryRegString(key.get(), L"ProgramFilesDir")) {
        if (!dir->empty()) return fs::path(*dir);
      }
    }
    return ShellFolder(CSIDL_PROGRAM_FILES);
  }
  fs::path folder = ShellFolder(id);
  if (folder.empty()) {
    throw Exception("the shell has no folder for special folder " + std::to_string(id));
  }
  return folder;
}

fs::path HomeFolder() {
  fs::path home = ShellFolder(CSIDL_PROFILE);
  return home.empty() ? fs::path(SystemDriveText() + L"\\") : home;
}

fs::path UserConfigFolder() {
  return GetSpecialFolder(kCsidlAppData);
}

fs::path WindowsFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
  return n > 0 && n <= MAX_PATH ? fs::path(buffer) : fs::path(SystemDriveText() + L"\\Windows");
}

fs::path GetSystemDrive() {
  // The root, "C:\": a bare "C:" would name the current folder of that drive when joined.
  return fs::path(SystemDriveText() + L"\\");
}

fs::path TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 2] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH + 1) return WindowsFolder() / L"Temp";
  fs::path tmp(buffer);  // ends with a delimiter
  return tmp.has_filename() ? tmp : tmp.parent_path();
}

int32_t UserSaveFolders(const DataString& name, std::vector<fs::path>& list) {
  if (name.empty()) return 0;
  std::string clean;
  if (!TryCp932ToUtf8(CleanSaveFolderName(name), clean) || clean == "." || clean == ".." ||
      clean.find('\0') != std::string::npos) {
    return 0;
  }
  const std::wstring folder_name = win32::Utf8ToWide(clean);

  // Every profile on the machine (the subkeys are the users' security ids) with an existing folder.
  std::vector<std::pair<std::wstring, std::wstring>> profiles;  // (profile folder, id)
  {
    Key list_key(HKEY_LOCAL_MACHINE, kProfileList);
    if (!list_key) return 0;
    const std::wstring drive = SystemDriveText();
    wchar_t id[256];
    for (DWORD i = 0;; ++i) {
      DWORD id_size = sizeof id / sizeof id[0];
      const LSTATUS r = RegEnumKeyExW(list_key.get(), i, id, &id_size, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r != ERROR_SUCCESS) continue;
      Key profile(list_key.get(), id);
      if (!profile) continue;
      std::optional<std::wstring> image = win32::QueryRegString(profile.get(), L"ProfileImagePath");
      if (!image || image->empty()) continue;
      if (auto replaced = ReplaceLeading(*image, L"%SystemDrive%", drive)) image = std::move(replaced);
      while (image->size() > 3 && (image->back() == L'\\' || image->back() == L'/')) image->pop_back();
      if (IsFolder(*image)) profiles.emplace_back(*image, std::wstring(id, id_size));
    }
  }

  // Each user's own "Local AppData" setting; a user whose settings are not loaded gets the default one.
  for (const auto& [profile, id] : profiles) {
    Key own(HKEY_USERS, (id + L"\\" + kShellFolders).c_str());
    Key fallback(HKEY_USERS, (std::wstring(L".Default\\") + kShellFolders).c_str());
    const Key& shell_folders = own ? own : fallback;
    if (!shell_folders) continue;
    const std::optional<std::wstring> local = win32::QueryRegString(shell_folders.get(), L"Local AppData");
    if (!local) continue;
    // Only a folder inside the profile belongs to that user; an absolute one is nobody's in particular.
    const std::optional<std::wstring> folder = ReplaceLeading(*local, L"%USERPROFILE%", profile);
    if (!folder) continue;
    const fs::path save = fs::path(*folder) / folder_name;
    if (IsFolder(save)) list.push_back(save);
  }
  return static_cast<int32_t>(list.size());
}

}  // namespace vn
