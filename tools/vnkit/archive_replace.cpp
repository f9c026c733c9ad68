#include "tools/vnkit/archive_replace.h"

#include <system_error>

#include "archive/big_stream.h"
#include "archive/vr_files.h"
#include "installer/installation_files.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "tools/vnkit/unfinished_files.h"

namespace vn::cli {

namespace fs = std::filesystem;

namespace {

fs::path WorkFolderOf(const fs::path& target) {
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::string name = ".";  // built in place: GCC 12 warns falsely of overlap on "." + string
  name += PathToUtf8(target.filename());
  name += ".vnkit-replace";
  return folder / Utf8ToPath(name);
}
// In the work folder: the new archive and the old one with their parts, the old side file, and the
// mark that every old file has been moved aside.
fs::path NewPart(const fs::path& folder, int i) {
  return PartFileOf(folder / "new.dat", i);
}
fs::path OldPart(const fs::path& folder, int i) {
  return PartFileOf(folder / "old.dat", i);
}
fs::path OldSide(const fs::path& folder) {
  return folder / "old-directory";
}
fs::path OldAsideMark(const fs::path& folder) {
  return folder / "old-aside";
}
fs::path LockOf(const fs::path& folder) {
  return folder / "lock";
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

void Rename(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (ec)
    throw EWriteError(PathToUtf8(from) + ": cannot be renamed to " + PathToUtf8(to) + ": " + ec.message());
  PauseForTest("vnkit-replace");
}

void Remove(const fs::path& path) {
  std::error_code ec;
  if (!fs::remove(path, ec) && ec)
    throw EWriteError(PathToUtf8(path) + ": cannot be removed: " + ec.message());
}

// The side file that belongs to the target, when there is one apart from the target itself.
fs::path SideFileOf(const fs::path& target) {
  const fs::path side = DirectoryFileOf(target);
  std::error_code ec;
  return Exists(side) && !fs::equivalent(side, target, ec) ? side : fs::path();
}

// Brings the target to one whole archive and removes the work folder: the new archive is kept when
// all of it was moved into place (the old files all aside and the new part 0, moved last, gone from
// the folder); otherwise the old files go back where they were and what came in beside them goes.
void Settle(const fs::path& folder, const fs::path& target) {
  const bool old_aside = Exists(OldAsideMark(folder));
  if (!old_aside || Exists(NewPart(folder, 0))) {
    for (int i = 0;; ++i) {
      const fs::path old = OldPart(folder, i), current = PartFileOf(target, i);
      if (Exists(old)) {
        Rename(old, current);
      } else if (old_aside && Exists(current)) {
        Remove(current);  // a new part moved in
      } else if (!Exists(current) && !Exists(NewPart(folder, i))) {
        break;
      }
    }
    if (Exists(OldSide(folder))) Rename(OldSide(folder), DirectoryFileOf(target));
  }
  std::error_code ec;
  fs::remove_all(folder, ec);
  if (ec) throw EWriteError(PathToUtf8(folder) + ": cannot be removed: " + ec.message());
}

// The work folder's lock, held by the run that works in it; an empty File when another run holds it.
File ClaimLock(const fs::path& folder) {
  File lock(LockOf(folder), Exists(LockOf(folder)) ? FileAccess::kReadWrite : FileAccess::kCreate);
  if (!lock.TryClaimForWriting()) return File();
  return lock;
}

}  // namespace

void SettleReplacement(const fs::path& target) {
  const fs::path folder = WorkFolderOf(target);
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(folder, ec))) return;
  File lock = ClaimLock(folder);
  if (!lock.IsOpen()) return;  // another run is replacing the archive now
  lock.Close();
  Settle(folder, target);
}

ArchiveReplacement::ArchiveReplacement(const fs::path& target)
    : target_(target), folder_(WorkFolderOf(target)), new_archive_(NewPart(folder_, 0)) {
  SettleReplacement(target);
  std::error_code ec;
  if (!fs::create_directory(folder_, ec)) {
    if (!ec) {
      throw EFOpenError(PathToUtf8(target) + ": being replaced by another run (" + PathToUtf8(folder_) +
                        " is in use); try again when it is done");
    }
    throw EWriteError(PathToUtf8(folder_) + ": cannot create the work folder: " + ec.message());
  }
  // (A run that settles the folder before the lock is held removes it; this one then fails to make
  // the lock, before it has touched anything.)
  lock_ = File(LockOf(folder_), FileAccess::kCreate);
  lock_.TryClaimForWriting();
  // Ctrl-C while the new archive is written leaves the old one as it was, and nothing beside it.
  RemoveOnSignal(TemporaryUse::kOutput, new_archive_, LockOf(folder_), folder_);
}

ArchiveReplacement::~ArchiveReplacement() {
  if (committed_) return;
  NoLongerRemoveOnSignal(TemporaryUse::kOutput);
  lock_.Close();
  std::error_code ec;
  RemoveDataFile(new_archive_);
  fs::remove_all(folder_, ec);
}

void ArchiveReplacement::Commit() {
  // The renames run to the end even when a signal comes meanwhile; a kill is settled by the next run.
  SignalsHeld held;
  NoLongerRemoveOnSignal(TemporaryUse::kOutput);
  int old_parts = 0, new_parts = 0;
  while (Exists(PartFileOf(target_, old_parts))) ++old_parts;
  while (Exists(NewPart(folder_, new_parts))) ++new_parts;
  try {
    for (int i = old_parts - 1; i >= 0; --i) Rename(PartFileOf(target_, i), OldPart(folder_, i));
    const fs::path side = SideFileOf(target_);
    if (!side.empty()) Rename(side, OldSide(folder_));
    File(OldAsideMark(folder_), FileAccess::kCreate).Sync();
    for (int i = new_parts - 1; i >= 0; --i) {
      // the places were emptied just before: whatever appeared there meanwhile is not ours to replace
      if (Exists(PartFileOf(target_, i))) {
        throw EWriteError(PathToUtf8(PartFileOf(target_, i)) +
                          ": appeared while the archive was being replaced; the old archive is kept");
      }
      Rename(NewPart(folder_, i), PartFileOf(target_, i));
    }
  } catch (...) {
    lock_.Close();
    try {
      Settle(folder_, target_);
    } catch (const std::exception&) {
      // the next run settles it; the error that stopped the replacement is the one to report
    }
    committed_ = true;  // nothing of the folder is left to remove
    throw;
  }
  committed_ = true;
  lock_.Close();
  std::error_code ec;
  fs::remove_all(folder_, ec);  // the old files; the next run clears what is left
}

}  // namespace vn::cli
