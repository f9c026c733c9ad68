// The per-user registry (HKEY_CURRENT_USER): the product key that remembers where a game was
// installed. On Windows it is the real registry; the POSIX backend keeps it in one store file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vn {

// Key paths are UTF-8 with '\' between components, relative to HKEY_CURRENT_USER
// ("Software\Maker\Game"); one trailing '\' is ignored. Key paths and value names are compared
// without regard to ASCII letter case, as Windows does. Values are strings (REG_SZ), UTF-8.
// A key path with an empty component cannot be opened: reads find nothing, writes raise.
// Failures of the store itself raise vn::Exception subclasses naming the store and the fault.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // The string value `name` of `key`; false when the key or the value does not exist.
  virtual bool ReadString(std::string_view key, std::string_view name, std::string& value) = 0;
  // Sets the string value, creating the key and any missing parents.
  virtual void WriteString(std::string_view key, std::string_view name, std::string_view value) = 0;
  virtual bool KeyExists(std::string_view key) = 0;
  // Deletes the key with all its subkeys and values; false when it did not exist. Then each of
  // `empty_parents` (keys above it, innermost first) that is left with neither subkeys nor values
  // (the default value counts), up to the first that is not. One step: the POSIX store reads and
  // rewrites its file once under its lock, so a value another process writes meanwhile is never
  // lost. A key directly below HKEY_CURRENT_USER (Software itself) is never deleted.
  virtual bool DeleteKeyTree(std::string_view key, const std::vector<std::string>& empty_parents) = 0;
  bool DeleteKeyTree(std::string_view key) { return DeleteKeyTree(key, {}); }
};

// A key path as every store operation (write, read, delete, and the POSIX store's file parser)
// addresses it: one trailing '\' dropped; none when a component is empty ("", "\a", "a\\b", "a\\").
std::optional<std::string> NormalizeRegistryKeyPath(std::string_view key);

// The process-wide store of the current user.
RegistryStore& DefaultRegistry();

}  // namespace vn
