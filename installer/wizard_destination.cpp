// The destination page "seldir": the proposed folder, the product's sub-folder kept on any folder
// picked in the list, the free space of the drive, the required space, and the check on leaving.
//
// Drives are mount points here: the "drive" of a folder is the root of the file system it lies on,
// and free space is measured on the folder's own file system.
#include <cstdio>
#include <optional>
#include <system_error>

#include "archive/vr_files.h"
#include "installer/install_journal.h"
#include "installer/installation_files.h"
#include "installer/wizard_flow.h"
#include "messages/messages.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/volumes.h"
#include "settings/settings.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr char kProgramFilesTag[] = "<ProgramFiles>";
constexpr int64_t kMiB = 1048576;

// The system's folder delimiter in native text: '\\' on Windows, '/' elsewhere.
constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);

bool IsSeparator(char c) {
  return c == '/' || c == kSeparator;
}

// A stored folder name (code page 932, '\\' between folders) as native text with the system's
// delimiter.
std::string NativeFolderText(const DataString& stored) {
  std::string text = Cp932ToUtf8Lossy(stored);
  for (char& c : text) {
    if (c == '\\' || c == '/') c = kSeparator;
  }
  return text;
}

void RemoveLeadingSeparator(std::string& s) {
  if (!s.empty() && IsSeparator(s.front())) s.erase(0, 1);
}

void RemoveTrailingSeparator(std::string& s) {
  if (s.size() > 1 && IsSeparator(s.back())) s.pop_back();
}

bool IsFolder(const std::string& text) {
  std::error_code ec;
  return !text.empty() && fs::is_directory(Utf8ToPath(text), ec);
}

// True when an existing part of `folder` (the folder itself or one of its parents) is anything but a
// folder, or a link to nothing: a file there cannot become the install folder, and the copy would
// fail on it.
bool PassesThroughNonFolder(const fs::path& folder) {
  fs::path walk;
  std::error_code ec;
  for (const fs::path& part : folder) {
    walk /= part;
    const fs::file_status status = fs::status(walk, ec);
    if (!fs::exists(status)) return fs::is_symlink(fs::symlink_status(walk, ec));  // else still to be made
    if (!fs::is_directory(status)) return true;
  }
  return false;
}

// The path with links resolved as far as it exists, for comparing places.
fs::path Resolved(const fs::path& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(path, ec);
  if (ec) resolved = path.lexically_normal();
  return FolderWithoutDelimiter(resolved);
}

// True when both name one existing folder, however spelt (a link, a bind mount, another case).
bool SameFolder(const fs::path& a, const fs::path& b) {
  if (a == b) return true;
  const std::optional<FileIdentity> x = IdentityOf(a), y = IdentityOf(b);
  return x && y && *x == *y;
}

// True when `inner` lies below `outer` (not when both are the same folder): by the spelling, or by
// the identity of one of the folders above `inner`.
bool IsBelow(const fs::path& inner, const fs::path& outer) {
  if (const std::optional<fs::path> rel = RelativeInside(outer, inner); rel && *rel != ".") return true;
  const std::optional<FileIdentity> target = IdentityOf(outer);
  if (!target) return false;
  for (fs::path p = inner.parent_path(); p.has_relative_path(); p = p.parent_path()) {
    if (IdentityOf(p) == target) return true;
  }
  return false;
}

// `folder` itself when it exists, else its nearest existing parent; empty when none exists.
fs::path NearestExistingFolder(fs::path folder) {
  std::error_code ec;
  while (!folder.empty() && !fs::is_directory(folder, ec)) {
    const fs::path parent = folder.parent_path();
    folder = parent == folder ? fs::path() : parent;
  }
  return folder;
}

// The settings file in `folder` when there is one; damaged files raise as in the update check.
std::optional<TVondInstallSet> SettingsIn(const fs::path& folder) {
  std::error_code ec;
  const fs::path file = FileInFolder(folder, "install.dat");
  if (!fs::is_regular_file(file, ec)) return std::nullopt;
  TVondInstallSet settings;
  settings.LoadFromFile(file);
  return settings;
}

