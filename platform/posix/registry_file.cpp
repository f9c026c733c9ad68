#include "platform/posix/registry_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/folder_handle.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/text.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// A store of a few keys per game; anything near this size is not ours.
constexpr int64_t kMaxStoreBytes = int64_t{64} << 20;

// A key directly below HKEY_CURRENT_USER, such as Software: deletions never touch one, whatever
// key path a damaged settings file leads to.
bool IsTopLevelKey(const std::string& path) {
  return path.find('\\') == std::string::npos;
}

// --- The file format ------------------------------------------------------------------------

bool NeedsEscape(unsigned char c) {
  return c == '%' || c < 0x20 || c == 0x7F;
}

std::string Escape(std::string_view s, bool is_name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const bool special = is_name && (c == '=' || (i == 0 && (c == '[' || c == ';' || c == '#')));
    if (NeedsEscape(c) || special) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct Key {
  std::string path;                                         // as first written
  std::vector<std::pair<std::string, std::string>> values;  // name, value; in the order written

  std::vector<std::pair<std::string, std::string>>::iterator Find(std::string_view name) {
    const std::string folded = AsciiLowerCase(name);
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (AsciiLowerCase(it->first) == folded) return it;
    }
    return values.end();
  }
};

// The whole store, keys by their case-folded path; sorted, so a key's subkeys follow it.
class Model {
 public:
  Key* Find(const std::string& path) {
    const auto it = keys_.find(AsciiLowerCase(path));
    return it == keys_.end() ? nullptr : &it->second;
  }

  // The key, created with its parents when missing.
  Key& Create(const std::string& path) {
    for (size_t pos = path.find('\\'); pos != std::string::npos; pos = path.find('\\', pos + 1)) {
      Add(path.substr(0, pos));
    }
    return Add(path);
  }

  bool HasSubkeys(const std::string& path) const {
    const std::string prefix = AsciiLowerCase(path) + '\\';
    const auto it = keys_.lower_bound(prefix);
    return it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
  }

  // Removes the key and every key below it.
  bool EraseTree(const std::string& path) {
    const std::string folded = AsciiLowerCase(path);
    const bool existed = keys_.erase(folded) > 0;
    const std::string prefix = folded + '\\';
    auto it = keys_.lower_bound(prefix);
    while (it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0) it = keys_.erase(it);
    return existed;
  }

  void Parse(const std::string& text, const fs::path& file) {
    Key* current = nullptr;
    size_t line_no = 0;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string_view line(text.data() + start, end - start);
      start = end + 1;
      ++line_no;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited on Windows
      if (line.empty() || line.front() == ';' || line.front() == '#') continue;
      const auto fail = [&](const std::string& what) {
        throw EFormatError(PathToUtf8(file) + ": line " + std::to_string(line_no) + ": " + what);
      };
      if (line.front() == '[') {
        if (line.size() < 2 || line.back() != ']') fail("a section header must end with ']'");
        std::string path;
        if (!Unescape(line.substr(1, line.size() - 2), path)) fail("bad %-escape in the key path");
        const auto key = NormalizeRegistryKeyPath(path);
        if (!key) fail("the key path \"" + path + "\" has an empty component");
        current = &Create(*key);
        continue;
      }
      const size_t eq = line.find('=');
      if (eq == std::string_view::npos) fail("expected name=value or [key]");
      if (!current) fail("a value before the first [key]");
      std::string name, value;
      if (!Unescape(line.substr(0, eq), name) || !Unescape(line.substr(eq + 1), value)) {
        fail("bad %-escape");
      }
      const auto it = current->Find(name);
      if (it != current->values.end()) {
        it->second = std::move(value);  // a repeated name: the last one holds
      } else {
        current->values.emplace_back(std::move(name), std::move(value));
      }
    }
  }

  std::string Serialize() const {
    std::string out =
        "; vnsetup registry (HKEY_CURRENT_USER). One section per key; %XX escapes a byte.\n"
        "; Rewritten whole by every change: edit it only while no vnsetup program runs.\n";
    for (const auto& [folded, key] : keys_) {
      out += "\n[" + Escape(key.path, false) + "]\n";
      for (const auto& [name, value] : key.values)
        out += Escape(name, true) + '=' + Escape(value, false) + '\n';
    }
    return out;
  }

 private:
  Key& Add(const std::string& path) {
    auto [it, inserted] = keys_.try_emplace(AsciiLowerCase(path));
    if (inserted) it->second.path = path;
    return it->second;
  }

  static bool Unescape(std::string_view s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] != '%') {
        out += s[i];
        continue;
      }
      if (i + 2 >= s.size()) return false;
      const int hi = HexDigit(s[i + 1]);
      const int lo = HexDigit(s[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    return true;
  }

  std::map<std::string, Key> keys_;
};

