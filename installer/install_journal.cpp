#include "installer/install_journal.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <system_error>

#include "archive/big_stream.h"
#include "archive/vr_files.h"
#include "installer/installation_files.h"
#include "installer/shell_link.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr char kRecordHeader[] = "vnsetup installation record 1";
constexpr char kKeptSuffix[] = ".vnsetup-kept";
constexpr int64_t kMaxJournal = 64 << 20;

// "tag\tpath" lines; a line cut short by a kill (no newline) is left out.
std::vector<std::pair<std::string, fs::path>> ParseLines(const std::string& text) {
  std::vector<std::pair<std::string, fs::path>> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || tab + 1 == line.size()) continue;
    try {
      lines.emplace_back(line.substr(0, tab), Utf8ToPath(line.substr(tab + 1)));
    } catch (const Exception&) {
    }
  }
  return lines;
}

std::string ReadIn(const FolderHandle& folder, const char* name) {
  File file = folder.OpenFile(name, FileAccess::kRead);
  const int64_t size = file.Size();
  if (size > kMaxJournal) throw EFormatError(PathToUtf8(folder.PathOf(name)) + ": too large");
  std::string text(static_cast<size_t>(size), '\0');
  if (file.Read(text.data(), size) != size) throw EReadError(PathToUtf8(folder.PathOf(name)) + ": cut short");
  return text;
}

std::string Line(const char* tag, const fs::path& path) {
  return std::string(tag) + "\t" + PathToUtf8(path) + "\n";
}

// A modification time in nanoseconds since 1970 (FolderEntry::modified) as the file system's time.
fs::file_time_type FileTimeOf(int64_t ns) {
  using namespace std::chrono;
  return time_point_cast<fs::file_time_type::duration>(
      fs::file_time_type::clock::from_sys(sys_time<nanoseconds>(nanoseconds(ns))));
}

size_t Depth(const fs::path& p) {
  return static_cast<size_t>(std::distance(p.begin(), p.end()));
}

template <typename Paths>
std::vector<fs::path> DeepestFirst(const Paths& paths) {
  std::vector<fs::path> sorted(paths.begin(), paths.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const fs::path& a, const fs::path& b) { return Depth(a) > Depth(b); });
  return sorted;
}

// The parts of the data file `data` (relative) that exist in `folder`.
std::vector<fs::path> DataParts(const FolderHandle& folder, const fs::path& data) {
  std::vector<fs::path> parts;
  for (const fs::path& file : {data, DirectoryFileOf(data)}) {
    if (folder.Stat(file)) parts.push_back(file);
  }
  for (int n = 1;; ++n) {
    const fs::path part = PartFileOf(data, n);
    if (!folder.Stat(part)) break;
    parts.push_back(part);
  }
  return parts;
}

}  // namespace

void RemoveMenuFolderIfEmpty(const fs::path& folder) {
  std::error_code ec;
  if (!IsRealFolder(folder) || !fs::is_empty(folder, ec) || ec) return;
  TShellLink link;
  link.LinkType = kProgramGroupType;
  link.SubDir = PathToUtf8(folder.filename());
  if (link.LinkFolder() == folder) {
    link.RemoveFolder();
  } else {
    fs::remove(folder, ec);
  }
}

std::optional<InstallRecord> InstallRecord::Load(const FolderHandle& folder) {
  const std::optional<FolderEntry> entry = folder.Stat(kRecordName);
  if (!entry || entry->kind != FolderEntry::Kind::kFile) return std::nullopt;
  const std::string text = ReadIn(folder, kRecordName);
  if (text.compare(0, sizeof kRecordHeader - 1, kRecordHeader) != 0) {
    throw EFormatError(PathToUtf8(folder.PathOf(kRecordName)) + ": not an installation record");
  }
  InstallRecord record;
  for (const auto& [tag, path] : ParseLines(text)) {
    if (tag == "file") record.files.insert(path);
    if (tag == "folder") record.folders.insert(path);
    if (tag == "parent" && path.is_absolute()) record.parents.insert(path);
    if (tag == "menu" && path.is_absolute()) record.menu_files.insert(path);
    if (tag == "menu-folder" && path.is_absolute()) record.menu_folder = path;
  }
  return record;
}

