// The data-file steps of an install run: the destination's game.dat merged from each disc's
// archive, separate files written out, the result checked, and the update of an executable that
// carries its own archive (rebuilt in a work folder, checked, then copied over the old one).
#include <algorithm>
#include <cstdio>
#include <system_error>

#include "installer/install_run.h"
#include "installer/installation_files.h"
#include "messages/messages.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

// The work folder's copy of the executable without its archive: "~" + its name. (Built by appending:
// GCC 12 warns falsely on "~" + std::string.)
fs::path BareExeCopy(const fs::path& work_folder, const fs::path& exe) {
  std::string name("~");
  name += PathToUtf8(exe.filename());
  return work_folder / Utf8ToPath(name);
}

const DataString kProjectFile("vond.vpb");
const DataString kOriginalProjectFile("/original_vond.vpb");
constexpr int64_t kLargeEntry = 3145728;

std::string Format2(Msg format, int a, int b) {
  return Tr(format, {std::to_string(a), std::to_string(b)});
}

DataString ReadArchiveTitle(TMemoryStream& install_dat) {
  TVondInstallSet settings;
  settings.LoadFromStream(install_dat);
  return settings.Title;
}

// The name of the lock a run holds on its work folder: a folder nobody holds was left by a run that
// was stopped, and is cleared before use.
DataString WorkFolderLockName(const fs::path& folder) {
  std::string name = "vnsetup-work-" + PathToUtf8(folder);
  for (char& c : name) {
    if (c == '/' || c == '\\' || c == ':') c = '-';
  }
  return DataString(name);
}

}  // namespace

// Step P: the executable to update, and the work folder it is rebuilt in. A run in progress keeps
// its folder; one left by a run that was stopped (nobody holds its lock) is emptied and used again.
void InstallRun::PrepareUpdateTarget() {
  target_exe_ = FindArchiveExe(dest_, settings_.Title, ReadArchiveTitle);
  std::error_code ec;
  fs::path folder;
  for (int n = 1; n <= 1000; ++n) {
    const fs::path candidate = source_.temp_folder / (n == 1 ? "~vmupdate" : "~vmupdate" + std::to_string(n));
    std::optional<InstanceMutex> lock = CreateInstanceMutex(WorkFolderLockName(candidate));
    if (!lock) continue;  // another run works in it
    if (fs::exists(fs::symlink_status(candidate, ec)) && !DeleteFolderTree(candidate)) continue;
    folder = candidate;
    work_folder_lock_ = std::move(lock);
    break;
  }
  if (folder.empty() || !ForceDirectories(folder) || !fs::is_directory(folder, ec)) {
    throw Exception(std::string(Tr(Msg::kWorkFolderNotMade)) + "\r\n" +
                    PathToUtf8(source_.temp_folder / "~vmupdate"));
  }
  work_folder_ = folder;
}

// Step C. An update always brings data, so it gets a collection even without CheckData.
void InstallRun::PrepareDataCollection() {
  if (!choices_.check_data && !settings_.SeparateFiles && !settings_.UpdateMode) return;
  data_ = std::make_unique<TVrFileCollection>();
  if (!target_exe_.empty()) {
    data_->Open(work_folder_);  // no such file: an empty collection over the work folder's files
  } else {
    data_path_ = Folder().Anchor("game.dat");
    data_->Open(data_path_->path, true);
  }
  data_->OnProgress = [this](TVrFileCollection&, TVrFile& item, int64_t size, int32_t index, int32_t count,
                             bool& abort) { BuildProgress(item, size, index, count, abort); };
}

// Writes an entry into the work folder as the loose file the packer reads, and adds it to the data
// collection with the entry's fields.
void InstallRun::UnpackEntry(TVrFileCollection& from, TVrFile& entry, PathJoiner& work_folder) {
  const fs::path path = work_folder.Join(entry.Name());
  ForceDirectories(path.parent_path());
  {
    TFileStream file(path, FileAccess::kCreate);
    from.ReadEntry(file, entry.Name());
  }
  FileSetDate(path, entry.Time);
  TVrFile& added = data_->Add(entry.Name());
  added.Time = entry.Time;
  added.Size = entry.Size;
  added.Stored = entry.Stored;
  added.CRC = entry.CRC;
}

