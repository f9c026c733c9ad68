// The safety of an install run: the checks made before anything is written, and the roll-back of
// what the run made when it is aborted or fails.
#include <algorithm>
#include <cstdio>
#include <system_error>

#include "archive/big_stream.h"
#include "archive/stream.h"
#include "installer/install_run.h"
#include "installer/installation_files.h"
#include "installer/program_list_entry.h"
#include "messages/messages.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/program_list.h"

namespace vn {
namespace fs = std::filesystem;

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
  throw EFOpenError(
      Tr(Msg::kDiscFileMissing, {std::to_string(disc + 1), PathToUtf8(source_.source_folder / "game.dat")}));
}

void InstallRun::MakeFolders(const fs::path& folder) {
  try {
    journal_->MakeFolders(Relative(folder));
  } catch (const Exception& e) {
    throw Exception(std::string(Tr(Msg::kFolderNotMade)) + "\r\n" + PathToUtf8(folder) + "\r\n" + e.what());
  }
}

fs::path InstallRun::Relative(const fs::path& file) const {
  const std::optional<fs::path> rel = RelativeInside(FolderWithoutDelimiter(dest_), file);
  if (!rel) throw EPathError(PathToUtf8(file) + ": not inside the install folder");
  return *rel == "." ? fs::path() : *rel;
}

fs::path InstallRun::PrepareFile(const fs::path& file) {
  return journal_->PrepareFile(Relative(file));
}

void InstallRun::WriteSettings(const TVondInstallSet& settings, const fs::path& file) {
  const fs::path relative = PrepareFile(file);
  TMemoryStream content;
  settings.SaveToStream(content);
  Folder().WriteFile(relative, std::string_view(static_cast<const char*>(content.Memory()),
                                                static_cast<size_t>(content.GetSize())));
}

void InstallRun::CloseDataFile() {
  data_.reset();
  data_path_.reset();
}

void InstallRun::LockInstallFolder() {
  folder_lock_ = LockFolderForRun(dest_);
}

// Puts the install folder back as it was before the run: what it wrote and made goes, what it
// replaced comes back. An earlier data file the run replaced comes back too.
InstallRun::RolledBack InstallRun::RollBack() {
  RolledBack removed;
  CloseDataFile();  // the data file is closed before it is deleted
  if (made_program_entry_) {
    try {
      RemoveFromProgramList(ProgramListKey(settings_));
    } catch (const Exception&) {
    }
  }
  if (!journal_) return removed;
  try {
    const InstallJournal::Undone undone = journal_->RollBack();
    removed.files = undone.files;
    removed.folder = undone.folder;
  } catch (const Exception&) {
    // what could not be put back stays journalled for the next run
  }
  journal_.reset();
  return removed;
}

}  // namespace vn