void InstallRecord::Save(const FolderHandle& folder) const {
  std::string text = std::string(kRecordHeader) + "\n";
  for (const fs::path& p : parents) text += Line("parent", p);
  for (const fs::path& p : folders) text += Line("folder", p);
  for (const fs::path& p : files) text += Line("file", p);
  if (menu_folder) text += Line("menu-folder", *menu_folder);
  for (const fs::path& p : menu_files) text += Line("menu", p);
  folder.WriteFile(kRecordName, text);
}

void InstallRecord::Merge(const InstallRecord& other) {
  files.insert(other.files.begin(), other.files.end());
  folders.insert(other.folders.begin(), other.folders.end());
  parents.insert(other.parents.begin(), other.parents.end());
  menu_files.insert(other.menu_files.begin(), other.menu_files.end());
  if (!menu_folder) menu_folder = other.menu_folder;
}

InstallJournal::InstallJournal(const fs::path& folder) : path_(FolderWithoutDelimiter(folder)) {
  fs::path existing = path_;
  std::error_code ec;
  while (existing.has_relative_path() && !fs::exists(fs::symlink_status(existing, ec))) {
    existing = existing.parent_path();
  }
  const FolderHandle base = FolderHandle::Open(existing);
  std::vector<fs::path> made;
  folder_ = base.OpenFolder(
      path_.lexically_relative(existing) == "." ? fs::path() : path_.lexically_relative(existing), true,
      &made);
  Load();
  journal_ = folder_.OpenFile(kJournalName, FileAccess::kReadWrite);
  journal_->Seek(journal_->Size());
  for (const fs::path& rel : made) Note("parent", existing / rel);
}

InstallJournal::InstallJournal(FolderHandle folder, const fs::path& path)
    : path_(path), folder_(std::move(folder)) {
  Load();
}

void InstallJournal::Load() {
  if (!folder_.Stat(kJournalName)) {
    folder_.CreateNewFile(kJournalName);
    return;
  }
  for (const auto& [tag, path] : ParseLines(ReadIn(folder_, kJournalName))) {
    if (tag == "parent" && path.is_absolute()) parents_.push_back(path);
    if (path.is_absolute() || path.empty()) {
      if (tag == "menu") menu_files_.push_back(path);
      if (tag == "menu-folder") menu_folder_ = path;
      continue;
    }
    if (tag == "folder") folders_.push_back(path);
    if (tag == "file") written_.insert(path);
    if (tag == "kept" || tag == "kept-data") kept_.push_back(path);
    if (tag == "kept-data") kept_data_.insert(path);
    if (tag == "data") data_file_ = path;
    // only the data file's parts, in their order: nothing else is ever cut
    GrownPart part{path};
    if (std::sscanf(tag.c_str(), "grown:%" SCNd64 ":%" SCNd64, &part.size, &part.modified) == 2 &&
        path == PartFileOf("game.dat", static_cast<int>(grown_.size())) && part.size >= 0)
      grown_.push_back(part);
  }
}

void InstallJournal::Note(const char* tag, const fs::path& path) {
  const std::string line = Line(tag, path);
  journal_->Write(line.data(), static_cast<int64_t>(line.size()));
  if (std::string_view(tag) == "parent") parents_.push_back(path);
  if (std::string_view(tag) == "folder") folders_.push_back(path);
}

fs::path InstallJournal::KeptName(const fs::path& relative) {
  fs::path kept = relative;
  kept += kKeptSuffix;
  return kept;
}

void InstallJournal::MakeFolders(const fs::path& relative) {
  std::vector<fs::path> made;
  folder_.OpenFolder(relative, true, &made);
  for (const fs::path& rel : made) Note("folder", rel);
}

void InstallJournal::CheckFolderInPlace(const fs::path& relative_folder) const {
  const FolderHandle held = folder_.OpenFolder(relative_folder);
  if (IdentityOf(path_ / relative_folder) != held.Identity()) {
    throw Exception(PathToUtf8(path_) + ": the install folder was moved or replaced during the install");
  }
}