// A disc folder of the game carries its install.dat, which no installation marked as installed. The
// root counts too: a disc in a drive has its install.dat there.
bool IsInsideDiscOf(const fs::path& folder, const DataString& title) {
  for (fs::path p = folder.parent_path(); !p.empty(); p = p.parent_path()) {
    try {
      if (const auto settings = SettingsIn(p); settings && !settings->Installed && settings->Title == title)
        return true;
    } catch (const Exception&) {
    }
    if (!p.has_relative_path()) break;
  }
  return false;
}

}  // namespace

void TWizardFlow::SetUpDestination() {
  std::string folder = settings_.ReadValue("InstallPath", "");
  if (!IsFolder(folder)) {
    const DataString& preset = settings_.DefaultFolder;
    const std::string tag = kProgramFilesTag;
    if (preset.bytes().compare(0, tag.size(), tag) == 0) {
      folder_suffix_ = NativeFolderText(DataString(preset.bytes().substr(tag.size())));
      RemoveLeadingSeparator(folder_suffix_);
      RemoveTrailingSeparator(folder_suffix_);
      std::string base = PathToUtf8(GetSpecialFolder(kCsidlProgramFiles));
      RemoveTrailingSeparator(base);
      folder = base + kSeparator + folder_suffix_;
    } else {
      // Without the tag the preset lies on the system drive, whose stand-in is the home folder.
      folder_suffix_ = NativeFolderText(preset);
      RemoveLeadingSeparator(folder_suffix_);
      std::string base = PathToUtf8(GetSystemDrive());
      RemoveTrailingSeparator(base);
      folder = base + kSeparator + folder_suffix_;
      RemoveLeadingSeparator(folder_suffix_);
      RemoveTrailingSeparator(folder_suffix_);
    }
  }
  RemoveTrailingSeparator(folder);
  controls_.EditDir = folder;
  // An existing folder was found, so browsing from it adds nothing.
  if (IsFolder(folder)) folder_suffix_.clear();
  controls_.Drive = MountPointOf(Utf8ToPath(folder));

  // The list shows the nearest existing folder, while EditDir keeps the whole proposal: that folder
  // plus the sub-folder would repeat a part of the sub-folder that exists already (Games/Games/Foo)
  // or drop a Program Files folder that does not exist yet (~/Foo instead of ~/Games/Foo). Folders
  // picked in the list later get the sub-folder appended as usual.
  if (fs::path shown = NearestExistingFolder(Utf8ToPath(folder)); !shown.empty()) controls_.Directory = shown;
}

void TWizardFlow::DirectoryChange(const fs::path& folder) {
  controls_.Directory = folder;
  controls_.EditDir = folder_suffix_.empty() || settings_.UpdateMode
                          ? PathToUtf8(folder)
                          : PathToUtf8(FolderWithDelimiter(folder)) + folder_suffix_;
  UpdateDriveSpace();
}

void TWizardFlow::EditDirChange() {
  // The drive and folder lists follow a typed folder: its drive, and the nearest part of it that
  // exists. EditDir keeps what was typed.
  const fs::path typed = Utf8ToPath(controls_.EditDir).lexically_normal();
  if (typed.is_absolute()) {
    if (const fs::path shown = NearestExistingFolder(typed); !shown.empty()) {
      controls_.Directory = shown;
      controls_.Drive = MountPointOf(shown);
    }
  }
  UpdateDriveSpace();
}

void TWizardFlow::DriveChange(const fs::path& drive) {
  // The folder list is bound to the drive list: it moves to the new drive's root first.
  controls_.Drive = drive;
  DirectoryChange(drive);
}

int64_t TWizardFlow::FreeMegabytes(const fs::path& path) const {
  const int64_t bytes = FreeSpaceOf(path);
  return bytes > 0 ? bytes / kMiB : 0;
}

