#include "installer/install_engine.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "installer/disc_set.h"
#include "installer/install_run.h"
#include "installer/installation_files.h"
#include "installer/program_list_entry.h"
#include "installer/shell_link.h"
#include "messages/messages.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/folders.h"
#include "platform/interruption.h"
#include "platform/paths.h"
#include "platform/shell.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSoundExtensions = ".mp2.mp3.wma.wav.mid.ogg";
constexpr std::string_view kMovieExtensions = ".avi.wmv.asf.mpg.mpeg";

// The text of the error being handled.
std::string CurrentError() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

// The error `why` with the news that the installation was not completed (what this run made has
// been removed by then).
[[noreturn]] void ThrowNotCompleted(const std::string& why) {
  throw Exception(why + "\r\n" + Tr(Msg::kInstallNotCompleted));
}

// A disc file's path as a data string with '\' between folders; false when a name has no code
// page 932 form (such a file cannot be one of the disc's listed files).
bool ToDataPath(std::string relative, DataString& out) {
  for (char& c : relative) c = c == '/' ? '\\' : c;
  return TryUtf8ToCp932(relative, out);
}

}  // namespace

int FileGroup(const DataString& extension) {
  if (extension.empty()) return 0;
  const std::string lower = AnsiLowerCase(extension).bytes();
  if (kSoundExtensions.find(lower) != std::string_view::npos) return 1;
  if (kMovieExtensions.find(lower) != std::string_view::npos) return 2;
  return 0;
}

EngineResult RunInstall(WizardHost& host, TVondInstallSet& settings, const InstallSource& source) {
  if (source.archive == nullptr) throw Exception(Tr(Msg::kNoSourceArchive));
  return InstallRun(host, settings, source).Run();
}

InstallRun::InstallRun(WizardHost& host, TVondInstallSet& settings, const InstallSource& source)
    : host_(host),
      settings_(settings),
      source_(source),
      archive_(*source.archive),
      disc_(OpenDiscFiles(source.source_folder)),
      choices_(host.Choices()) {
  dest_ = choices_.destination;
  known_discs_.push_back(source_.source_folder);
  if (!source_.shell_open) {
    source_.shell_open = [](const fs::path& file, const fs::path& working) {
      return ShellOpen(file, "", working);
    };
  }
}

EngineResult InstallRun::Run() {
  target_exe_.clear();
  work_folder_.clear();
  CheckBeforeCopying();
  LockInstallFolder();
  std::error_code ec;
  had_settings_file_ = fs::exists(dest_ / "install.dat", ec);
  if (settings_.UpdateMode && !had_settings_file_) PrepareUpdateTarget();

  EngineResult result;
  try {
    journal_.emplace(dest_);
    result = RunProtected();
  } catch (...) {
    const std::string why = Readable(CurrentError());
    CloseDataFile();
    if (!work_folder_.empty()) DeleteFolderTree(work_folder_);
    RollBack();
    host_.SetText(WizardControl::LabelExit, Tr(Msg::kInstallNotCompleted));
    ThrowNotCompleted(why);
  }
  CloseDataFile();
  if (!work_folder_.empty()) DeleteFolderTree(work_folder_);
  work_folder_lock_.reset();
  if (result != EngineResult::kCompleted) {
    const RolledBack removed = RollBack();
    host_.SetText(WizardControl::LabelCopyCap, Tr(Msg::kInstallNotCompleted));
    if (result == EngineResult::kAborted) ReportAbort(removed);
    return result;
  }

  try {
    if (settings_.InstallType != 2 && target_exe_.empty()) RecordInstallation();
    PauseForTest("commit");
    journal_->Commit();
  } catch (...) {
    const std::string why = CurrentError();
    RollBack();
    host_.SetText(WizardControl::LabelExit, Tr(Msg::kInstallNotCompleted));
    ThrowNotCompleted(why);
  }
  // Temporaries that a run stopped earlier (killed, power lost) left beside these files.
  std::vector<fs::path> installed;
  PathJoiner joiner(FolderWithoutDelimiter(dest_));
  for (const DataString& name : settings_.InstalledFiles) {
    if (fs::path path = InstalledFilePath(joiner, name); !path.empty()) installed.push_back(Relative(path));
  }
  RemoveStaleTemporaries(Folder(), installed);
  journal_.reset();
  // The record the commit wrote is a file of the installation too: the size in the list of installed
  // programs, taken before it existed, counts it now. Only a number: a failure to write it changes
  // nothing of the installation.
  if (made_program_entry_) {
    try {
      AddProgramListEntry(settings_, dest_, uninstaller_);
    } catch (const Exception&) {
    }
  }
  OpenReadme();
  host_.ShowPage("exit");
  return EngineResult::kCompleted;
}