// Step M. False: the user aborted. After the last disc the data file is checked as it lies on disk,
// so the collection need not hold its entries then.
bool InstallRun::MergeDisc(bool last_disc) {
  if (!data_) return true;
  // Names beginning with '/' (the kept first project file, superseded entries) cannot be loose
  // files, so an executable's rebuilt archive does without them.
  if (target_exe_.empty() && data_->IndexOf(kOriginalProjectFile) < 0) {
    const int project = data_->IndexOf(kProjectFile);
    if (project >= 0) (*data_)[project].SetName(kOriginalProjectFile);
  }
  MakeFolders(dest_);
  if (!target_exe_.empty()) {
    PathJoiner work_folder(work_folder_);
    for (int i = 0; i < archive_.Count(); ++i) {
      TVrFile& entry = archive_[i];
      if (entry.Name() == TVrFileCollection::EofName() || entry.Separate) continue;
      if (Superseded(entry.Name())) continue;
      UnpackEntry(archive_, entry, work_folder);
    }
  } else {
    merge_progress_ = MergeProgress{copied_bytes_};
    bool added;
    try {
      added = data_->Merge(archive_, last_disc ? TVrFileCollection::AfterMerge::kClosed
                                               : TVrFileCollection::AfterMerge::kEntries);
    } catch (...) {
      merge_progress_.reset();
      throw;
    }
    if (!Aborted()) copied_bytes_ = merge_progress_->base + merge_progress_->announced;
    merge_progress_.reset();
    ShowProgress();
    host_.ProcessMessages();
    if (added) settings_.AddInstalledFile(DataString("game.ext"));
  }
  if (Aborted()) return false;
  if (choices_.check_data && !settings_.UpdateMode) settings_.DataInstalled = true;
  return true;
}

// Step O: the old executable's entries that the discs did not bring anew.
void InstallRun::TakeOverOldEntries() {
  TVrFileCollection old;
  old.Open(FindArchiveExe(dest_, settings_.Title, ReadArchiveTitle));
  PathJoiner work_folder(work_folder_);
  for (int i = 0; i < old.Count(); ++i) {
    TVrFile& entry = old[i];
    if (entry.Name() == TVrFileCollection::EofName() || data_->IndexOf(entry.Name()) >= 0) continue;
    if (Superseded(entry.Name())) continue;
    UnpackEntry(old, entry, work_folder);
  }
}

// Step S: entries flagged separate become files of the installation, checked against their CRC.
void InstallRun::WriteSeparateFiles() {
  const DataString exe_name =
      target_exe_.empty() ? DataString() : Utf8ToCp932(PathToUtf8(target_exe_.filename()));
  PathJoiner joiner(dest_);
  InstalledFileRecorder recorder(settings_);
  for (int i = 0; i < archive_.Count(); ++i) {
    TVrFile& entry = archive_[i];
    if (!entry.Separate || entry.Name() == DataString("install.dat")) continue;
    if (!exe_name.empty() && AnsiSameText(entry.Name(), exe_name)) continue;
    const fs::path target = joiner.Join(entry.Name());
    const std::optional<FolderEntry> there = Folder().Stat(Relative(target));
    if (there && there->kind == FolderEntry::Kind::kFile &&
        TimeToDosDateTime(static_cast<std::time_t>(there->modified / 1000000000)) >= entry.Time &&
        settings_.InstallType != 2) {
      recorder.Add(entry.Name());
      continue;
    }
    const fs::path relative = PrepareFile(target);
    TMemoryStream content;
    archive_.ReadEntry(content, entry.Name());
    if (entry.CRC != 0 && StreamCRC32(content) != entry.CRC) {
      throw Exception(Tr(Msg::kFileDamaged, {Cp932ToUtf8Lossy(entry.Name())}));
    }
    try {
      Folder().ReplaceFile(relative, [&](File& file) {
        file.Write(content.Memory(), content.GetSize());
        file.Sync();
        FileSetDate(file, entry.Time);
        return true;
      });
    } catch (const std::exception&) {
      throw Exception(PathToUtf8(target) + "\r\n" + Tr(Msg::kFileNotMade));
    }
    recorder.Add(entry.Name());
  }
}

// Step X: the bare executable (the disc's newer one, or the old one cut before its archive) with
// the rebuilt archive appended. False: the user aborted while it was packed.
bool InstallRun::RebuildTargetExe() {
  const DataString exe_name = Utf8ToCp932(PathToUtf8(target_exe_.filename()));
  const fs::path bare = BareExeCopy(work_folder_, target_exe_);
  if (archive_.IndexOf(exe_name) < 0) {
    if (ProgramLengthBeforeArchive(target_exe_) < 0) {
      throw EFormatError(PathToUtf8(target_exe_) + ": the archive trailer is missing");
    }
    CopyProgramAlone(target_exe_, bare);
  } else {
    TFileStream file(bare, FileAccess::kCreate);
    archive_.ReadEntry(file, exe_name);
  }
  const fs::path packed = work_folder_ / "~vdupdate.pak";
  bool complete;
  {
    TBigFileStream stream(packed, TBigFileStream::kCreate);
    complete = data_->SaveToStream(stream);
  }
  if (!complete && Aborted()) return false;
  AppendArchive(bare, packed);
  data_->Open(bare);
  return true;
}

