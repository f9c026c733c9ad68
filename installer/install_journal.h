// What an install run made and what it replaced in its install folder, written down as it happens,
// so that an abort, a failure, or a run killed and started again puts the folder back as it was;
// and, once the install succeeded, the record the uninstall works from. Internal to the installer
// library.
//
// File work goes through a handle of the install folder opened once: a folder swapped for a link
// mid-run is noticed before the next write, and the roll-back removes what the run made where it
// made it. A file the run replaces is first renamed aside in its own folder and renamed back on a
// roll-back, so it returns with its content, mode and time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/folder_handle.h"

namespace vn {

// The name of the journal in the install folder while a run is under way.
inline constexpr char kJournalName[] = "install.journal";
// The record of a finished installation, beside its install.dat.
inline constexpr char kRecordName[] = "uninstall.log";

// The record of an installation: what it made, as made.
struct InstallRecord {
  std::set<std::filesystem::path> files;             // relative to the install folder
  std::set<std::filesystem::path> folders;           // relative; the install folder itself is "."
  std::set<std::filesystem::path> parents;           // folders above the install folder it made (absolute)
  std::set<std::filesystem::path> menu_files;        // program-menu entries it wrote (absolute)
  std::optional<std::filesystem::path> menu_folder;  // the program group's folder, when it made it

  // Reads `folder`/uninstall.log; none when there is none (an installation of an earlier version).
  static std::optional<InstallRecord> Load(const FolderHandle& folder);
  void Save(const FolderHandle& folder) const;
  void Merge(const InstallRecord& other);
};

// Removes the program group's folder `folder` when it is empty, with the menu files that show it.
void RemoveMenuFolderIfEmpty(const std::filesystem::path& folder);

class InstallJournal {
 public:
  // Opens the install folder `folder`, making it and its missing parents (journalled), and takes up
  // the journal a stopped run left there. EPathError / EFOpenError when it cannot be opened.
  explicit InstallJournal(const std::filesystem::path& folder);

  const FolderHandle& Folder() const { return folder_; }

  // Makes the folder `relative` (and those on its way) inside the install folder.
  void MakeFolders(const std::filesystem::path& relative);
  // Readies the file `relative` to be written: its folders made, a file or link of that name that
  // this run did not write renamed aside, the name journalled as written, after checking that the
  // install folder's path still leads to the folder that is open (Exception otherwise). Returns
  // `relative`, to be written through Folder().
  std::filesystem::path PrepareFile(const std::filesystem::path& relative);
  // The data file and its parts (game.dat, game.ext, game.NNN): the existing ones are renamed aside
  // unless this run (or the stopped one it follows) wrote them, and the set is journalled as written.
  void PrepareDataFile();
  // The data file an update appends to in place: the size and time of each of its parts are
  // journalled and its side file (game.ext) copied aside, so that a roll-back cuts the parts back,
  // removes the parts the run added and puts the side file back. Without a data file there, as
  // PrepareDataFile.
  void PrepareDataFileToGrow();

  // A program-menu entry about to be written (absolute), and the program group's folder when the
  // run is about to make it.
  void NoteMenuFile(const std::filesystem::path& file);
  void NoteMenuFolder(const std::filesystem::path& folder);

  // What a roll-back took away: the files this run had written, and whether the install folder
  // went too (this run made it).
  struct Undone {
    int files = 0;
    bool folder = false;
  };
  // Puts back every kept file, removes what the run wrote and the folders it made (when empty),
  // and the journal.
  Undone RollBack();
  // The install succeeded: the record (merged with an earlier installation's) is written, the kept
  // files go, and the journal goes.
  void Commit();

  // A journal left in `folder` by a run that was stopped: rolled back (for the uninstall of an
  // installation whose reinstall was killed). False when there was none.
  static bool RollBackLeftOver(const FolderHandle& folder);

 private:
  InstallJournal(FolderHandle folder, const std::filesystem::path& path);
  void Note(const char* tag, const std::filesystem::path& path);
  void Load();
  void CheckFolderInPlace(const std::filesystem::path& relative_folder) const;
  static std::filesystem::path KeptName(const std::filesystem::path& relative);
  // The names of the files kept aside (whose copies, made for an update's side file, are written
  // through a temporary).
  std::vector<std::filesystem::path> KeptNames() const;

  std::filesystem::path path_;
  FolderHandle folder_;
  std::optional<File> journal_;
  std::vector<std::filesystem::path> parents_;  // made above the install folder, outermost first
  std::vector<std::filesystem::path> folders_;  // made inside, outermost first
  std::set<std::filesystem::path> written_;
  std::vector<std::filesystem::path> kept_;
  std::set<std::filesystem::path> kept_data_;  // parts of the data file among them
  std::vector<std::filesystem::path> menu_files_;
  std::optional<std::filesystem::path> menu_folder_;
  std::optional<std::filesystem::path> data_file_;  // game.dat, when the run writes the data file
  // The parts of a data file an update appends to, as they were: name, size, modification time.
  struct GrownPart {
    std::filesystem::path name;
    int64_t size = 0;
    int64_t modified = 0;
  };
  std::vector<GrownPart> grown_;
  void CutGrownPartsBack();
};

}  // namespace vn
