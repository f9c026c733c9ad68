#include "ui/console/unattended.h"

#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

#include "installer/disc_set.h"
#include "installer/install_engine.h"
#include "installer/installation_files.h"
#include "installer/wizard_front_end.h"
#include "launcher/entry_flow.h"
#include "launcher/launcher_ui.h"
#include "launcher/shared_archive.h"
#include "messages/messages.h"
#include "platform/disc_files.h"
#include "platform/error.h"
#include "platform/interruption.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "ui/console/console_progress.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// A dialog's text as the console prints it: "vnsetup: 警告: text".
std::string DialogLine(DialogKind kind, const std::string& text) {
  return std::string("vnsetup: ") + DialogCaption(kind) + ": " + text;
}

// Stops the run with exit code 2 before anything was copied: the question cannot be answered
// safely without the user.
class UnansweredQuestion : public Exception {
 public:
  using Exception::Exception;
};

// The wizard without a window: the page flow answered from the options, the engines' labels and
// progress on stderr.
class HeadlessWizard : public WizardFrontEnd {
 public:
  HeadlessWizard(TVondInstallSet& settings, const UnattendedOptions& options, fs::path source_folder,
                 ConsoleProgress& console)
      : WizardFrontEnd(settings, std::move(source_folder)),
        options_(options),
        console_(console),
        uninstalling_(settings.Installed) {}

  // Runs the pages from the first to "exit"; returns the exit code.
  int Run() {
    try {
      // Settings no install can run on are refused before any page is answered.
      if (!uninstalling_) settings_.CheckForInstall();
      flow_.FormCreate();
      for (int steps = 0; steps < 4 * kPageCount; ++steps) {
        const int page = flow_.Controls().page;
        if (page == kPageExit) return Completed();
        ProcessMessages();
        if (flow_.ModalResult() != mrNone || stop_code_ != 0) break;
        if (!AnswerPage(page)) break;
        flow_.btnNextClick();
        if (flow_.Controls().page == page && flow_.ModalResult() == mrNone) {
          // The page refused to be left (a destination it does not accept).
          return Stop(kUnattendedUsage, page == kPageSelDir
                                            ? Tr(Msg::kConsoleFolderRefused, {flow_.Controls().EditDir})
                                            : Tr(Msg::kConsolePageStayed, {kPageNames[page]}));
        }
      }
    } catch (const UnansweredQuestion& e) {
      return Stop(kUnattendedUsage, Tr(Msg::kConsoleNotAnswered, {e.what()}));
    } catch (const std::exception& e) {
      return Stop(kUnattendedFailed, e.what());
    }
    if (flow_.Controls().page == kPageExit) return Completed();
    if (stop_code_ != 0) return Stop(stop_code_, stop_reason_);
    return Stop(kUnattendedFailed,
                Tr(uninstalling_ ? Msg::kConsoleUninstallAborted : Msg::kConsoleInstallAborted));
  }

  // WizardHost
  void SetText(WizardControl control, const std::string& text) override {
    switch (control) {
      case WizardControl::LabelCopy:
      case WizardControl::LabelDel:
        console_.Item(LfLineBreaks(text));
        break;
      case WizardControl::LabelCopyCap:
      case WizardControl::LabelDelTitle:
        console_.Line(LfLineBreaks(text));
        break;
      case WizardControl::LabelExit:
        exit_text_ = LfLineBreaks(text);
        break;
      case WizardControl::Progress:
        break;
    }
  }
  // The progress line names the file with its whole path.
  void SetFileText(WizardControl control, const std::string& text, const std::string& whole) override {
    SetText(control, whole.empty() ? text : whole);
  }
  void SetVisible(WizardControl control, bool visible) override {
    if (control == WizardControl::Progress) console_.SetBarVisible(visible);
  }
  void SetProgressMax(int64_t maximum) override { console_.SetMax(maximum); }
  void SetProgressPosition(int64_t position) override { console_.SetPosition(position); }
  // The console's "pending message": a stop signal, which aborts the run as the window's Abort
  // button does once the user confirmed it.
  void ProcessMessages() override {
    const int signal = InterruptionGuard::Signal();
    if (signal == 0 || flow_.ModalResult() != mrNone) return;
    console_.Line(std::string("vnsetup: ") +
                  Tr(Msg::kConsoleStopping, {InterruptionGuard::SignalName(signal)}));
    flow_.SetModalResult(mrAbort);
  }

