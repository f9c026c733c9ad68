#include "launcher/entry_flow.h"

#include <cstring>
#include <memory>
#include <optional>

#include "archive/big_stream.h"
#include "archive/vr_files.h"
#include "launcher/entry_rules.h"
#include "launcher/shared_archive.h"
#include "messages/messages.h"
#include "platform/disc_files.h"
#include "platform/disc_image.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/mutex.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/special_folders.h"
#include "platform/system.h"
#include "platform/temporary_copy.h"
#include "settings/settings.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

const char kResourceName[] = "DUMMY";
const char kResourceType[] = "BINTYPE";

// The archive carried as a module resource begins with the archive's own magic "vf".
bool HasArchiveResource(const fs::path& exe) {
  try {
    TResourceStream resource(exe, kResourceName, kResourceType);
    char magic[2] = {};
    return resource.Read(magic, 2) == 2 && std::memcmp(magic, "vf", 2) == 0;
  } catch (const EFOpenError&) {
    return false;  // no such resource
  }
}

// An archive appended to the executable ends in the trailer's "vd".
bool HasArchiveTrailer(const fs::path& exe) {
  File file(exe, FileAccess::kRead);
  const int64_t size = file.Size();
  char magic[2] = {};
  return size >= 2 && file.ReadAt(size - 2, magic, 2) == 2 && std::memcmp(magic, "vd", 2) == 0;
}

bool IsExistingFile(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec) && !fs::is_directory(path, ec);
}

class EntryFlow {
 public:
  EntryFlow(const EntryEnvironment& env, LauncherUi& ui) : env_(env), ui_(ui) {}

  void Run() {
    if (!IsAdministrator()) {
      ui_.ShowSystemWarning(Tr(Msg::kRunAsAdministrator));
      return;
    }
    const fs::path launcher_folder = LauncherFolder(env_);
    // The archive an executable carries belongs to its own disc, not to one opened with --disc.
    if (env_.disc_folder.empty()) {
      in_resource_ = HasArchiveResource(env_.exe);
      in_trailer_ = !in_resource_ && HasArchiveTrailer(env_.exe);
    }

    settings_.SetRegistry(env_.registry);
    if (!LoadSettings(launcher_folder)) return;

    const std::string install_path = settings_.ReadValue("InstallPath", "");
    if (!install_path.empty() && MutexExists(InstallFolderMutexNameOfPath(install_path))) return;
    // Held until the end of this function, however it ends.
    std::optional<InstanceMutex> instance = CreateInstanceMutex(settings_.Title);
    if (!instance) return;

    LaunchRole role = DecideRole(settings_, HasArgument());
    if (env_.in_place) role = settings_.Installed ? LaunchRole::kUninstallWizard : LaunchRole::kInstallWizard;
    switch (role) {
      case LaunchRole::kCopyForUninstall:
        if (!StartTemporaryCopy()) {
          ui_.ShowWarning(Tr(Msg::kCannotCopyFile));
          return;
        }
        break;
      case LaunchRole::kUninstallWizard:
        if (!env_.in_place) RemoveTemporaryCopy(env_.exe);
        ui_.RunWizard(settings_);
        break;
      case LaunchRole::kInstallWizard:
      case LaunchRole::kStartMenu:
        if (!RunWithArchive(role)) return;
        break;
    }
    ReleaseInstanceMutex(instance);
    if (!launch_file_.empty()) {
      const int result = ShellOpen(launch_file_, launch_params_);
      if (result <= kShellErrorLimit) {
        std::string message = LaunchFailureMessage(result);
        const std::string hint = ShellOpenFailureHint(launch_file_, result);
        if (!hint.empty()) message += "\r\n\r\n" + hint;
        ui_.ShowWarning(message);
      } else if (!launch_folder_.empty()) {
        // Started, but a game that cannot work (a Windows game without a Japanese locale for Wine)
        // would otherwise just not appear.
        if (const std::string problem = PrepareWindowsProgram(launch_file_); !problem.empty())
          ui_.ShowWarning(problem);
      }
    }
  }

 private:
  bool HasArgument() const { return !env_.args.empty(); }

  // Reads install.dat from the archive at `archive_file` (or the executable's resource).
  void LoadFromArchive(const fs::path& archive_file, bool from_resource) {
    TVrFileCollection archive;
    if (from_resource) {
      archive.OpenResource(archive_file, kResourceName, kResourceType);
    } else {
      archive.Open(archive_file);
    }
    TMemoryStream stream;
    archive.ReadEntry(stream, DataString("install.dat"));
    settings_.LoadFromStream(stream);
  }

  bool LoadSettings(const fs::path& exe_folder) {
    source_path_ = HasArgument() ? Utf8ToPath(env_.args[0]) : exe_folder;
    if (in_resource_) {
      LoadFromArchive(env_.exe, true);
    } else if (in_trailer_) {
      LoadFromArchive(env_.exe, false);
    } else if (IsExistingFile(source_path_) && !LooksLikeDiscImage(source_path_)) {
      LoadFromArchive(source_path_, false);
    } else {
      // A disc folder, or a disc image read in place.
      disc_ = OpenDiscFiles(source_path_);
      if (!settings_.LoadFromDisc(*disc_)) {
        ui_.ShowWarning(Tr(Msg::kNoSettingsFile));
        return false;
      }
    }
    return true;
  }