// The window closes after a confirmed abort: before it does, the user learns that nothing was
// installed and that what this run had copied is gone again. A stop signal asks nobody.
void InstallRun::ReportAbort(const RolledBack& removed) {
  if (InterruptionGuard::Signal() != 0) return;
  std::string text = Tr(Msg::kInstallAborted);
  if (removed.files > 0) {
    text += "\r\n" + Tr(Msg::kCopiedFilesRemoved, {std::to_string(removed.files)});
  } else {
    text += std::string("\r\n") + Tr(Msg::kNoFilesCopied);
  }
  if (removed.folder)
    text +=
        std::string("\r\n") + Tr(Msg::kFolderRemovedToo) + "\r\n" + PathToUtf8(FolderWithoutDelimiter(dest_));
  host_.MessageDialog(DialogKind::kInformation, text, kButtonOK);
}

EngineResult InstallRun::RunProtected() {
  copied_bytes_ = 0;
  progress_range_ = choices_.required_bytes;
  host_.SetProgressMax(progress_range_ / 10);
  if (!settings_.UpdateMode) {
    RemoveEarlierDataFile();
  } else if (target_exe_.empty()) {
    journal_->PrepareDataFileToGrow();  // an update appends to the installed data file in place
  }

  PrepareDataCollection();
  for (int32_t i = 0; i < settings_.DiscCount(); ++i) {
    if (!choices_.all_discs && i != settings_.DiscIndex) continue;
    if (settings_.DiscIndex != i) {
      if (!ChangeDisc(i)) return EngineResult::kAborted;
      CheckDiscArchive(i);
      CheckSeparateNames();
    }
    if (!settings_.SeparateFiles) {
      const EngineResult copied = CopyLooseFiles();
      if (copied != EngineResult::kCompleted) return copied;
    }
    if (choices_.check_data || settings_.UpdateMode) {
      const bool last_disc = !choices_.all_discs || i == settings_.DiscCount() - 1;
      if (!MergeDisc(last_disc)) return EngineResult::kAborted;
    }
    if (!target_exe_.empty()) TakeOverOldEntries();
    if (settings_.SeparateFiles) WriteSeparateFiles();
  }
  if (!target_exe_.empty() && !RebuildTargetExe()) return EngineResult::kAborted;
  if (data_ && !VerifyDataFile()) return EngineResult::kAborted;
  if (!target_exe_.empty()) ReplaceTargetExe();
  RecordDataFile();
  return EngineResult::kCompleted;
}

// The data file an earlier installation (or the user) left is kept aside while this run builds its
// own, and comes back if the run does not finish. A run that builds no data file leaves it alone.
void InstallRun::RemoveEarlierDataFile() {
  if (!choices_.check_data && !settings_.SeparateFiles) return;
  journal_->PrepareDataFile();
}

// Asks for disc `index` until it is found or the user aborts. On Linux a disc is a folder or a disc
// image: after OK the disc is looked for in the disc folders known so far (the one run from, the
// discs found since, folders the user pointed at), then in the folders and images beside each
// (other mounted media, the other folders or images of a set), then in a folder the user points at.
bool InstallRun::ChangeDisc(int32_t index) {
  archive_.Open(fs::path());  // releases the previous disc's game.dat
  while (settings_.DiscIndex != index) {
    const std::string prompt = Tr(Msg::kInsertDisc, {std::to_string(index + 1)});
    const DialogButton pressed =
        host_.MessageDialog(DialogKind::kInformation, prompt, kButtonOK | kButtonAbort);
    if (pressed == kButtonOK) {
      host_.Sleep(500);
      if (AdoptDisc(FindDiscOfSet(known_discs_, index, settings_))) break;
      if (std::optional<fs::path> chosen = host_.ChooseDiscFolder(prompt)) {
        // a folder where the set's disc images are kept: the images in it count too
        const std::vector<fs::path> images = DiscImagesIn(*chosen);
        known_discs_.insert(known_discs_.begin(), images.begin(), images.end());
        known_discs_.insert(known_discs_.begin(), *chosen);
        if (AdoptDisc(FindDiscOfSet(known_discs_, index, settings_))) break;
      }
      continue;
    }
    if (host_.MessageDialog(DialogKind::kConfirmation, Tr(Msg::kAskAbortInstall), kButtonYes | kButtonNo) ==
        kButtonYes) {
      host_.SetModalResult(mrAbort);
      return false;
    }
  }
  archive_.Open(disc_, "game.dat");
  return true;
}

