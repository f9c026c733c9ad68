// vnkit: the toolkit for people who work with the game discs (archives, settings files, pictures).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/console.h"
#include "platform/error.h"
#include "tools/vnkit/cli.h"

namespace {

using CommandList = std::vector<std::pair<std::string, std::string>>;

// Every runnable command (the leaves of the subcommand tree) with its description.
void CollectCommands(const CLI::App& app, const std::string& prefix, CommandList& out) {
  const auto all = [](const CLI::App*) { return true; };
  for (const CLI::App* sub : app.get_subcommands(all)) {
    const std::string name = prefix + sub->get_name();
    if (sub->get_subcommands(all).empty()) {
      out.emplace_back(name, sub->get_description());
    } else {
      CollectCommands(*sub, name + " ", out);
    }
  }
}

// The top-level help lists whole commands ("settings show"), not only the groups.
std::string CommandsFooter(const CLI::App& app) {
  CommandList commands;
  CollectCommands(app, "", commands);
  size_t width = 0;
  for (const auto& [name, text] : commands) width = std::max(width, name.size());
  std::string out = "Commands:\n";
  for (const auto& [name, text] : commands) {
    out += "  " + name + std::string(width - name.size() + 3, ' ') + text + "\n";
  }
  out +=
      "\nRun \"vnkit COMMAND --help\" for the arguments of a command. Exit status: 0 success,\n"
      "1 a negative answer (damage found), 2 an error (message on stderr).";
  return out;
}

// The first argument that names no command where one is expected ("vnkit lsit"), or empty.
std::string UnknownCommand(CLI::App& app, const std::vector<std::string>& args, std::string& where) {
  CLI::App* at = &app;
  for (size_t i = 1; i < args.size(); ++i) {
    const auto subs = at->get_subcommands([](CLI::App*) { return true; });
    if (subs.empty() || args[i].empty() || args[i][0] == '-') return {};
    CLI::App* next = nullptr;
    for (CLI::App* sub : subs) {
      if (sub->check_name(args[i])) next = sub;
    }
    if (next == nullptr) return args[i];
    where += " " + next->get_name();
    at = next;
  }
  return {};
}

// What a command printed may still sit in stdout's buffer: a listing that cannot be written (a full
// disk, a closed file) is a failed run, not a successful one. A run that failed has said why already
// (the same write failure, often), so it is not told twice.
int WithStdoutWritten(int result) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return result;
  if (result != vn::cli::kOk) return result;
  const int error = errno;
  vn::cli::PrintError(std::string("standard output: cannot write") +
                      (error != 0 ? std::string(": ") + std::strerror(error) : std::string()));
  return vn::cli::kError;
}

// The file the running command is about: the first argument of the command that was parsed
// ("standard input" for "-"), empty when there is none.
std::string CommandSubject(const CLI::App& app) {
  for (const CLI::App* sub : app.get_subcommands()) {
    if (!sub->get_subcommands().empty()) return CommandSubject(*sub);
    for (const CLI::Option* option : sub->get_options()) {
      if (option->get_positional() && !option->results().empty()) {
        const std::string& first = option->results().front();
        return first == "-" ? "standard input" : first;
      }
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  vn::PrepareStandardStreams();
  // UTF-8 arguments on every system (on Windows not the ANSI code page's), parsed from here on.
  std::vector<std::string> args = vn::CommandLineArguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& a : args) utf8_argv.push_back(a.data());
  argc = static_cast<int>(utf8_argv.size());
  argv = utf8_argv.data();
  CLI::App app{"vnkit - archives, settings files and pictures of vnsetup game discs", "vnkit"};
  app.set_version_flag("--version", std::string("vnkit ") + VN_VERSION);
  app.require_subcommand(1);
  vn::cli::AddAllCommands(app);
  vn::cli::ConfigureApp(app);
  app.footer([&app] { return CommandsFooter(app); });
  if (argc < 2) {
    // no command at all: show what there is rather than a bare complaint
    std::fputs(app.help().c_str(), stderr);
    return vn::cli::kError;
  }
  std::string where = "vnkit";
  const std::string unknown = UnknownCommand(app, args, where);
  if (!unknown.empty()) {
    std::fprintf(stderr, "%s: unknown command \"%s\" (\"%s --help\" lists the commands)\n", where.c_str(),
                 unknown.c_str(), where.c_str());
    return vn::cli::kError;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return WithStdoutWritten(app.exit(e));  // --help and --version
  } catch (const CLI::ParseError& e) {
    // a usage mistake is an error, reported like every other one
    vn::cli::PrintError(std::string(e.what()) + " (\"vnkit " +
                        (vn::cli::CommandName().empty() ? "" : vn::cli::CommandName() + " ") +
                        "--help\" shows the arguments)");
    return vn::cli::kError;
  } catch (const vn::Exception& e) {
    vn::cli::PrintError(e.what());  // the project's own errors name their file and say what is wrong
    return WithStdoutWritten(vn::cli::kError);
  } catch (const std::bad_alloc&) {
    // what the input asked for could not be had; said in words, not as the exception's type
    const std::string subject = CommandSubject(app);
    vn::cli::PrintError((subject.empty() ? "" : subject + ": ") +
                        "not enough memory for what the input asks for");
    return WithStdoutWritten(vn::cli::kError);
  } catch (const std::exception& e) {
    const std::string subject = CommandSubject(app);
    vn::cli::PrintError((subject.empty() ? "" : subject + ": ") + vn::cli::Worded(e));
    return WithStdoutWritten(vn::cli::kError);
  } catch (...) {
    const std::string subject = CommandSubject(app);
    vn::cli::PrintError((subject.empty() ? "" : subject + ": ") + "failed unexpectedly");
    return WithStdoutWritten(vn::cli::kError);
  }
  return WithStdoutWritten(vn::cli::Result());
}