  DialogButton MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) override {
    const std::string shown = LfLineBreaks(text);
    const std::string line = DialogLine(kind, shown);
    const DialogButton answer = Answer(kind, shown, buttons);
    if (buttons == kButtonOK) {
      console_.Line(line);
    } else {
      console_.Line(line + " [" +
                    Tr(answer == kButtonYes  ? Msg::kConsoleAnswerYes
                       : answer == kButtonNo ? Msg::kConsoleAnswerNo
                       : answer == kButtonOK ? Msg::kConsoleAnswerOK
                                             : Msg::kConsoleAnswerAbort) +
                    "]");
    }
    return answer;
  }

  std::optional<fs::path> ChooseDiscFolder(const std::string&) override {
    if (next_disc_ >= options_.disc_folders.size()) return std::nullopt;
    const fs::path folder = options_.disc_folders[next_disc_++];
    console_.Line(Tr(Msg::kConsoleTryingDisc, {PathToUtf8(folder)}));
    return folder;
  }

  void Sleep(int) override {}  // nobody needs to watch a label
  void BringToFront() override {}

 private:
  int Completed() {
    console_.Line(exit_text_.empty() ? Tr(uninstalling_ ? Msg::kUninstallCompleted : Msg::kInstallCompleted)
                                     : exit_text_);
    if (!uninstalling_ && !options_.folder.empty() && !folder_answered_) {
      console_.Line(std::string("vnsetup: ") + Tr(Msg::kConsoleFolderUnused));
    }
    if (!uninstalling_) {
      const std::string folder = PathToUtf8(FolderWithoutDelimiter(flow_.DestinationFolder()));
      std::printf("%s\n", folder.c_str());
      std::fflush(stdout);
    }
    return kUnattendedDone;
  }

  int Stop(int code, const std::string& reason) {
    console_.Line("vnsetup: " + LfLineBreaks(reason));
    return code;
  }

  // The documented fixed answers; throws UnansweredQuestion for a question without one.
  DialogButton Answer(DialogKind kind, const std::string& text, unsigned buttons) {
    if (buttons == kButtonOK) {
      return kButtonOK;
    }
    if (buttons == (kButtonOK | kButtonAbort)) {
      if (kind == DialogKind::kInformation) return AnswerDiscPrompt(text);
      // A file that could not be copied: the installation would lack it.
      stop_code_ = kUnattendedFailed;
      stop_reason_ = text;
      return kButtonAbort;
    }
    if (buttons == (kButtonYes | kButtonNo) && text.find(Tr(Msg::kExistingFilesMark)) != std::string::npos) {
      // A folder holding files already: other names are left alone; same names only on request.
      if (text.find(Tr(Msg::kReplacedFilesMark)) == std::string::npos || options_.replace_existing)
        return kButtonYes;
      console_.Line(DialogLine(DialogKind::kConfirmation, text));
      throw UnansweredQuestion(Tr(Msg::kConsoleReplaceHint, {text}));
    }
    if (buttons == (kButtonYes | kButtonNo) &&
        (text == Tr(Msg::kAskAbortInstall) || text == Tr(Msg::kAskAbortUninstall))) {
      // "Abort?": only the run itself, having given up, says yes.
      return stop_code_ != 0 ? kButtonYes : kButtonNo;
    }
    console_.Line(DialogLine(kind == DialogKind::kWarning ? kind : DialogKind::kConfirmation, text));
    throw UnansweredQuestion(text);
  }

  // Sets the controls of `page` as the options say; false stops the run.
  bool AnswerPage(int page) {
    WizardControls& c = flow_.Controls();
    switch (page) {
      case kPageLicense:
        console_.Line(Tr(Msg::kConsoleLicenceBegin) + ("\n" + LfLineBreaks(c.EditLicense)) + "\n---");
        if (!options_.accept_license) {
          stop_code_ = kUnattendedUsage;
          stop_reason_ = Tr(Msg::kConsoleLicenceNeeded);
          return false;
        }
        console_.Line(Tr(Msg::kConsoleLicenceAccepted));
        c.CheckLicense = true;
        flow_.CheckLicenseClick();
        break;
      case kPageMedia:
        c.RadioDiskAll = !options_.this_disc_only;
        c.RadioDiskThis = options_.this_disc_only;
        break;
      case kPageFile:
        c.CheckData = options_.data && c.DataVisible;
        c.CheckSound = options_.sound && c.SoundVisible;
        c.CheckMovie = options_.movie && c.MovieVisible;
        flow_.CheckDataClick();
        break;
      case kPageSelDir:
        if (!options_.folder.empty()) {
          c.EditDir = PathToUtf8(FolderWithoutDelimiter(fs::absolute(options_.folder).lexically_normal()));
        }
        console_.Line(Tr(Msg::kConsoleInstallFolder, {c.EditDir}));
        folder_answered_ = true;
        break;
      case kPageUninst:
        c.CheckDelSave = options_.delete_save_data && c.DelSaveVisible;
        console_.Line(LfLineBreaks(c.LabelUninst) +
                      (c.DelSaveVisible
                           ? Tr(c.CheckDelSave ? Msg::kConsoleSaveDataToo : Msg::kConsoleSaveDataKept)
                           : ""));
        break;
      case kPageConfirm:
        return AllDiscsReachable();
      default:
        break;
    }
    return true;
  }

  // Nobody can change discs during an unattended run: every disc to install must be a folder it can
  // find, with the archive its data needs, which is checked before anything is copied.
  bool AllDiscsReachable() {
    if (!flow_.Choices().all_discs) return true;
    // The folders given, with the disc images inside them (where a set's images are kept).
    std::vector<fs::path> known = {SourceFolder()};
    for (const fs::path& given : options_.disc_folders) {
      known.push_back(given);
      const std::vector<fs::path> inside = DiscImagesIn(given);
      known.insert(known.end(), inside.begin(), inside.end());
    }
    for (int32_t i = 0; i < settings_.DiscCount(); ++i) {
      if (i == settings_.DiscIndex) continue;
      const DiscSearch found = FindDiscOfSet(known, i, settings_);
      if (found.files && DataNeeded(i) && !found.files->Find("game.dat")) {
        stop_code_ = kUnattendedFailed;
        stop_reason_ = Tr(Msg::kDiscFileMissing, {std::to_string(i + 1), found.files->Describe("game.dat")});
        return false;
      }
      if (!found.files) {
        // A disc that is there but cannot be read is a failure of the files, not of the options.
        std::string passed;
        for (const auto& [place, why] : found.refused) passed += "\n" + PathToUtf8(place) + ": " + why;
        stop_code_ = found.unreadable ? kUnattendedFailed : kUnattendedUsage;
        stop_reason_ = Tr(Msg::kConsoleDiscNotFound, {std::to_string(i + 1)}) +
                       (passed.empty() ? "" : "\n" + (Tr(Msg::kConsoleDiscsPassedOver) + passed));
        return false;
      }
    }
    return true;
  }

  // Whether disc `i` must bring its archive: the data component is chosen and the disc carries some.
  bool DataNeeded(int32_t i) const {
    const std::vector<int64_t>& sizes = settings_.DiscDataSize;
    return (flow_.Choices().check_data || settings_.UpdateMode) && static_cast<size_t>(i) < sizes.size() &&
           sizes[i] > 0;
  }

  // "Insert disc N, then OK": OK while some folder remains to look in, else the run gives up.
  DialogButton AnswerDiscPrompt(const std::string& prompt) {
    const int asked = ++prompts_[prompt];
    if (asked == 1 || next_disc_ < options_.disc_folders.size()) return kButtonOK;
    stop_code_ = kUnattendedUsage;
    stop_reason_ = Tr(Msg::kConsoleDiscPromptUnanswered, {prompt});
    return kButtonAbort;
  }

  // WizardView
  void RunInstallProcedure() override {
    InstallSource source = RunningInstallSource(SourceFolder(), SharedArchive());
    // Nobody is there to read a document opened on the desktop; say where it is instead.
    source.shell_open = [this](const fs::path& file, const fs::path&) {
      console_.Line(Tr(Msg::kConsoleReadme, {PathToUtf8(file)}));
      return 33;  // what the shell returns on success
    };
    RunInstall(*this, settings_, source);
  }

  const UnattendedOptions& options_;
  ConsoleProgress& console_;
  const bool uninstalling_;
  bool folder_answered_ = false;
  std::string exit_text_;
  std::map<std::string, int> prompts_;
  size_t next_disc_ = 0;
  int stop_code_ = 0;
  std::string stop_reason_;
};

