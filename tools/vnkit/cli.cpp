#include "tools/vnkit/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <new>
#include <system_error>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "tools/vnkit/json_text.h"

namespace vn::cli {

namespace {

std::vector<std::pair<int, Registrar>>& Registry() {
  static std::vector<std::pair<int, Registrar>> registry;
  return registry;
}

int g_result = kOk;
std::string g_command;
bool g_verbose = false;
bool g_quiet = false;
bool g_stdout_is_data = false;

// Every runnable command (a leaf of the subcommand tree) with its full name.
void ForEachCommand(CLI::App& app, const std::string& prefix,
                    const std::function<void(CLI::App&, const std::string&)>& fn) {
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    const std::string name = prefix + sub->get_name();
    if (sub->get_subcommands([](CLI::App*) { return true; }).empty()) {
      fn(*sub, name);
    } else {
      ForEachCommand(*sub, name + " ", fn);
    }
  }
}

void NoWindowsStyleOptions(CLI::App& app) {
  app.allow_windows_style_options(false);
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) NoWindowsStyleOptions(*sub);
}

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

RegisterCommands::RegisterCommands(int order, Registrar registrar) {
  Registry().emplace_back(order, registrar);
}

void AddAllCommands(CLI::App& app) {
  auto groups = Registry();
  std::stable_sort(groups.begin(), groups.end(), [](auto& a, auto& b) { return a.first < b.first; });
  for (auto& [order, registrar] : groups) registrar(app);
}

void ConfigureApp(CLI::App& app) {
  // CLI11 takes "/name" for an option on Windows; here it is a superseded entry or an absolute path.
  NoWindowsStyleOptions(app);
  ForEachCommand(app, "", [](CLI::App& command, const std::string& name) {
    command.preparse_callback([name](size_t) { g_command = name; });
  });
  // main's footer lists every command with its description; the groups are not listed again.
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) sub->group("");
}

const std::string& CommandName() {
  return g_command;
}

void AddVerbosityFlags(CLI::App& command, const char* verbose_help, const char* quiet_help) {
  command.add_flag("-v,--verbose", g_verbose, verbose_help);
  command.add_flag("-q,--quiet", g_quiet, quiet_help);
}

Verbosity CurrentVerbosity() {
  if (g_quiet) return Verbosity::kQuiet;
  return g_verbose ? Verbosity::kVerbose : Verbosity::kNormal;
}

void KeepStdoutForData() {
  g_stdout_is_data = true;
}

void Say(const std::string& line) {
  if (CurrentVerbosity() != Verbosity::kQuiet)
    std::fprintf(g_stdout_is_data ? stderr : stdout, "%s\n", line.c_str());
}

void SayVerbose(const std::string& line) {
  if (CurrentVerbosity() == Verbosity::kVerbose) Say(line);
}

void SetResult(int code) {
  g_result = code;
}
int Result() {
  return g_result;
}

void CheckReplaceableOutput(const std::filesystem::path& path) {
  RefuseToReplaceSpecialFile(path);
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec) && IsReadOnly(path))
    throw EFOpenError(PathToUtf8(path) + ": read-only; it is not replaced (make it writable first)");
}

bool IsNullDevice(const std::filesystem::path& path) {
#ifdef _WIN32
  return SameNameIgnoringCase(PathToUtf8(path.filename()), "NUL") && !path.has_parent_path();
#else
  struct stat it {
  }, null{};
  return ::stat(path.c_str(), &it) == 0 && S_ISCHR(it.st_mode) && ::stat("/dev/null", &null) == 0 &&
         it.st_rdev == null.st_rdev;
#endif
}

std::string Counted(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Worded(const std::exception& e) {
  if (dynamic_cast<const Exception*>(&e)) return e.what();
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "not enough memory";
  if (const auto* fs_error = dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
    std::string text = fs_error->code().message();
    if (!fs_error->path1().empty()) text += " (" + PathToUtf8(fs_error->path1()) + ")";
    return text;
  }
  if (const auto* system_error = dynamic_cast<const std::system_error*>(&e))
    return system_error->code().message();
  if (const auto* json_error = dynamic_cast<const nlohmann::json::exception*>(&e))
    return JsonErrorText(*json_error);
  return std::string("failed unexpectedly (") + e.what() + ")";
}

void PrintError(const std::string& message) {
  const std::string prefix = g_command.empty() ? "vnkit" : "vnkit " + g_command;
  std::fprintf(stderr, "%s: %s\n", prefix.c_str(), message.c_str());
}

ProgressBar::ProgressBar(std::string label, int64_t total)
    : label_(std::move(label)),
      total_(total),
      enabled_(isatty(STDERR_FILENO) == 1 && CurrentVerbosity() == Verbosity::kNormal) {}

ProgressBar::~ProgressBar() {
  Finish();
}

void ProgressBar::Update(int64_t done) {
  if (!enabled_ || finished_) return;
  const int64_t now = NowMs();
  if (last_draw_ms_ >= 0 && now - last_draw_ms_ < 100 && done < total_) return;
  last_draw_ms_ = now;
  const double fraction = total_ > 0 ? std::clamp(double(done) / double(total_), 0.0, 1.0) : 1.0;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '-');
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), static_cast<int>(fraction * 100));
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!enabled_ || finished_) return;
  if (last_draw_ms_ >= 0) {
    last_draw_ms_ = -1;
    Update(total_);
    std::fputc('\n', stderr);
  }
  finished_ = true;
}

}  // namespace vn::cli
