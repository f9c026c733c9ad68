// The product's registry key: HKEY_CURRENT_USER\Software\<RegistryKey>.
#include <filesystem>
#include <vector>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "settings/settings.h"

namespace vn {

RegistryStore& TVondInstallSet::Registry() const {
  return registry_ ? *registry_ : DefaultRegistry();
}

namespace {

// RegistryKey without one leading '\' ("\Maker\Game" and "Maker\Game" are the same key).
DataString RelativeKey(const DataString& registry_key) {
  if (!registry_key.empty() && registry_key[0] == '\\') return DataString(registry_key.bytes().substr(1));
  return registry_key;
}

// True when the key names no key of its own: nothing but '\' delimiters and blanks (ASCII blanks and
// the double-byte ideographic space). Such a key would address HKEY_CURRENT_USER\Software itself,
// so writing would put values there and the uninstaller would delete the whole of it.
bool NamesNoKey(const DataString& key) {
  const std::string& b = key.bytes();
  for (size_t i = 0; i < b.size(); ++i) {
    const auto c = static_cast<uint8_t>(b[i]);
    if (IsLeadByte(c) && i + 1 < b.size()) {
      if (c != 0x81 || static_cast<uint8_t>(b[i + 1]) != 0x40) return false;
      ++i;
    } else if (c != '\\' && c != ' ' && c != '\t') {
      return false;
    }
  }
  return true;
}

// "Software\" + a key below it, as UTF-8; false when the key has no UTF-8 form.
bool SoftwarePath(const DataString& key, std::string& path) {
  std::string utf8;
  if (!TryCp932ToUtf8(key, utf8)) return false;
  path = "Software\\" + utf8;
  return true;
}

}  // namespace

bool TVondInstallSet::HasRegistryKey() const {
  return !NamesNoKey(RelativeKey(RegistryKey));
}

bool TVondInstallSet::KeyPath(std::string& path) const {
  return HasRegistryKey() && SoftwarePath(RelativeKey(RegistryKey), path);
}

bool TVondInstallSet::RegistryKeyExists() const {
  std::string path;
  return KeyPath(path) && Registry().KeyExists(path);
}

std::string TVondInstallSet::ReadValue(const std::string& name, const std::string& default_value) const {
  std::string path, value;
  if (!KeyPath(path) || !Registry().ReadString(path, name, value)) return default_value;
  return value;
}

void TVondInstallSet::WriteValue(const std::string& name, const std::string& value) const {
  if (!HasRegistryKey()) return;
  std::string path;
  if (!KeyPath(path)) {
    throw EConvertError("RegistryKey \"" + Cp932ToUtf8Lossy(RegistryKey) +
                        "\" has bytes without a character");
  }
  Registry().WriteString(path, name, value);
}

void TVondInstallSet::DeleteRegistryKey() const {
  std::string path;
  if (!KeyPath(path)) return;
  // With it goes every parent below Software that nothing else uses any more, innermost first. The
  // walk goes over the stored bytes, whose delimiters are known only in code page 932.
  std::vector<std::string> parents;
  DataString parent = RelativeKey(RegistryKey);
  for (ParentKeyPath(parent); !NamesNoKey(parent); ParentKeyPath(parent)) {
    std::string parent_path;
    if (!SoftwarePath(parent, parent_path)) break;
    parents.push_back(std::move(parent_path));
  }
  Registry().DeleteKeyTree(path, parents);
}

bool TVondInstallSet::IsGameInstalled() const {
  const std::string folder = ReadValue("InstallPath", "");
  if (folder.empty() || ExeName.empty()) return false;
  try {
    const std::filesystem::path exe = JoinDataPath(Utf8ToPath(folder), ExeName);
    std::error_code ec;
    return std::filesystem::exists(exe, ec) && !std::filesystem::is_directory(exe, ec);
  } catch (const Exception&) {
    return false;  // an ExeName that cannot name a file in the folder is not an installed game
  }
}

}  // namespace vn