  void OpenArchive(TVrFileCollection& archive) {
    if (in_resource_) {
      archive.OpenResource(env_.exe, kResourceName, kResourceType);
    } else if (in_trailer_) {
      archive.Open(env_.exe);
    } else if (!disc_) {
      archive.Open(source_path_);  // an archive file named on the command line
    } else if (settings_.UpdateMode) {
      // An update carries its data in its launcher: this executable, or that of the disc opened.
      if (env_.disc_folder.empty()) {
        archive.Open(env_.exe);
      } else {
        archive.Open(disc_, "install.exe");
      }
    } else {
      archive.Open(disc_, "game.dat");
    }
  }

  // The not-installed roles, with the archive open (and shared) for the whole of them. False when
  // the run ends with nothing to start.
  bool RunWithArchive(LaunchRole role) {
    auto archive = std::make_unique<TVrFileCollection>();
    SharedArchiveScope shared(archive.get());
    OpenArchive(*archive);
    if (role == LaunchRole::kInstallWizard) {
      if (!env_.in_place && RemovesOwnFile(settings_, role)) RemoveTemporaryCopy(env_.exe);
      ui_.RunWizard(settings_);
      if (!env_.in_place) RecordDiscDriveOfInstallation(source_path_);
      return true;
    }
    // A title whose key is not there yet (never installed) gets none from opening its menu: the key
    // would stay behind after an install that is aborted or fails, or a menu that is just closed.
    // The install records the drive once it has registered the installation.
    const fs::path launcher_folder = LauncherFolder(env_);
    if (settings_.RegistryKeyExists()) settings_.WriteValue("CDDrive", CdDriveOf(launcher_folder));
    int32_t choice = 0;
    if (!ui_.ShowStartMenu(settings_, choice)) return false;
    if (choice != 0) {
      if (settings_.SeparateFiles) {
        ui_.RunWizard(settings_);
        RecordDiscDriveOfInstallation(launcher_folder);
      } else if (!StartTemporaryCopy()) {
        ui_.ShowWarning(Tr(Msg::kCannotCopyFile));
        return false;
      }
      return true;
    }
    const std::string install_path = settings_.ReadValue("InstallPath", "");
    launch_file_ = JoinDataPath(Utf8ToPath(install_path), settings_.ExeName);
    launch_params_.clear();
    // Here the game starts in its own folder, as its menu entry starts it: games open their data by
    // relative names, and this run's working folder (the home folder when a file manager started
    // vnsetup) holds none of it. Windows keeps the shell's default.
    if (!kRunsWindowsProgramsNatively) launch_folder_ = launch_file_.parent_path();
    return true;
  }

  // After the install wizard: the installation it registered gets the drive of the disc it was made
  // from (the start menu records none for a title without a key).
  void RecordDiscDriveOfInstallation(const fs::path& disc) {
    if (!settings_.ReadValue("InstallPath", "").empty()) settings_.WriteValue("CDDrive", CdDriveOf(disc));
  }

  // Copies the executable into the temporary folder; the copy is started at the end with the
  // quoted folder of this executable (or of the disc this run is the launcher of). It works in the
  // temporary folder: a copy that uninstalls would otherwise inherit the install folder as its
  // working folder (a Start-menu link's), and Windows cannot remove a folder a process works in.
  bool StartTemporaryCopy() {
    const fs::path copy = MakeTemporaryCopy(env_.exe, env_.temp_folder);
    if (copy.empty()) return false;
    launch_file_ = copy;
    launch_folder_ = copy.parent_path();
    launch_params_ = '"';  // built by appending: GCC 12 warns falsely on "\"" + std::string
    launch_params_ += env_.disc_argument.empty() ? PathToUtf8(FolderWithDelimiter(LauncherFolder(env_)))
                                                 : env_.disc_argument;
    launch_params_ += '"';
    return true;
  }

  int ShellOpen(const fs::path& file, const std::string& params) {
    return env_.shell_open ? env_.shell_open(file, params, launch_folder_)
                           : vn::ShellOpen(file, params, launch_folder_);
  }

  const EntryEnvironment& env_;
  LauncherUi& ui_;
  TVondInstallSet settings_;
  bool in_resource_ = false;
  bool in_trailer_ = false;
  fs::path source_path_;
  std::shared_ptr<DiscFiles> disc_;  // the disc the settings came from, when they came from one
  fs::path launch_file_;
  std::string launch_params_;
  fs::path launch_folder_;  // the working folder of what is started; empty: this run's own
};

}  // namespace

fs::path LauncherFolder(const EntryEnvironment& env) {
  return env.disc_folder.empty() ? env.exe.parent_path() : env.disc_folder;
}

EntryEnvironment ProcessEnvironment(int argc, char** argv) {
  EntryEnvironment env;
  env.exe = OwnExecutablePath();
  if (env.exe.empty() && argc > 0) env.exe = fs::absolute(argv[0]);
  for (int i = 1; i < argc; ++i) env.args.emplace_back(argv[i]);
  env.temp_folder = TemporaryFolder();
  return env;
}

int RunEntryFlow(const EntryEnvironment& env, LauncherUi& ui) {
  EntryFlow(env, ui).Run();
  return 0;
}

}  // namespace vn