fs::path InstallJournal::PrepareFile(const fs::path& relative) {
  MakeFolders(relative.parent_path());
  CheckFolderInPlace(relative.parent_path());
  if (written_.count(relative)) return relative;
  if (const std::optional<FolderEntry> there = folder_.Stat(relative);
      there && there->kind != FolderEntry::Kind::kFolder) {
    const fs::path kept = KeptName(relative);
    if (folder_.Stat(kept)) {
      throw Exception(PathToUtf8(path_ / relative) + " cannot be kept aside: " + PathToUtf8(path_ / kept) +
                      " exists");
    }
    Note("kept", relative);
    folder_.Rename(relative, kept);
    kept_.push_back(relative);
  }
  Note("file", relative);
  written_.insert(relative);
  return relative;
}

void InstallJournal::PrepareDataFile() {
  CheckFolderInPlace(fs::path());
  const std::vector<fs::path> parts = DataParts(folder_, "game.dat");
  // A folder cannot be replaced by the data file, nor be put back once it was: the user's folder
  // stays where it is, and the run does not start.
  for (const fs::path& part : parts) {
    if (const std::optional<FolderEntry> entry = folder_.Stat(part);
        entry && entry->kind == FolderEntry::Kind::kFolder) {
      throw EPathError(PathToUtf8(path_ / part) + ": a folder has the name of the data file");
    }
  }
  for (const fs::path& part : parts) {
    if (data_file_) {
      folder_.RemoveFile(part);  // written by the run this one follows
    } else {
      const fs::path kept = KeptName(part);
      if (folder_.Stat(kept)) throw Exception(PathToUtf8(path_ / part) + " cannot be kept aside");
      Note("kept-data", part);
      folder_.Rename(part, kept);
      kept_.push_back(part);
      kept_data_.insert(part);
    }
  }
  if (!data_file_) {
    Note("data", "game.dat");
    data_file_ = fs::path("game.dat");
  }
}

void InstallJournal::PrepareDataFileToGrow() {
  CheckFolderInPlace(fs::path());
  const fs::path data("game.dat");
  if (data_file_ || !grown_.empty()) return;  // the stopped run this one follows journalled it
  const std::optional<FolderEntry> there = folder_.Stat(data);
  if (!there || there->kind != FolderEntry::Kind::kFile) return PrepareDataFile();
  const fs::path side("game.ext");
  if (const std::optional<FolderEntry> entry = folder_.Stat(side);
      entry && entry->kind == FolderEntry::Kind::kFile) {
    const fs::path kept = KeptName(side);
    if (folder_.Stat(kept)) throw Exception(PathToUtf8(path_ / side) + " cannot be kept aside");
    Note("kept-data", side);
    folder_.ReplaceFile(kept, [&](File& copy) {
      File from = folder_.OpenFile(side, FileAccess::kRead);
      CopyFileContent(from, copy, from.Size());
      copy.Sync();
      FileSetPermissions(copy, static_cast<fs::perms>(entry->mode));
      FileSetModified(copy, FileTimeOf(entry->modified));
      return true;
    });
    kept_.push_back(side);
    kept_data_.insert(side);
  }
  for (int n = 0;; ++n) {
    const fs::path part = PartFileOf(data, n);
    const std::optional<FolderEntry> entry = folder_.Stat(part);
    if (!entry || entry->kind != FolderEntry::Kind::kFile) break;
    Note(("grown:" + std::to_string(entry->size) + ":" + std::to_string(entry->modified)).c_str(), part);
    grown_.push_back({part, entry->size, entry->modified});
  }
}

// The parts of a grown data file back to their sizes and times; the parts added after them go.
void InstallJournal::CutGrownPartsBack() {
  if (grown_.empty()) return;
  for (const GrownPart& part : grown_) {
    if (!folder_.Stat(part.name)) continue;
    File file = folder_.OpenFile(part.name, FileAccess::kReadWrite);
    file.SetSize(part.size);
    FileSetModified(file, FileTimeOf(part.modified));
  }
  for (int n = static_cast<int>(grown_.size()); folder_.Stat(PartFileOf("game.dat", n)); ++n) {
    folder_.RemoveFile(PartFileOf("game.dat", n));
  }
}

void InstallJournal::NoteMenuFile(const fs::path& file) {
  if (std::find(menu_files_.begin(), menu_files_.end(), file) != menu_files_.end()) return;
  Note("menu", file);
  menu_files_.push_back(file);
}