// Takes the disc found as the disc in the drive. The settings are reloaded from it (loaded over a
// copy of these settings, as fields an older file does not carry keep their values); the files
// recorded from earlier discs are kept.
bool InstallRun::AdoptDisc(DiscSearch found) {
  if (!found.files) return false;
  const std::vector<DataString> recorded = settings_.InstalledFiles;
  settings_ = std::move(found.settings);
  InstalledFileRecorder recorder(settings_);
  for (const DataString& name : recorded) recorder.Add(name);
  source_.source_folder = found.place;
  known_discs_.push_back(found.place);
  disc_ = std::move(found.files);
  return true;
}

void InstallRun::ShowProgress() {
  host_.SetProgressPosition(copied_bytes_ / 10);
}

EngineResult InstallRun::CopyLooseFiles() {
  struct Item {
    const DiscFileInfo* file;
    DataString rel;
  };
  std::vector<Item> items;
  const bool all_components = settings_.UpdateMode;
  // Whether the component of the file (a disc path in UTF-8) is chosen.
  const auto chosen = [&](std::string path) {
    for (char& c : path) c = c == '\\' ? '/' : c;
    const int group = FileGroup(DataString(FileExtension(Utf8ToPath(path))));
    return all_components || ((group != 1 || choices_.check_sound) && (group != 2 || choices_.check_movie));
  };
  const AnsiTextSet disc_files(settings_.DiscFiles.begin(), settings_.DiscFiles.end());
  for (const DiscFileInfo& file : disc_->Files()) {
    DataString rel;
    if (!ToDataPath(file.path, rel) || !disc_files.count(rel)) continue;  // IsDiscFile, by index
    if (chosen(file.path)) items.push_back({&file, rel});
  }
  // A listed file in a folder of the disc that cannot be read is missing from the listing: the
  // installation would lack it without a word, as a file that cannot be read is said.
  for (const std::string& folder : disc_->UnreadableFolders()) {
    DataString data_folder;
    if (!ToDataPath(folder + '/', data_folder)) continue;
    const std::string prefix = AnsiLowerCase(data_folder).bytes();
    const auto inside = [&](const DataString& listed) {
      return AnsiLowerCase(listed).bytes().starts_with(prefix) && chosen(Cp932ToUtf8Lossy(listed));
    };
    if (std::none_of(settings_.DiscFiles.begin(), settings_.DiscFiles.end(), inside)) continue;
    const DialogButton answer =
        host_.MessageDialog(DialogKind::kWarning, disc_->Describe(folder) + "\r\n" + Tr(Msg::kFolderNotRead),
                            kButtonOK | kButtonAbort);
    if (answer == kButtonAbort) {
      host_.SetModalResult(mrAbort);
      return EngineResult::kAborted;
    }
  }
  PathJoiner joiner(dest_);
  InstalledFileRecorder recorder(settings_);
  for (const Item& item : items) {
    const int64_t size = item.file->size;
    // A file every disc carries (the launcher) counts once in the component sizes but is copied from
    // each disc; the bar's range grows by each further copy, so it does not reach its end while
    // discs remain.
    if (!copied_files_.insert(AnsiLowerCase(item.rel).bytes()).second) {
      progress_range_ += size;
      host_.SetProgressMax(progress_range_ / 10);
    }
    const fs::path destination = joiner.Join(item.rel);
    host_.SetFileText(WizardControl::LabelCopy,
                      Tr(Msg::kCopyingFile, {PathToUtf8(Utf8ToPath(item.file->path).filename())}),
                      Tr(Msg::kCopyingFile, {PathToUtf8(destination)}));
    host_.ProcessMessages();
    if (Aborted()) return EngineResult::kAborted;

    PauseForTest("copy");
    MakeFolders(destination.parent_path());
    const fs::path target = PrepareFile(destination);
    PauseForTest("write");
    // The bar moves as the bytes arrive, never ahead of them, and Abort is noticed inside a large file.
    const int64_t before = copied_bytes_;
    const CopyProgress follow = [this](int64_t bytes) {
      copied_bytes_ += bytes;
      ShowProgress();
      host_.ProcessMessages();
      for (int wait = CopyDelayForTest(); wait > 0 && !Aborted(); wait -= 20) {  // a slow source
        host_.Sleep(20);
        host_.ProcessMessages();
      }
      return !Aborted();
    };
    bool copied;
    try {
      copied =
          Folder().ReplaceFile(target, [&](File& copy) { return disc_->CopyInto(*item.file, copy, follow); });
    } catch (const EPathError&) {
      throw;  // a folder on the way swapped for a link: nothing more is written
    } catch (const Exception& e) {
      throw Exception(PathToUtf8(destination) + "\r\n" + Tr(Msg::kFileNotCopied) + "\r\n" + e.what());
    }
    // A file that failed (or changed its size since the disc was listed) counts as listed, so that
    // the bar still ends where the sizes of the chosen components say.
    copied_bytes_ = before + size;
    if (!copied && Aborted()) return EngineResult::kAborted;
    // A failed copy is recorded all the same (the uninstaller then removes whatever is there), but
    // the user hears of it rather than getting an installation that silently lacks a file.
    if (!copied) {
      const DialogButton answer = host_.MessageDialog(
          DialogKind::kWarning, PathToUtf8(destination) + "\r\n" + Tr(Msg::kFileNotCopied),
          kButtonOK | kButtonAbort);
      if (answer == kButtonAbort) {
        recorder.Add(item.rel);
        host_.SetModalResult(mrAbort);
        return EngineResult::kAborted;
      }
    }
    recorder.Add(item.rel);
    ShowProgress();
  }
  return EngineResult::kCompleted;
}