// Step V. False: the check failed or was aborted. A collection that never got a data file (only
// separate files were installed) has nothing to check.
bool InstallRun::VerifyDataFile() {
  int bad = -1;
  bool intact;
  if (target_exe_.empty()) {
    // The merged collection has no end marker, and the check would pass over the last entry as if
    // it were one: the data file is read back through the side file just written, the directory
    // the game will read, entry by entry (the check needs no list of them).
    const ArchiveDirectoryReader* directory = data_->OpenDirectory(data_path_->path);
    if (data_->Stream() == nullptr || directory == nullptr) return true;
    host_.SetText(WizardControl::LabelCopyCap, Tr(Msg::kCheckingDataFiles));
    const int32_t count = directory->Count();
    intact = data_->VerifyDirectory(TVrCheckRules{}, &bad, nullptr, [&](int32_t index, int64_t) {
      bool abort = false;
      CheckProgress(index, count, abort);
      return abort;
    });
    // the damaged entry's name, from the directory read whole
    if (!intact && bad >= 0) data_->Open(data_path_->path, true);
  } else {
    if (data_->Stream() == nullptr) return true;
    data_->OnProgress = [this](TVrFileCollection&, TVrFile&, int64_t, int32_t index, int32_t count,
                               bool& abort) { CheckProgress(index, count, abort); };
    host_.SetText(WizardControl::LabelCopyCap, Tr(Msg::kCheckingDataFiles));
    intact = data_->Verify(&bad);
  }
  if (!intact) {
    std::string text = Tr(Msg::kDataFileBad);
    if (bad >= 0 && bad < data_->Count()) text += "\r\n(" + Cp932ToUtf8Lossy((*data_)[bad].Name()) + ")";
    host_.MessageDialog(DialogKind::kWarning, text, kButtonOK);
    host_.SetModalResult(mrAbort);
    return false;
  }
  return !Aborted();
}

// Step R.
void InstallRun::ReplaceTargetExe() {
  const fs::path bare = BareExeCopy(work_folder_, target_exe_);
  data_->Open(fs::path());  // the rebuilt executable is closed before it is copied
  // the old executable is kept aside until the run has finished
  const fs::path relative = PrepareFile(target_exe_);
  bool copied = false;
  try {
    copied = Folder().ReplaceFile(relative, [&](File& copy) { return CopyFileInto(bare, copy); });
  } catch (const Exception&) {
  }
  if (!copied) {
    throw Exception(Tr(Msg::kCannotCopyTo, {PathToUtf8(bare), PathToUtf8(target_exe_)}));
  }
}

// Step F: game.dat and its part files are files of the installation.
void InstallRun::RecordDataFile() {
  if (data_) {
    if (auto* stream = dynamic_cast<TBigFileStream*>(data_->Stream())) {
      for (int i = 0; i < stream->PartCount(); ++i) {
        DataString name;
        if (TryUtf8ToCp932(PathToUtf8(stream->PartFileName(i).filename()), name))
          settings_.AddInstalledFile(name);
      }
    }
  }
  CloseDataFile();
}

void InstallRun::BuildProgress(TVrFile&, int64_t size, int32_t index, int32_t count, bool& abort) {
  if (merge_progress_ && data_->Stream() != nullptr) {
    // What the data file has grown by is on disk; the size told is of bytes still to come.
    MergeProgress& merge = *merge_progress_;
    const int64_t at = data_->Stream()->GetPosition();
    if (merge.start < 0) merge.start = at;
    merge.announced += size;
    copied_bytes_ = merge.base + std::clamp<int64_t>(at - merge.start, 0, merge.announced);
  } else {
    copied_bytes_ += size;
  }
  PauseForTest("merge");
  if (index % 10 != 9 && size <= kLargeEntry) return;
  ShowProgress();
  host_.SetText(WizardControl::LabelCopy, Format2(Msg::kBuildingDataFile, index + 1, count));
  host_.ProcessMessages();
  abort = Aborted();
}

void InstallRun::CheckProgress(int32_t index, int32_t count, bool& abort) {
  PauseForTest("check");
  host_.SetProgressMax(count - 1);
  host_.SetProgressPosition(index);
  host_.SetText(WizardControl::LabelCopy, Format2(Msg::kCheckingDataFile, index + 1, count));
  host_.ProcessMessages();
  abort = Aborted();
}

}  // namespace vn