void TWizardFlow::UpdateDriveSpace() {
  const int64_t n = FreeMegabytes(DestinationFolder());
  controls_.LabelSzDrv = Tr(Msg::kDriveFree, {FormatThousands(n)});
}

void TWizardFlow::UpdateSizes() {
  const TVondInstallSet& s = settings_;
  if (s.UpdateMode) {
    required_bytes_ = s.ProgSize + s.DataSize + s.SoundSize + s.MovieSize;
  } else {
    const bool all = controls_.RadioDiskAll || s.InstallType == 1;
    required_bytes_ = all ? s.ProgSize : DiscEntry(s.DiscProgSize);
    if (controls_.CheckData) required_bytes_ += all ? s.DataSize : DiscEntry(s.DiscDataSize);
    if (controls_.CheckSound) required_bytes_ += all ? s.SoundSize : DiscEntry(s.DiscSoundSize);
    if (controls_.CheckMovie) required_bytes_ += all ? s.MovieSize : DiscEntry(s.DiscMovieSize);
  }
  char megabytes[64];
  std::snprintf(megabytes, sizeof megabytes, "%2.2f", static_cast<double>(required_bytes_) / kMiB);
  controls_.LabelSize = Tr(Msg::kSizeNeeded, {megabytes});
  controls_.LabelSzNeed = Tr(Msg::kInstallNeeds, {megabytes});
}

fs::path TWizardFlow::DestinationFolder() const {
  return FolderWithDelimiter(settings_.InstallType == 2 ? WindowsFolder() : Utf8ToPath(controls_.EditDir));
}

bool TWizardFlow::HoldsInstallationToUpdate(const fs::path& folder) const {
  std::error_code ec;
  const fs::path settings_file = folder / "install.dat";
  if (fs::exists(settings_file, ec)) {
    TVondInstallSet installed;
    installed.LoadFromFile(settings_file);
    return installed.Title == settings_.Title;
  }
  const TArchiveTitleReader title_of = [](TMemoryStream& install_dat) {
    TVondInstallSet carried;
    carried.LoadFromStream(install_dat);
    return carried.Title;
  };
  return !FindArchiveExe(folder, settings_.Title, title_of).empty();
}

// Folders where an installation would mix its files with the user's own or another's, and where
// the uninstaller would later delete what it never made: the home folder (or one holding it), the
// desktop and documents folders, a disc, and the folder of another title's installation.
std::string TWizardFlow::RefusedFolderReason(const fs::path& folder) const {
  const fs::path place = Resolved(folder);
  const fs::path home = Resolved(HomeFolder());
  if (SameFolder(place, home)) return Tr(Msg::kRefuseHome);
  if (IsBelow(home, place)) return Tr(Msg::kRefuseAboveHome);
  for (const int id : {kCsidlDesktopDirectory, kCsidlPersonal}) {
    try {
      if (SameFolder(place, Resolved(GetSpecialFolder(id)))) return Tr(Msg::kRefuseUserFolder);
    } catch (const Exception&) {
    }
  }
  // An update may well be started from inside the installation it updates. A disc image is no
  // folder to mix with: a folder holding one may take the installation.
  std::error_code ec;
  if (!source_folder_.empty() && !settings_.UpdateMode && !fs::is_regular_file(source_folder_, ec)) {
    const fs::path disc = Resolved(source_folder_);
    if (SameFolder(place, disc) || IsBelow(place, disc) || IsBelow(disc, place))
      return Tr(Msg::kRefuseDiscFolder);
    // The disc's own medium -- a CD-ROM drive, or a volume whose root is the disc -- takes no
    // installation anywhere on it, however the disc was opened (its root or a folder on it).
    if ((IsOpticalDisc(disc) || IsMountRoot(disc)) && OnSameVolume(place, disc))
      return Tr(Msg::kRefuseDiscDrive);
  }
  if (const auto there = SettingsIn(folder)) {
    if (there->Title != settings_.Title)
      return Tr(Msg::kRefuseOtherSoftware, {Cp932ToUtf8Lossy(there->Title)});
    if (!there->Installed) return Tr(Msg::kRefuseDiscFolder);
  }
  if (IsInsideDiscOf(place, settings_.Title)) return Tr(Msg::kRefuseDiscFolder);
  return "";
}

