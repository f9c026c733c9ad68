#include "tests/support/test_env.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vn::test {

namespace fs = std::filesystem;

namespace {
fs::path g_root;
}

void CreateSandbox() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vntest-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create the test sandbox");
  g_root = pattern;
  const auto make = [](const char* var, const fs::path& dir) {
    fs::create_directories(dir);
    setenv(var, dir.c_str(), 1);
  };
  make("HOME", g_root / "home");
  make("XDG_CONFIG_HOME", g_root / "home/.config");
  make("XDG_DATA_HOME", g_root / "home/.local/share");
  make("XDG_CACHE_HOME", g_root / "home/.cache");
  make("XDG_STATE_HOME", g_root / "home/.local/state");
  make("XDG_RUNTIME_DIR", g_root / "run");
  make("TMPDIR", g_root / "tmp");
  // A Windows program run by a test runs in a prefix of the sandbox; vnsetup's own prefix (made when
  // none is set) is for the tests that unset it.
  make("WINEPREFIX", g_root / "wine");
  fs::permissions(g_root / "run", fs::perms::owner_all, fs::perm_options::replace);
}

void RemoveSandbox() {
  std::error_code ec;
  if (!g_root.empty()) fs::remove_all(g_root, ec);
}

const fs::path& SandboxRoot() {
  return g_root;
}

fs::path MakeTempDir(const std::string& hint) {
  static std::atomic<unsigned> counter{0};
  fs::path dir = g_root / "work" / (hint + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  fs::create_directories(dir);
  return dir;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string ShellQuoted(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult RunShell(const std::string& command, const fs::path& dir) {
  const fs::path out = dir / "stdout", err = dir / "stderr";
  const int status =
      std::system((command + " >" + ShellQuoted(out.string()) + " 2>" + ShellQuoted(err.string())).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

bool KeepOnlyUdfDescriptors(const fs::path& image) {
  constexpr size_t kSector = 2048;
  std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
  std::string area(16 * kSector, '\0');
  file.seekg(16 * kSector);
  if (!file.read(area.data(), static_cast<std::streamsize>(area.size()))) return false;
  std::string kept;
  for (size_t sector = 0; sector < 16; ++sector) {
    const std::string id = area.substr(sector * kSector + 1, 5);
    if (id == "BEA01" || id == "NSR02" || id == "NSR03" || id == "TEA01")
      kept += area.substr(sector * kSector, kSector);
  }
  if (kept.size() != 3 * kSector) return false;
  kept.resize(area.size(), '\0');
  file.seekp(16 * kSector);
  return static_cast<bool>(file.write(kept.data(), static_cast<std::streamsize>(kept.size())));
}

}  // namespace vn::test