void InstallJournal::NoteMenuFolder(const fs::path& folder) {
  if (menu_folder_) return;
  Note("menu-folder", folder);
  menu_folder_ = folder;
}

InstallJournal::Undone InstallJournal::RollBack() {
  Undone undone;
  // A folder on the way that became a link since holds nothing this run made there: passed over.
  const auto unless_link = [](const auto& work) {
    try {
      work();
    } catch (const EPathError&) {
    }
  };
  const auto remove = [&](const fs::path& file) {
    unless_link([&] {
      if (folder_.Stat(file) && folder_.RemoveFile(file)) ++undone.files;
    });
  };
  for (const fs::path& file : menu_files_) DeleteFileIfExists(file);
  if (menu_folder_) RemoveMenuFolderIfEmpty(*menu_folder_);
  if (data_file_) {
    for (const fs::path& part : DataParts(folder_, *data_file_)) remove(part);
  }
  CutGrownPartsBack();
  const std::set<fs::path> kept(kept_.begin(), kept_.end());
  for (const fs::path& file : written_) {
    // A name journalled as kept whose kept copy is missing was never moved: it is the user's file.
    unless_link([&] {
      if (!kept.count(file) || folder_.Stat(KeptName(file))) remove(file);
    });
  }
  for (const fs::path& file : kept_) {
    unless_link([&] {
      if (folder_.Stat(KeptName(file))) folder_.Rename(KeptName(file), file);
    });
  }
  // a kept copy whose making was cut short leaves a temporary too
  std::vector<fs::path> temporaries_of = KeptNames();
  temporaries_of.insert(temporaries_of.end(), written_.begin(), written_.end());
  RemoveStaleTemporaries(folder_, temporaries_of);
  journal_.reset();
  folder_.RemoveFile(kJournalName);
  for (const fs::path& folder : DeepestFirst(folders_)) unless_link([&] { folder_.RemoveFolder(folder); });
  folder_ = FolderHandle();  // a folder held open cannot be removed on Windows
  RemoveFoldersIfEmpty(std::set<fs::path>(parents_.begin(), parents_.end()));
  std::error_code ec;
  undone.folder = std::find(parents_.begin(), parents_.end(), path_) != parents_.end() &&
                  !fs::exists(fs::symlink_status(path_, ec));
  return undone;
}

void InstallJournal::Commit() {
  InstallRecord record;
  record.files = written_;
  if (data_file_) {
    for (const fs::path& part : DataParts(folder_, *data_file_)) record.files.insert(part);
  }
  record.folders.insert(folders_.begin(), folders_.end());
  for (const fs::path& parent : parents_) {
    if (parent == path_) {
      record.folders.insert(".");
    } else {
      record.parents.insert(parent);
    }
  }
  record.menu_files.insert(menu_files_.begin(), menu_files_.end());
  record.menu_folder = menu_folder_;
  try {
    if (const std::optional<InstallRecord> earlier = InstallRecord::Load(folder_)) record.Merge(*earlier);
  } catch (const Exception&) {
    // an unreadable earlier record: this run's own stands
  }
  CheckFolderInPlace(fs::path());
  record.Save(folder_);
  // A kept file goes once the game's file took its place; one that nothing replaced comes back. The
  // parts of a data file go as a whole: one left beside the new data file would be read as its part.
  for (const fs::path& file : kept_) {
    if (!folder_.Stat(KeptName(file))) continue;
    if (folder_.Stat(file) || kept_data_.count(file)) {
      folder_.RemoveFile(KeptName(file));
    } else {
      folder_.Rename(KeptName(file), file);
    }
  }
  RemoveStaleTemporaries(folder_, KeptNames());  // the written files' are the installation's
  journal_.reset();
  folder_.RemoveFile(kJournalName);
}

std::vector<fs::path> InstallJournal::KeptNames() const {
  std::vector<fs::path> names;
  for (const fs::path& file : kept_) names.push_back(KeptName(file));
  return names;
}

bool InstallJournal::RollBackLeftOver(const FolderHandle& folder) {
  if (!folder.Stat(kJournalName)) return false;
  InstallJournal left(folder.OpenFolder(fs::path()), folder.Path());
  left.RollBack();
  return true;
}

}  // namespace vn
