#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/special_folders.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// An environment variable that names an absolute folder, or nothing (relative values are ignored,
// as the XDG base directory rules say).
fs::path AbsoluteFromEnv(const char* var) {
  const char* value = getenv(var);
  return value && value[0] == '/' ? fs::path(value) : fs::path();
}

fs::path XdgFolder(const char* var, const char* below_home) {
  fs::path folder = AbsoluteFromEnv(var);
  return folder.empty() ? HomeFolder() / below_home : folder;
}

// A folder from ~/.config/user-dirs.dirs (lines such as XDG_DESKTOP_DIR="$HOME/Desktop").
fs::path UserDir(const std::string& key, const char* fallback) {
  std::ifstream in(UserConfigFolder() / "user-dirs.dirs");
  std::string line;
  const std::string prefix = key + "=\"";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 1 || line.back() != '"') continue;
    std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
    if (value.rfind("$HOME", 0) == 0) return HomeFolder() / fs::path(value.substr(5)).relative_path();
    if (!value.empty() && value[0] == '/') return value;
  }
  return fallback[0] ? HomeFolder() / fallback : HomeFolder();
}

bool IsRoot() {
  return ::geteuid() == 0;
}

bool IsFolder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

}  // namespace

fs::path HomeFolder() {
  fs::path home = AbsoluteFromEnv("HOME");
  if (!home.empty()) return home;
  struct passwd pw;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir) {
    return found->pw_dir;
  }
  return "/";
}

fs::path UserConfigFolder() {
  return XdgFolder("XDG_CONFIG_HOME", ".config");
}

fs::path GetSpecialFolder(int id) {
  switch (id) {
    case kCsidlDesktop:
    case kCsidlDesktopDirectory:
    case kCsidlCommonDesktopDirectory:
      return UserDir("XDG_DESKTOP_DIR", "Desktop");
    case kCsidlPersonal:
      return UserDir("XDG_DOCUMENTS_DIR", "");
    case kCsidlPrograms:
    case kCsidlStartMenu:
      return XdgFolder("XDG_DATA_HOME", ".local/share") / "applications";
    case kCsidlCommonPrograms:
    case kCsidlCommonStartMenu:
      if (IsRoot()) return "/usr/local/share/applications";
      return XdgFolder("XDG_DATA_HOME", ".local/share") / "applications";
    case kCsidlStartup:
      return UserConfigFolder() / "autostart";
    case kCsidlCommonStartup:
      if (IsRoot()) return "/etc/xdg/autostart";
      return UserConfigFolder() / "autostart";
    case kCsidlAppData:
    case kCsidlLocalAppData:
      return XdgFolder("XDG_DATA_HOME", ".local/share");
    case kCsidlProgramFiles:
      return IsRoot() ? fs::path("/opt") : HomeFolder() / "Games";
    default:
      throw Exception("special folder " + std::to_string(id) + " has no counterpart on this system");
  }
}

fs::path WindowsFolder() {
  return XdgFolder("XDG_DATA_HOME", ".local/share") / "vnsetup" / "windows";
}

fs::path GetSystemDrive() {
  return HomeFolder();
}

fs::path TemporaryFolder() {
  fs::path tmp = AbsoluteFromEnv("TMPDIR");
  return tmp.empty() ? fs::path("/tmp") : tmp;
}

int32_t UserSaveFolders(const DataString& name, std::vector<fs::path>& list) {
  if (name.empty()) return 0;
  std::string native;
  if (!TryCp932ToUtf8(CleanSaveFolderName(name), native)) return 0;
  if (native == "." || native == ".." || native.find('\0') != std::string::npos) return 0;

  // The current user first (where the game writes), then every local user in the password database.
  std::vector<fs::path> candidates{XdgFolder("XDG_DATA_HOME", ".local/share") / native,
                                   HomeFolder() / ".local/share" / native};
  const uid_t me = ::getuid();
  ::setpwent();
  while (const struct passwd* pw = ::getpwent()) {
    if ((pw->pw_uid >= 1000 && pw->pw_uid != 65534) || pw->pw_uid == me) {
      if (pw->pw_dir && pw->pw_dir[0] == '/' && IsFolder(pw->pw_dir)) {
        candidates.push_back(fs::path(pw->pw_dir) / ".local/share" / native);
      }
    }
  }
  ::endpwent();

  std::set<fs::path> seen;
  for (const fs::path& folder : candidates) {
    std::error_code ec;
    fs::path key = fs::weakly_canonical(folder, ec);  // one folder reached by two names counts once
    if (ec) key = folder.lexically_normal();
    if (!seen.insert(key).second || !IsFolder(folder)) continue;
    list.push_back(folder);
  }
  return static_cast<int32_t>(list.size());
}

}  // namespace vn
