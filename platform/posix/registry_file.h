// The POSIX stand-in for the per-user registry: one INI-style store file, keys as sections.
//
//   ; comment
//   [Software\Maker\Game]
//   InstallPath=/home/user/Games/Game
//
// Parents of a key are sections of their own. In names, values and key paths '%' and control
// characters are written as %XX, and so are '=' in names and a name's leading '[', ';' or '#', so
// every value round-trips. Writers take an advisory lock (flock on "<file>.lock"), read the file,
// change it and replace it atomically (temporary file + rename); readers need no lock because
// they always see a whole file.
#pragma once

#include <filesystem>

#include "platform/registry.h"

namespace vn {

class FileRegistryStore : public RegistryStore {
 public:
  explicit FileRegistryStore(std::filesystem::path file);

  bool ReadString(std::string_view key, std::string_view name, std::string& value) override;
  void WriteString(std::string_view key, std::string_view name, std::string_view value) override;
  bool KeyExists(std::string_view key) override;
  using RegistryStore::DeleteKeyTree;
  bool DeleteKeyTree(std::string_view key, const std::vector<std::string>& empty_parents) override;

  const std::filesystem::path& File() const { return file_; }

 private:
  std::filesystem::path file_;
};

// $XDG_CONFIG_HOME/vnsetup/registry.ini, with ~/.config when XDG_CONFIG_HOME is unset or relative.
std::filesystem::path DefaultRegistryFile();

}  // namespace vn
