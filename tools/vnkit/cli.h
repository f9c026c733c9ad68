// Shared pieces of the vnkit commands: registration, exit codes, and the progress bar.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
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

// Prints "vnkit: message" to stderr.
void PrintError(const std::string& message);

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