void InstallRun::RecordInstallation() {
  settings_.Installed = true;
  settings_.AddInstalledFile(DataString("install.dat"));
  settings_.AddInstalledFile(DataString(kRecordName));
  CopyUninstaller();
  InstallNativeUninstaller();

  const fs::path installed = dest_ / "install.dat";
  PauseForTest("record");
  std::error_code ec;
  if (settings_.UpdateMode && fs::exists(installed, ec)) {
    TVondInstallSet earlier;
    earlier.LoadFromFile(installed);
    InstalledFileRecorder recorder(earlier);
    for (const DataString& name : settings_.InstalledFiles) recorder.Add(name);
    WriteSettings(earlier, installed);
  } else {
    KeepEarlierRecords(installed);
    WriteSettings(settings_, installed);
  }

  PauseForTest("shortcuts");
  if (!settings_.UpdateMode) {
    host_.SetText(WizardControl::LabelCopyCap, Tr(Msg::kMakingShortcuts));
    host_.SetVisible(WizardControl::LabelCopy, false);
    host_.SetVisible(WizardControl::Progress, false);
    host_.ProcessMessages();
    CreateShortcuts();
    host_.Sleep(2000);
    host_.BringToFront();
  }
  PauseForTest("registry");
  settings_.WriteValue("InstallPath", PathToUtf8(FolderWithDelimiter(dest_)));
  made_program_entry_ = AddProgramListEntry(settings_, dest_, uninstaller_);
  host_.SetText(WizardControl::LabelCopyCap, Tr(Msg::kUpdatingRegistry));
  host_.ProcessMessages();
  host_.Sleep(1000);
}

// The uninstaller is the launcher itself, started from the install folder; a disc without its own
// install.exe gets the running one (replacing one an earlier installation left). An update
// executable carries its archive behind the program: the copy takes the program alone, or the
// installed "uninstaller" would start that update again.
void InstallRun::CopyUninstaller() {
  const DataString launcher_name("install.exe");
  const fs::path uninstaller = JoinDataPath(dest_, launcher_name);
  if (settings_.FindInstalledFile(launcher_name) < 0 && !source_.launcher.empty()) {
    CopyLauncherTo(uninstaller);
    settings_.AddInstalledFile(launcher_name);
  }
  // Without it the installation could not be removed: that is no finished install.
  const std::optional<FolderEntry> there = Folder().Stat(Relative(uninstaller));
  if (settings_.FindInstalledFile(launcher_name) >= 0 &&
      (!there || there->kind != FolderEntry::Kind::kFile)) {
    throw Exception(Tr(Msg::kFileMissing, {PathToUtf8(uninstaller)}));
  }
}