// The entry flow's windows, unattended: the wizard headless, warnings on stderr.
class UnattendedUi : public LauncherUi {
 public:
  UnattendedUi(const UnattendedOptions& options, fs::path source_folder)
      : options_(options),
        source_folder_(std::move(source_folder)),
        console_(stderr, ConsoleProgress::IsTerminal(stderr)) {}

  bool ShowStartMenu(TVondInstallSet&, int32_t&) override { return false; }  // not in an unattended run

  void RunWizard(TVondInstallSet& settings) override {
    ran_ = true;
    console_.Line(std::string(Tr(settings.Installed ? Msg::kConsoleUninstall : Msg::kConsoleInstall)) + ": " +
                  Cp932ToUtf8Lossy(settings.Title) + " (" + PathToUtf8(source_folder_) + ")");
    code_ = HeadlessWizard(settings, options_, source_folder_, console_).Run();
  }

  void ShowWarning(const std::string& text) override {
    warned_ = true;
    console_.Line(DialogLine(DialogKind::kWarning, LfLineBreaks(text)));
  }
  void ShowSystemWarning(const std::string& text) override { ShowWarning(text); }

  int ExitCode() {
    if (ran_) return code_;
    if (!warned_) {
      console_.Line(std::string("vnsetup: ") + Tr(Msg::kConsoleNothingDone));
    }
    return kUnattendedFailed;
  }