std::string TWizardFlow::ExistingFilesQuestion(const fs::path& folder) const {
  std::error_code ec;
  size_t count = 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++count;
  if (count == 0) return "";
  // A run that was stopped (killed, power lost) had the answer: its journal puts the folder back.
  if (fs::exists(fs::symlink_status(folder / kJournalName, ec))) return "";
  try {
    if (const auto there = SettingsIn(folder); there && there->Installed && there->Title == settings_.Title)
      return "";  // this title's earlier installation: a reinstall
  } catch (const Exception&) {
  }
  std::vector<DataString> names = settings_.DiscFiles;
  for (const char* name : {"install.dat", "install.exe", "game.dat", "game.ext"}) names.emplace_back(name);
  std::string replaced;
  for (const DataString& name : names) {
    try {
      if (fs::exists(fs::symlink_status(JoinDataPath(folder, name), ec))) {
        replaced = PathToUtf8(JoinDataPath(folder, name));
        break;
      }
    } catch (const Exception&) {
    }
  }
  std::string text = PathToUtf8(FolderWithoutDelimiter(folder)) + "\r\n" +
                     Tr(Msg::kExistingFiles, {Tr(Msg::kExistingFilesMark), std::to_string(count)}) + "\r\n";
  text += replaced.empty() ? Tr(Msg::kOtherFilesStay)
                           : Tr(Msg::kSameNamesReplaced, {replaced, Tr(Msg::kReplacedFilesMark)});
  return text + "\r\n" + Tr(Msg::kInstallHere);
}

bool TWizardFlow::DestinationAccepted() {
  // A folder name that names no place of its own is no install folder.
  const fs::path typed = Utf8ToPath(controls_.EditDir).lexically_normal();
  if (controls_.EditDir.empty() || !typed.is_absolute() || !typed.has_relative_path()) {
    view_.MessageDialog(DialogKind::kWarning, Tr(Msg::kWrongFolder), kButtonOK);
    return false;
  }
  if (PassesThroughNonFolder(typed)) {
    view_.MessageDialog(DialogKind::kWarning, Tr(Msg::kWrongFolder), kButtonOK);
    return false;
  }
  const fs::path destination = DestinationFolder();
  if (const std::string reason = RefusedFolderReason(destination); !reason.empty()) {
    view_.MessageDialog(DialogKind::kWarning, std::string(Tr(Msg::kWrongFolder)) + "\r\n" + reason,
                        kButtonOK);
    return false;
  }
  // Nor is a drive's root: a mount point, a bind mount of a folder of the same file system too. A
  // refused folder reached through one (the home folder bound elsewhere) is named as such above.
  if (IsMountPoint(typed)) {
    view_.MessageDialog(DialogKind::kWarning, Tr(Msg::kWrongFolder), kButtonOK);
    return false;
  }
  if (const std::string question = settings_.UpdateMode ? "" : ExistingFilesQuestion(destination);
      !question.empty() &&
      view_.MessageDialog(DialogKind::kConfirmation, question, kButtonYes | kButtonNo) != kButtonYes) {
    return false;
  }
  if (settings_.UpdateMode && !HoldsInstallationToUpdate(destination)) {
    view_.MessageDialog(DialogKind::kWarning, Tr(Msg::kWrongFolder), kButtonOK);
    return false;
  }
  // In bytes (3 MB free do not hold 3.7 MB), with the launcher once more: each further disc copies
  // it again through a temporary beside the copy already there, and a disc without one of its own
  // gets the running one copied as the uninstaller.
  if (FreeSpaceOf(destination) < required_bytes_ + launcher_bytes_) {
    return view_.MessageDialog(DialogKind::kWarning, Tr(Msg::kLowSpace), kButtonYes | kButtonNo) ==
           kButtonYes;
  }
  return true;
}

}  // namespace vn