// Copies the running launcher, the program alone, to `target` (noted as a file of this run); an
// error when it cannot.
void InstallRun::CopyLauncherTo(const fs::path& target) {
  const fs::path relative = PrepareFile(target);
  try {
    Folder().ReplaceFile(relative, [&](File& copy) {
      CopyProgramAloneInto(source_.launcher, copy);
      return true;
    });
  } catch (const Exception& e) {
    throw Exception(PathToUtf8(target) + "\r\n" + Tr(Msg::kFileNotCopied) + "\r\n" + e.what());
  }
}

// A reinstall with fewer discs or components keeps the names an earlier installation of the same
// title recorded, so the uninstaller still finds every file it left.
void InstallRun::KeepEarlierRecords(const fs::path& installed) {
  if (!had_settings_file_) return;
  TVondInstallSet earlier;
  try {
    earlier.LoadFromFile(installed);
  } catch (const Exception&) {
    return;
  }
  if (earlier.Title != settings_.Title) return;
  for (const DataString& name : earlier.InstalledFiles) settings_.AddInstalledFile(name);
}

// A disc whose launcher is a Windows program leaves that install.exe in the install folder as a file
// of the game (it is the Windows uninstaller of the same folder); here the uninstaller is this
// program, copied beside it as "vnsetup" and recorded, which the uninstall entry starts.
void InstallRun::InstallNativeUninstaller() {
  if (kRunsWindowsProgramsNatively || source_.launcher.empty()) return;
  if (!IsWindowsProgram(JoinDataPath(dest_, DataString("install.exe")))) return;
  const DataString name("vnsetup");
  const fs::path uninstaller = JoinDataPath(dest_, name);
  CopyLauncherTo(uninstaller);
  settings_.AddInstalledFile(name);
  uninstaller_ = name;
}

// The program group: the game, its uninstaller and the readme. The group is not opened in a file
// manager afterwards as on Windows: it shows up in the desktop's application menu by itself.
void InstallRun::CreateShortcuts() {
  std::string title = Cp932ToUtf8Lossy(settings_.Title);
  // Without a title the entries would land loose among all the others ("_.desktop"), where nothing
  // groups them: the install folder's name stands in.
  if (title.empty()) title = PathToUtf8(FolderWithoutDelimiter(dest_).filename());
  const TShellLinkType type = kProgramGroupType;
  TShellLink group;
  group.LinkType = type;
  group.SubDir = title;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(group.LinkFolder(), ec))) {
    journal_->NoteMenuFolder(group.LinkFolder());
  }
  const auto shortcut = [&](const std::string& name, const DataString& target, int32_t icon) {
    journal_->NoteMenuFile(CreateShortcut(name, JoinDataPath(dest_, target), "", icon, 0,
                                          TWindowState::Normal, title, type, dest_, name));
  };
  if (!settings_.ExeName.empty()) {
    shortcut(title, settings_.ExeName, 0);
    // Said now: started from its menu entry, a game that cannot run shows nothing at all.
    const std::string problem = PrepareWindowsProgram(JoinDataPath(dest_, settings_.ExeName));
    if (!problem.empty()) host_.MessageDialog(DialogKind::kWarning, problem, kButtonOK);
  }
  shortcut(Tr(Msg::kUninstallShortcut, {title}), uninstaller_, 1);
  if (!settings_.ReadmeName.empty()) shortcut(Tr(Msg::kReadmeShortcut), settings_.ReadmeName, 0);
}

void InstallRun::OpenReadme() {
  if (settings_.ReadmeName.empty() || !settings_.ShowReadme) return;
  source_.shell_open(JoinDataPath(dest_, settings_.ReadmeName), dest_);
  host_.Sleep(1000);
  host_.BringToFront();
}

}  // namespace vn
