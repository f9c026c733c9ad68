// The current user's list of installed programs: HKEY_CURRENT_USER\...\Uninstall\<key>.
#include <windows.h>

#include <algorithm>

#include "platform/error.h"
#include "platform/program_list.h"
#include "platform/win32/wide.h"

namespace vn {

namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring EntryPath(const std::string& key) {
  if (key.empty() || key.find('\\') != std::string::npos)
    throw Exception("\"" + key + "\" is no name of an entry in the list of installed programs");
  return kUninstallKey + win32::Utf8ToWide(key);
}

std::string Describe(const std::wstring& path, const char* what, LSTATUS status) {
  return win32::Describe(std::filesystem::path(L"HKEY_CURRENT_USER\\" + path), what,
                         static_cast<DWORD>(status));
}

class Key {
 public:
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

void SetText(HKEY key, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const LSTATUS r = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  if (r != ERROR_SUCCESS) throw Exception(Describe(path, "cannot write a value", r));
}

void SetNumber(HKEY key, const std::wstring& path, const wchar_t* name, DWORD value) {
  const LSTATUS r =
      RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  if (r != ERROR_SUCCESS) throw Exception(Describe(path, "cannot write a value", r));
}

void WriteValues(HKEY key, const std::wstring& path, const ProgramListEntry& entry) {
  SetText(key, path, L"DisplayName", win32::Utf8ToWide(entry.display_name));
  if (!entry.display_version.empty())
    SetText(key, path, L"DisplayVersion", win32::Utf8ToWide(entry.display_version));
  if (!entry.publisher.empty()) SetText(key, path, L"Publisher", win32::Utf8ToWide(entry.publisher));
  SetText(key, path, L"InstallLocation", entry.install_location.wstring());
  const std::wstring uninstaller = L"\"" + entry.uninstaller.wstring() + L"\"";
  SetText(key, path, L"UninstallString", uninstaller);
  SetText(key, path, L"QuietUninstallString", uninstaller + L" --unattended");
  if (!entry.icon.empty()) SetText(key, path, L"DisplayIcon", entry.icon.wstring() + L",0");
  const int64_t kib = (std::max<int64_t>(entry.estimated_bytes, 0) + 1023) / 1024;
  SetNumber(key, path, L"EstimatedSize", static_cast<DWORD>(std::min<int64_t>(kib, 0xFFFFFFFF)));
  SetNumber(key, path, L"NoModify", 1);
  SetNumber(key, path, L"NoRepair", 1);
}

}  // namespace

bool HasProgramList() {
  return true;
}

bool AddToProgramList(const std::string& key, const ProgramListEntry& entry) {
  const std::wstring path = EntryPath(key);
  Key k;
  DWORD disposition = 0;
  const LSTATUS r = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_SET_VALUE, nullptr, k.out(), &disposition);
  if (r != ERROR_SUCCESS) throw Exception(Describe(path, "cannot create the key", r));
  const bool created = disposition == REG_CREATED_NEW_KEY;
  try {
    WriteValues(k.get(), path, entry);
  } catch (...) {
    if (created) RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    throw;
  }
  return created;
}

std::optional<std::filesystem::path> ProgramListLocation(const std::string& key) {
  Key k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, EntryPath(key).c_str(), 0, KEY_QUERY_VALUE, k.out()) != ERROR_SUCCESS)
    return std::nullopt;
  const std::optional<std::wstring> location = win32::QueryRegString(k.get(), L"InstallLocation");
  if (!location) return std::filesystem::path();
  return std::filesystem::path(*location);
}

bool RemoveFromProgramList(const std::string& key) {
  const std::wstring path = EntryPath(key);
  const LSTATUS r = RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  if (r == ERROR_FILE_NOT_FOUND) return false;
  if (r != ERROR_SUCCESS) throw Exception(Describe(path, "cannot delete the key", r));
  return true;
}

}  // namespace vn
