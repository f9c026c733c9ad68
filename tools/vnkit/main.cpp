// vnkit: the toolkit for people who work with the game discs (archives, settings files, pictures).
#include <exception>

#include "tools/vnkit/cli.h"

int main(int argc, char** argv) {
  CLI::App app{"vnkit - archives, settings files and pictures of vnsetup game discs"};
  app.set_version_flag("--version", std::string("vnkit ") + VN_VERSION);
  app.require_subcommand(1);
  vn::cli::AddAllCommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    // --help and --version end with success; a usage mistake is an error
    return code == 0 ? 0 : vn::cli::kError;
  } catch (const std::exception& e) {
    vn::cli::PrintError(e.what());
    return vn::cli::kError;
  }
  return vn::cli::Result();
}
