// The safety of an install run: the checks made before anything is written, and the roll-back of
// what the run made when it is aborted or fails.
#include <algorithm>
#include <cstdio>
#include <system_error>

#include "archive/big_stream.h"
#include "installer/install_run.h"
#include "installer/installation_files.h"
#include "installer/program_list_entry.h"
#include "installer/shell_link.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/program_list.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

void InstallRun::CheckBeforeCopying() {
  settings_.CheckForInstall();
  CheckNameInFolder("ExeName", settings_.ExeName);
  CheckNameInFolder("ReadmeName", settings_.ReadmeName);
  CheckDiscArchive(settings_.DiscIndex);
  CheckSeparateNames();
}

void InstallRun::CheckNameInFolder(const char* field, const DataString& name) const {
  if (name.empty()) return;
  try {
    JoinDataPath(dest_, name);
  } catch (const Exception& e) {
    throw EFormatError(std::string("install.dat: ") + field + " \"" + Cp932ToUtf8Lossy(name) +
                       "\" names no file inside the install folder (" + e.what() + ")");
  }
}

// The entries the disc's archive writes out as files of the installation.
void InstallRun::CheckSeparateNames() const {
  if (!settings_.SeparateFiles) return;
  for (int i = 0; i < archive_.Count(); ++i) {
    const TVrFile& entry = archive_[i];
    if (!entry.Separate || entry.Name() == DataString("install.dat")) continue;
    try {
      JoinDataPath(dest_, entry.Name());
    } catch (const Exception& e) {
      throw EFormatError(PathToUtf8(source_.source_folder / "game.dat") + ": the entry \"" +
                         Cp932ToUtf8Lossy(entry.Name()) + "\" names no file inside the install folder (" +
                         e.what() + ")");
    }
  }
}

void InstallRun::CheckDiscArchive(int32_t disc) const {
  if (!choices_.check_data && !settings_.UpdateMode) return;
  const std::vector<int64_t>& sizes = settings_.DiscDataSize;
  if (disc < 0 || static_cast<size_t>(disc) >= sizes.size() || sizes[disc] <= 0) return;
  if (archive_.Stream() != nullptr) return;
  char number[32];
  std::snprintf(number, sizeof number, "ディスク%d: ", disc + 1);
  throw EFOpenError(number + PathToUtf8(source_.source_folder / "game.dat") +
                    ":ファイルがありません (the data of this disc cannot be installed)");
}

bool InstallRun::MakeFolders(const fs::path& folder) {
  std::vector<fs::path> missing;
  for (fs::path p = FolderWithoutDelimiter(folder); p.has_relative_path() && !Exists(p);
       p = p.parent_path()) {
    missing.push_back(p);
  }
  const bool made = ForceDirectories(folder);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (IsRealFolder(*it)) new_folders_.insert(*it);
  }
  return made;
}

void InstallRun::NoteNewFile(const fs::path& file) {
  if (!Exists(file)) new_files_.push_back(file);
}

std::vector<fs::path> InstallRun::DataFileParts() const {
  const fs::path data = dest_ / "game.dat";
  std::vector<fs::path> parts;
  for (const fs::path& file : {data, DirectoryFileOf(data)}) {
    if (Exists(file)) parts.push_back(file);
  }
  for (int n = 1;; ++n) {
    const fs::path part = PartFileOf(data, n);
    if (!Exists(part)) break;
    parts.push_back(part);
  }
  return parts;
}

// Removes the files and folders this run made (with the temporaries of those files); files that
// were there before it, replaced or not, stay. An earlier data file the run removed stays removed.
InstallRun::RolledBack InstallRun::RollBack() {
  RolledBack removed;
  data_.reset();  // the data file is closed before it is deleted
  if (made_shortcuts_) {
    try {
      DeleteShortcutFolder(kProgramGroupType, Cp932ToUtf8Lossy(settings_.Title));
    } catch (const Exception&) {
    }
  }
  if (made_program_entry_) {
    try {
      RemoveFromProgramList(ProgramListKey(settings_));
    } catch (const Exception&) {
    }
  }
  std::vector<fs::path> written = new_files_;
  for (const fs::path& part : DataFileParts()) {
    if (!std::binary_search(files_before_.begin(), files_before_.end(), part)) written.push_back(part);
  }
  for (auto it = written.rbegin(); it != written.rend(); ++it) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(*it, ec);
    if (!fs::exists(status) || fs::is_directory(status)) continue;
    if (DeleteFileIfExists(*it)) ++removed.files;
  }
  RemoveStaleTemporaries(written);
  RemoveFoldersIfEmpty(new_folders_);
  std::error_code ec;
  const fs::path folder = FolderWithoutDelimiter(dest_);
  removed.folder = new_folders_.count(folder) > 0 && !fs::exists(fs::symlink_status(folder, ec));
  return removed;
}

}  // namespace vn
