#include "app/unattended_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/disc_source.h"
#include "launcher/entry_flow.h"
#include "platform/disc_files.h"
#include "platform/paths.h"
#include "ui/console/unattended.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFooter = R"(
Runs the installer of the disc in SOURCE (a disc folder, a disc image -- ISO 9660 / Joliet / UDF
.iso, raw .bin, .cue, .nrg, .ccd/.img -- or the disc's game.dat; default: the folder of this
program), or the uninstaller when SOURCE (default: this program's folder) holds an installed copy. Unattended runs work in place: no start menu, no temporary copy of the launcher.

Dialogs are answered without a user:
  warnings with only OK                OK (printed)
  "insert disc N"                      looked for beside this disc, at the --disc places and among
                                       the images in --disc folders (checked before copying); not
                                       found: stop, exit 2
  a file that cannot be copied         abort, exit 1
  "abort the installation?"            No
  the licence agreement                needs --accept-license, else exit 2
  other questions (e.g. too little     not answered: stop before anything is copied, exit 2
  free space, go on?)
  Ctrl-C, SIGTERM, SIGHUP              abort: what the install made is removed, exit 1 (a second
                                       one ends the program at once)

Progress goes to stderr (a bar on a terminal); a completed install prints the install folder on
stdout.
Exit codes: 0 done, 1 aborted or failed, 2 bad usage or a question that needs a user.

The program's texts are in Japanese, or in English where the system's language (LANGUAGE, LC_ALL,
LC_MESSAGES, LANG; on Windows the user's display language) is another: --lang ja|en or VNSETUP_LANG=ja|en
chooses. Texts of the disc (title, licence, readme) are shown as stored.

Without --unattended, in a window: `vnsetup --disc DIR|IMAGE` shows the start menu of the disc in
DIR or in the disc image, as that disc's own launcher would; `vnsetup SOURCE` runs its installer.)";

}  // namespace

bool WantsUnattended(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--unattended") return true;
  }
  return argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h");
}

int RunUnattendedCommand(int argc, char** argv) {
  CLI::App cli("vnsetup: installs or uninstalls the game of a disc; with --unattended, without a window.",
               "vnsetup");
  cli.footer(kFooter);
  bool unattended = false;
  std::string source, folder;
  std::vector<std::string> components, discs;
  UnattendedOptions options;
  cli.add_flag("--unattended", unattended, "run without a window (required for every option below)")
      ->required();
  cli.add_option("SOURCE", source,
                 "the disc folder, disc image or game.dat (install), or the install folder (uninstall)")
      ->check(CLI::ExistingPath);
  cli.add_option("--folder", folder, "the install folder (default: the wizard's proposal)");
  cli.add_option("--components", components, "data,sound,movie: the parts to install (default: all)")
      ->delimiter(',')
      ->allow_extra_args(false)  // a following SOURCE is no component
      ->check(CLI::IsMember({"data", "sound", "movie"}));
  cli.add_flag("--this-disc-only", options.this_disc_only, "install this disc only, not the whole set");
  cli.add_flag("--accept-license", options.accept_license, "accept the licence agreement the game shows");
  cli.add_option("--disc", discs,
                 "the folder or image of a further disc (repeatable), tried in turn when a disc is "
                 "not found beside this one")
      ->allow_extra_args(false)
      ->check(CLI::ExistingPath);
  cli.add_flag("--delete-save-data", options.delete_save_data, "uninstall: delete the save data as well");
  cli.add_flag("--replace-existing", options.replace_existing,
               "install into a folder that holds files of the game's names, replacing them");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = cli.exit(e);
    return code == 0 ? 0 : kUnattendedUsage;
  }

  EntryEnvironment env = ProcessEnvironment(1, argv);
  // Disc images are read in place; a damaged one is refused before anything else happens.
  try {
    if (!source.empty()) {
      // Absolute, so that the discs beside it are found from a relative name too.
      const fs::path disc = fs::absolute(Utf8ToPath(source));
      CheckDiscImage(disc);
      env.args.push_back(PathToUtf8(disc));
    }
    for (const std::string& disc : discs) {
      const fs::path place = Utf8ToPath(disc);
      CheckDiscImage(place);
      if (!IsDiscLocation(place)) {
        std::fprintf(stderr, "vnsetup: --disc %s: no disc folder and no disc image\n", disc.c_str());
        return kUnattendedUsage;
      }
      options.disc_folders.push_back(place);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vnsetup: %s\n", e.what());
    return kUnattendedFailed;
  }
  if (!folder.empty()) options.folder = Utf8ToPath(folder);
  if (!components.empty()) {
    options.data = options.sound = options.movie = false;
    for (const std::string& name : components) {
      (name == "data" ? options.data : name == "sound" ? options.sound : options.movie) = true;
    }
  }
  return RunUnattended(env, options);
}

}  // namespace vn