Model Load(const fs::path& file) {
  Model model;
  std::string text;
  try {
    text = ReadWholeFile(file, kMaxStoreBytes);
  } catch (const EFOpenError&) {
    std::error_code ec;
    if (!fs::exists(file, ec) && !ec) return model;  // no store yet: no keys
    throw;
  }
  model.Parse(text, file);
  return model;
}

// Holds the store's advisory lock while it lives. flock locks belong to the open file
// description, so two threads of one process exclude each other as two processes do.
class StoreLock {
 public:
  explicit StoreLock(const fs::path& file) {
    fs::path lock_path = file;
    lock_path += ".lock";
    fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      throw EFOpenError(PathToUtf8(lock_path) + ": cannot open the lock file: " + std::strerror(errno));
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd_);
      throw EWriteError(PathToUtf8(lock_path) + ": cannot lock: " + std::strerror(err));
    }
  }
  ~StoreLock() { ::close(fd_); }  // closing releases the lock
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int fd_ = -1;
};

// Runs change on the current store under the lock and writes the result when change says so.
template <typename Change>
bool Modify(const fs::path& file, Change change) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) throw EWriteError(PathToUtf8(file.parent_path()) + ": cannot create the folder: " + ec.message());
  StoreLock lock(file);
  // Temporaries of the store ("registry.ini.tmp<pid>-<n>") exist only while a writer holds the
  // lock: under the lock, any that remain were left by a writer that was killed, and go.
  RemoveStaleTemporariesOf(file);
  Model model = Load(file);
  const bool changed = change(model);
  if (changed) WriteFileAtomically(file, model.Serialize());
  return changed;
}

}  // namespace

FileRegistryStore::FileRegistryStore(fs::path file) : file_(std::move(file)) {}

bool FileRegistryStore::ReadString(std::string_view key, std::string_view name, std::string& value) {
  const auto path = NormalizeRegistryKeyPath(key);
  if (!path) return false;
  Model model = Load(file_);
  Key* k = model.Find(*path);
  if (!k) return false;
  const auto it = k->Find(name);
  if (it == k->values.end()) return false;
  value = it->second;
  return true;
}

void FileRegistryStore::WriteString(std::string_view key, std::string_view name, std::string_view value) {
  const auto path = NormalizeRegistryKeyPath(key);
  if (!path) {
    throw EWriteError(PathToUtf8(file_) + ": cannot create the key \"" + std::string(key) +
                      "\": empty component in the key path");
  }
  Modify(file_, [&](Model& model) {
    Key& k = model.Create(*path);
    const auto it = k.Find(name);
    if (it != k.values.end()) {
      it->second = value;
    } else {
      k.values.emplace_back(name, value);
    }
    return true;
  });
}

bool FileRegistryStore::KeyExists(std::string_view key) {
  const auto path = NormalizeRegistryKeyPath(key);
  if (!path) return false;
  Model model = Load(file_);
  return model.Find(*path) != nullptr;
}

bool FileRegistryStore::DeleteKeyTree(std::string_view key, const std::vector<std::string>& empty_parents) {
  const auto path = NormalizeRegistryKeyPath(key);
  if (!path || IsTopLevelKey(*path)) return false;
  std::error_code ec;
  if (!fs::exists(file_, ec) && !ec) return false;  // no store: nothing to delete, no lock file to make
  bool existed = false;
  Modify(file_, [&](Model& model) {
    existed = model.EraseTree(*path);
    bool changed = existed;
    for (const std::string& parent : empty_parents) {
      const auto p = NormalizeRegistryKeyPath(parent);
      if (!p || IsTopLevelKey(*p)) break;
      const Key* k = model.Find(*p);
      if (!k || !k->values.empty() || model.HasSubkeys(*p)) break;
      changed = model.EraseTree(*p) || changed;
    }
    // Software, which Windows always has, is no content of the file once it is empty: a full
    // uninstall leaves no empty section behind. (Other top-level keys stay, as on Windows.)
    const std::string top = path->substr(0, path->find('\\'));
    if (const Key* k = model.Find(top);
        k && AsciiLowerCase(top) == "software" && k->values.empty() && !model.HasSubkeys(top)) {
      changed = model.EraseTree(top) || changed;
    }
    return changed;  // unchanged: the file is not rewritten
  });
  return existed;
}

fs::path DefaultRegistryFile() {
  return UserConfigFolder() / "vnsetup" / "registry.ini";
}

RegistryStore& DefaultRegistry() {
  static FileRegistryStore store(DefaultRegistryFile());
  return store;
}

}  // namespace vn
