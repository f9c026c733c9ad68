// Shared pieces of the vnkit commands: registration, exit codes, and the progress bar.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace vn::cli {

// Exit status of every command: 0 success, 1 a negative answer (damage found), 2 an error.
enum ExitCode : int { kOk = 0, kNegative = 1, kError = 2 };

// A command group adds its subcommands to the app. Each subcommand sets its callback to a
// function returning an exit code through SetResult.
using Registrar = void (*)(CLI::App& app);

// Registers a command group at static-initialisation time; `order` sorts the groups in --help.
struct RegisterCommands {
  RegisterCommands(int order, Registrar registrar);
};

// Runs every registered group on app (used by main and by the tests of the commands).
void AddAllCommands(CLI::App& app);

// Records the exit status the running subcommand decided on.
void SetResult(int code);
int Result();

// Sets up parsing and help for the whole command tree (main and the tests of the commands build
// the app the same way): arguments beginning with '/' are never options, every command is listed
// once in the top-level help, and each runnable command records its name for the messages.
void ConfigureApp(CLI::App& app);
// The runnable command being parsed or run ("list", "settings show"), empty before one is known.
const std::string& CommandName();

// "1 entry", "2 entries": a count with its noun in the number it takes.
std::string Counted(int64_t count, const char* one, const char* many);

// What went wrong, in words: the message of the project's own errors (which name their file), and for
// a failure from elsewhere (the standard library, the JSON parser) what it means, not the library's
// terms ("not enough memory", not "std::bad_alloc").
std::string Worded(const std::exception& e);

// Prints "vnkit COMMAND: message" to stderr (an error or a warning).
void PrintError(const std::string& message);

// An output file that a command replaces as a whole (written under a temporary name and renamed over
// it): refused when it is a pipe, a device or a socket, or read-only, which is how a user keeps a file
// from being changed (on Windows the rename fails on such a file too).
void CheckReplaceableOutput(const std::filesystem::path& path);
// True for the null device (/dev/null; NUL on Windows): output named so is made and dropped, as
// other tools do, instead of being refused as a device.
bool IsNullDevice(const std::filesystem::path& path);

// -v and -q of the commands that have them: kVerbose lists each entry as it goes, kQuiet prints
// nothing but errors.
enum class Verbosity { kNormal, kVerbose, kQuiet };
void AddVerbosityFlags(CLI::App& command, const char* verbose_help = "one line per entry as it goes",
                       const char* quiet_help = "print nothing but errors");
Verbosity CurrentVerbosity();
// A line on stdout unless -q was given.
void Say(const std::string& line);
// A line on stdout with -v only.
void SayVerbose(const std::string& line);
// Standard output carries data (an archive or an entry's content): Say and SayVerbose go to stderr.
void KeepStdoutForData();

// A progress bar on stderr, drawn only when stderr is a terminal; at most a few redraws a second.
class ProgressBar {
 public:
  explicit ProgressBar(std::string label, int64_t total);
  ~ProgressBar();
  void Update(int64_t done);
  void Finish();

 private:
  std::string label_;
  int64_t total_;
  bool enabled_;
  bool finished_ = false;
  int64_t last_draw_ms_ = -1;
};

}  // namespace vn::cli