  void Fail(const std::string& message) { console_.Line("vnsetup: " + LfLineBreaks(message)); }

 private:
  const UnattendedOptions& options_;
  fs::path source_folder_;
  ConsoleProgress console_;
  bool ran_ = false;
  bool warned_ = false;
  int code_ = kUnattendedFailed;
};

}  // namespace

int RunUnattended(EntryEnvironment env, const UnattendedOptions& options) {
  env.in_place = true;
  // The folder the wizard works on: the one named (the folder of an archive file named), else the
  // launcher's own.
  fs::path source = env.exe.parent_path();
  if (!env.args.empty()) source = DiscLocationOf(Utf8ToPath(env.args[0]));
  UnattendedUi ui(options, source);
  InterruptionGuard interruption;
  // A pipe, a device or a socket named as the source: said as such, not as a missing install.dat.
  if (std::error_code ec; !env.args.empty() && !IsDiscLocation(source) && fs::exists(source, ec)) {
    ui.Fail(Tr(Msg::kConsoleNoSource, {env.args[0]}));
    return kUnattendedFailed;
  }
  try {
    RunEntryFlow(env, ui);
  } catch (const std::exception& e) {
    ui.Fail(e.what());
    return kUnattendedFailed;
  }
  return ui.ExitCode();
}

}  // namespace vn
