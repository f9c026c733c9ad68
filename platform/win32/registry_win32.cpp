// The per-user registry itself: HKEY_CURRENT_USER.
#include <windows.h>

#include <vector>

#include "platform/error.h"
#include "platform/registry.h"
#include "platform/win32/wide.h"

namespace vn {

namespace {

// Closes a key on every exit path.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The key path in UTF-16, normalised as every store does it; none when a component is empty.
std::optional<std::wstring> KeyPath(std::string_view key) {
  const std::optional<std::string> path = NormalizeRegistryKeyPath(key);
  if (!path) return std::nullopt;
  return win32::Utf8ToWide(*path);
}

// A key directly below HKEY_CURRENT_USER, such as Software: deletions never touch one, whatever
// key path a damaged settings file leads to (RegDeleteTreeW on "Software" would empty it).
bool IsTopLevelKey(const std::wstring& path) {
  return path.find(L'\\') == std::wstring::npos;
}

std::string Describe(std::string_view key, std::string_view what, LSTATUS status) {
  return win32::Describe(std::filesystem::path(L"HKEY_CURRENT_USER\\" + win32::Utf8ToWide(key)),
                         std::string(what).c_str(), static_cast<DWORD>(status));
}

bool Open(const std::wstring& path, REGSAM access, Key& key) {
  return RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, key.out()) == ERROR_SUCCESS;
}

bool IsEmpty(HKEY key) {
  DWORD subkeys = 0, values = 0;
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                          nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys == 0 && values == 0;
}

class Win32RegistryStore : public RegistryStore {
 public:
  bool ReadString(std::string_view key, std::string_view name, std::string& value) override {
    const std::optional<std::wstring> path = KeyPath(key);
    Key k;
    if (!path || !Open(*path, KEY_QUERY_VALUE, k)) return false;
    const std::wstring wide_name = win32::Utf8ToWide(name);
    DWORD type = 0;
    if (RegQueryValueExW(k.get(), wide_name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const std::optional<std::wstring> text = win32::QueryRegString(k.get(), wide_name.c_str());
    if (!text) {
      throw Exception("HKEY_CURRENT_USER\\" + std::string(key) + ": the value \"" + std::string(name) +
                      "\" is not a string");
    }
    value = win32::WideToUtf8(*text);
    return true;
  }

  void WriteString(std::string_view key, std::string_view name, std::string_view value) override {
    const std::optional<std::wstring> path = KeyPath(key);
    if (!path) throw Exception("registry key \"" + std::string(key) + "\" has an empty component");
    Key k;
    LSTATUS r = RegCreateKeyExW(HKEY_CURRENT_USER, path->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, k.out(), nullptr);
    if (r != ERROR_SUCCESS) throw Exception(Describe(key, "cannot create the key", r));
    const std::wstring data = win32::Utf8ToWide(value);
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    r = RegSetValueExW(k.get(), win32::Utf8ToWide(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(data.c_str()), bytes);
    if (r != ERROR_SUCCESS) throw Exception(Describe(key, "cannot write a value", r));
  }

  bool KeyExists(std::string_view key) override {
    const std::optional<std::wstring> path = KeyPath(key);
    Key k;
    return path && Open(*path, KEY_READ, k);
  }

  using RegistryStore::DeleteKeyTree;
  bool DeleteKeyTree(std::string_view key, const std::vector<std::string>& empty_parents) override {
    const std::optional<std::wstring> path = KeyPath(key);
    if (!path || IsTopLevelKey(*path)) return false;
    const LSTATUS r = RegDeleteTreeW(HKEY_CURRENT_USER, path->c_str());
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
      throw Exception(Describe(key, "cannot delete the key", r));
    for (const std::string& parent : empty_parents) {
      if (!DeleteEmptyKey(parent)) break;
    }
    return r == ERROR_SUCCESS;
  }

 private:
  // The registry has no "delete if empty": a subkey created meanwhile makes RegDeleteKeyW fail, but a
  // value written between the test and the deletion would go with the key. That window is as short
  // as two calls.
  static bool DeleteEmptyKey(std::string_view key) {
    const std::optional<std::wstring> path = KeyPath(key);
    Key k;
    if (!path || IsTopLevelKey(*path) || !Open(*path, KEY_READ, k) || !IsEmpty(k.get())) return false;
    return RegDeleteKeyW(HKEY_CURRENT_USER, path->c_str()) == ERROR_SUCCESS;
  }
};

}  // namespace

RegistryStore& DefaultRegistry() {
  static Win32RegistryStore store;
  return store;
}

}  // namespace vn
