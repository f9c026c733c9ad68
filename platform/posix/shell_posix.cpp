#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iconv.h>
#include <locale.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/shell.h"
#include "platform/special_folders.h"

extern char** environ;

namespace vn {

namespace fs = std::filesystem;

namespace {

// What the started process reports back through the pipe when it could not become the program.
struct SpawnFailure {
  int stage;  // kStageChdir or kStageExec
  int error;
};
constexpr int kStageChdir = 1;
constexpr int kStageExec = 2;

int MissingFileCode(const fs::path& file, int err) {
  if (err == EACCES || err == EPERM) return kShellAccessDenied;
  if (err == ENOTDIR) return kShellPathNotFound;
  std::error_code ec;
  const fs::path folder = file.parent_path();
  return folder.empty() || fs::is_directory(folder, ec) ? kShellFileNotFound : kShellPathNotFound;
}

int ExecErrorCode(int err) {
  switch (err) {
    case ENOENT:
      return kShellFileNotFound;
    case ENOTDIR:
      return kShellPathNotFound;
    case EACCES:
    case EPERM:
    case ETXTBSY:
      return kShellAccessDenied;
    case ENOEXEC:
    case ELIBBAD:
    case ELOOP:
      return kShellBadFormat;
    default:
      return kShellOutOfResources;
  }
}

// A program we may start directly: executable by us, and a binary or a script the kernel runs.
bool IsProgram(const fs::path& file, const struct stat& st) {
  if (!S_ISREG(st.st_mode) || ::access(file.c_str(), X_OK) != 0) return false;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;  // execute-only: let the kernel decide
  char magic[4] = {};
  const ssize_t n = ::read(fd, magic, sizeof magic);
  ::close(fd);
  return (n >= 4 && std::memcmp(magic,
                                "\x7f"
                                "ELF",
                                4) == 0) ||
         (n >= 2 && magic[0] == '#' && magic[1] == '!');
}

// `name` found in the folders of $PATH, empty when it is in none.
fs::path FindOnPath(const char* name) {
  const char* path = getenv("PATH");
  std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!dirs.empty()) {
    const size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    if (dir.empty()) continue;
    const fs::path candidate = fs::path(dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// The desktop's opener: $VN_XDG_OPEN when set, else xdg-open found on PATH.
fs::path Opener() {
  const char* override_path = getenv("VN_XDG_OPEN");
  if (override_path && *override_path) return override_path;
  return FindOnPath("xdg-open");
}

// The program that runs Windows programs: $VN_WINE when set (and executable), else wine on PATH.
fs::path Wine() {
  const char* override_path = getenv("VN_WINE");
  if (override_path && *override_path) {
    return ::access(override_path, X_OK) == 0 ? fs::path(override_path) : fs::path();
  }
  return FindOnPath("wine");
}

constexpr char kJapaneseLocale[] = "ja_JP.UTF-8";

// The argument and environment arrays execve takes, built before fork (a child of a process with
// threads may not allocate). `env`, when given, replaces this process's environment.
struct ExecArguments {
  ExecArguments(const std::vector<std::string>& args, const std::vector<std::string>* env) {
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (env) {
      for (const std::string& e : *env) env_list.push_back(const_cast<char*>(e.c_str()));
      env_list.push_back(nullptr);
    }
    envp = env ? env_list.data() : environ;
  }
  std::vector<char*> argv;
  std::vector<char*> env_list;
  char** envp;
};

// Runs `args` (the program found on PATH, or named by its path) and waits for it; true when it ran
// and exited with 0. `env`, when given, replaces this process's environment for it.
bool RunAndWait(const std::vector<std::string>& args, const std::vector<std::string>* env = nullptr) {
  const fs::path program =
      args[0].find('/') != std::string::npos ? fs::path(args[0]) : FindOnPath(args[0].c_str());
  if (program.empty()) return false;
  const ExecArguments exec(args, env);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // Only async-signal-safe calls from here on: the parent may have other threads.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execve(program.c_str(), exec.argv.data(), exec.envp);
    ::_exit(127);
  }
  int status = 0;
  pid_t waited;
  while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  return waited == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Wine takes a program's ANSI code page from the locale's name (ja_JP: 932) even where that locale
// is not installed, but then converts file names as ASCII, so a program under a Japanese folder name
// cannot even be opened. Where the system lacks ja_JP.UTF-8, a copy compiled with localedef (once per
// user, into the Local AppData folder) serves the child through LOCPATH. An empty path: the system's
// own locale serves. None: the locale can be had neither way (no locale sources, no localedef).
std::optional<fs::path> JapaneseLocaleFolder() {
  if (locale_t system = ::newlocale(LC_ALL_MASK, kJapaneseLocale, nullptr)) {
    ::freelocale(system);
    return fs::path();
  }
  std::error_code ec;
  const fs::path folder = GetSpecialFolder(kCsidlLocalAppData) / "vnsetup" / "locale";
  const fs::path compiled = folder / kJapaneseLocale;
  if (fs::is_regular_file(compiled / "LC_CTYPE", ec)) return folder;
  // Made under a name of this process and renamed, so a half-made locale is never used.
  const fs::path partial = folder / (std::string(kJapaneseLocale) + ".part" + std::to_string(::getpid()));
  fs::create_directories(folder, ec);
  fs::remove_all(partial, ec);
  const bool made = RunAndWait({"localedef", "-i", "ja_JP", "-f", "UTF-8", partial.string()});
  if (made) fs::rename(partial, compiled, ec);
  fs::remove_all(partial, ec);
  if (fs::is_regular_file(compiled / "LC_CTYPE", ec)) return folder;
  return std::nullopt;
}

// Where vnsetup keeps what it makes for Wine: the compiled locale, its own prefix.
fs::path VnsetupDataFolder() {
  return GetSpecialFolder(kCsidlLocalAppData) / "vnsetup";
}

// The Wine prefix set by the user ($WINEPREFIX), empty when none is.
std::string UserWinePrefix() {
  const char* prefix = getenv("WINEPREFIX");
  return prefix ? prefix : "";
}

// The Windows fonts games name, each with the installed faces that stand in for it (best first): a
// Gothic face for the Gothic names, a Mincho face for the Mincho names, proportional where the
// Windows font is. Noto CJK JP has both widths in one face.
struct FontStandIn {
  const char* name;
  const char* faces[2];
};
constexpr FontStandIn kFontStandIns[] = {
    {"ＭＳ ゴシック", {"Noto Sans CJK JP", "IPAGothic"}},
    {"ＭＳ Ｐゴシック", {"Noto Sans CJK JP", "IPAPGothic"}},
    {"ＭＳ 明朝", {"Noto Serif CJK JP", "IPAMincho"}},
    {"ＭＳ Ｐ明朝", {"Noto Serif CJK JP", "IPAPMincho"}},
};

// The font replacements for vnsetup's Wine prefix as a registry file (UTF-16 with its byte-order
// mark, as regedit writes it): each name mapped to the first of its faces fontconfig has. Empty when
// none is installed.
std::string MakeFontReplacementsFile() {
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n";
  bool any = false;
  for (const FontStandIn& font : kFontStandIns) {
    for (const char* face : font.faces) {
      if (!RunAndWait({"fc-list", "-q", face})) continue;
      text += std::string("\"") + font.name + "\"=\"" + face + "\"\r\n";
      any = true;
      break;
    }
  }
  if (!any) return {};
  std::string utf16 = "\xff\xfe";
  iconv_t convert = ::iconv_open("UTF-16LE", "UTF-8");
  if (convert == reinterpret_cast<iconv_t>(-1)) return {};
  std::vector<char> out(text.size() * 4);
  char* in = text.data();
  size_t in_left = text.size();
  char* at = out.data();
  size_t out_left = out.size();
  const size_t result = ::iconv(convert, &in, &in_left, &at, &out_left);
  ::iconv_close(convert);
  if (result == static_cast<size_t>(-1)) return {};
  return utf16 + std::string(out.data(), at);
}

// The same, asked of fontconfig once a run.
const std::string& FontReplacementsFile() {
  static const std::string file = MakeFontReplacementsFile();
  return file;
}

// Writes the font replacements into vnsetup's own Wine prefix (never into one the user set), once:
// again only when the faces installed have changed. Games name the Windows fonts, which a Wine on
// Linux lacks; without the replacements Wine enumerates none of them, gives a Mincho name a Gothic
// face, and outside a Japanese locale falls back to a Chinese variant.
void PrepareOwnWinePrefix(const fs::path& wine, const std::vector<std::string>& env) {
  if (!UserWinePrefix().empty()) return;
  const std::string& replacements = FontReplacementsFile();
  if (replacements.empty()) return;
  // The file as last imported, kept in the prefix: a prefix made afresh gets them again.
  const fs::path done = VnsetupDataFolder() / "wine" / "vnsetup-fonts.reg";
  std::error_code ec;
  try {
    if (fs::is_regular_file(done, ec) && ReadWholeFile(done, 1 << 16) == replacements) return;
    const fs::path file = TemporarySibling(VnsetupDataFolder() / "wine-fonts.reg");
    fs::create_directories(file.parent_path(), ec);
    WriteFileAtomically(file, replacements);
    if (RunAndWait({wine.string(), "reg", "import", file.string()}, &env)) {
      fs::rename(file, done, ec);
    }
    fs::remove(file, ec);
  } catch (const Exception&) {
    // the programs run all the same, with Wine's own choice of faces
  }
}

// This process's environment with the Wine locale variables in place of its own.
std::vector<std::string> JapaneseEnvironment() {
  const std::vector<std::string> locale = WineLocaleVariables();
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    bool replaced = false;
    for (const std::string& variable : locale) {
      replaced = replaced || entry.substr(0, entry.find('=')) == variable.substr(0, variable.find('='));
    }
    if (!replaced) env.emplace_back(entry);
  }
  env.insert(env.end(), locale.begin(), locale.end());
  return env;
}

// Starts `program` detached: a short-lived child opens a new session and forks the process that
// becomes the program, so nothing is left for us to reap but that child, whom we wait for at once.
// The grandchild reports a failed chdir or exec through a close-on-exec pipe; end of file means the
// program is running.
// `env`, when given, replaces this process's environment for the program.
int Spawn(const fs::path& program, const std::vector<std::string>& args, const fs::path& working_folder,
          const std::vector<std::string>* env = nullptr) {
  const ExecArguments exec(args, env);
  const char* wd = working_folder.empty() ? nullptr : working_folder.c_str();

  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return kShellOutOfResources;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return kShellOutOfResources;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on: the parent may have other threads.
    ::close(pipe_fds[0]);
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    SpawnFailure failure{kStageChdir, 0};
    if (wd && ::chdir(wd) != 0) {
      failure.error = errno;
    } else {
      ::execve(program.c_str(), exec.argv.data(), exec.envp);
      failure = {kStageExec, errno};
    }
    [[maybe_unused]] const ssize_t written = ::write(pipe_fds[1], &failure, sizeof failure);
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  SpawnFailure failure{};
  ssize_t n;
  while ((n = ::read(pipe_fds[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
  }
  ::close(pipe_fds[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return kShellOutOfResources;  // second fork failed
  if (n == 0) return kShellStarted;
  if (n != static_cast<ssize_t>(sizeof failure)) return kShellOutOfResources;
  return failure.stage == kStageChdir ? kShellPathNotFound : ExecErrorCode(failure.error);
}

}  // namespace

int ShellOpen(const fs::path& file, std::string_view params, const fs::path& working_folder) {
  std::error_code ec;
  const fs::path target = fs::absolute(file, ec);
  if (file.empty() || ec) return kShellFileNotFound;
  struct stat st;
  if (::stat(target.c_str(), &st) != 0) return MissingFileCode(target, errno);
  if (!working_folder.empty() && !fs::is_directory(working_folder, ec)) return kShellPathNotFound;

  if (IsProgram(target, st)) {
    std::vector<std::string> args{target.string()};
    for (std::string& a : SplitParameters(params)) args.push_back(std::move(a));
    return Spawn(target, args, working_folder);
  }
  if (IsWindowsProgram(target)) {
    const fs::path wine = Wine();
    if (wine.empty()) return kShellNoAssociation;
    std::vector<std::string> args{wine.string(), target.string()};
    for (std::string& a : SplitParameters(params)) args.push_back(std::move(a));
    const std::vector<std::string> env = JapaneseEnvironment();
    PrepareOwnWinePrefix(wine, env);
    const int result = Spawn(wine, args, working_folder, &env);
    return result == kShellFileNotFound ? kShellNoAssociation : result;
  }
  const fs::path opener = Opener();
  if (opener.empty()) return kShellNoAssociation;
  const int result = Spawn(opener, {opener.string(), target.string()}, working_folder);
  return result == kShellFileNotFound ? kShellNoAssociation : result;
}

std::vector<std::string> WineLocaleVariables() {
  std::vector<std::string> variables{std::string("LC_ALL=") + kJapaneseLocale,
                                     std::string("LANG=") + kJapaneseLocale};
  if (const std::optional<fs::path> locales = JapaneseLocaleFolder(); locales && !locales->empty())
    variables.push_back("LOCPATH=" + locales->string());
  const std::string prefix = UserWinePrefix();
  variables.push_back("WINEPREFIX=" + (prefix.empty() ? (VnsetupDataFolder() / "wine").string() : prefix));
  return variables;
}

std::string PrepareWindowsProgram(const fs::path& file) {
  if (!IsWindowsProgram(file)) return {};
  const fs::path wine = Wine();
  if (wine.empty()) return ShellOpenFailureHint(file, kShellNoAssociation);
  const std::vector<std::string> env = JapaneseEnvironment();
  PrepareOwnWinePrefix(wine, env);
  if (JapaneseLocaleFolder()) return {};
  return Tr(Msg::kNoJapaneseLocale);
}

std::string ShellOpenFailureHint(const fs::path& file, int result) {
  if (result != kShellNoAssociation || !IsWindowsProgram(file) || !Wine().empty()) return {};
  return Tr(Msg::kWineNeeded);
}

}  // namespace vn
