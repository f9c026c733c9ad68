#include "installer/wizard_flow.h"

#include "installer/install_engine.h"
#include "messages/messages.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/volumes.h"
#include "settings/settings.h"

namespace vn {

namespace {

// A text of the catalogue naming a data string of the disc (its title, its media's name).
std::string Format(Msg text, const DataString& noun) {
  return Tr(text, {Cp932ToUtf8Lossy(noun)});
}

}  // namespace

int PageIndexOf(std::string_view name) {
  for (int i = 0; i < kPageCount; ++i) {
    if (name == kPageNames[i]) return i;
  }
  return -1;
}

TWizardFlow::TWizardFlow(TVondInstallSet& settings, WizardView& view)
    : FreeSpaceOf([](const std::filesystem::path& p) { return FreeSpace(p); }),
      settings_(settings),
      view_(view) {}

void TWizardFlow::FormCreate() {
  const DataString& media = settings_.MediaName;
  controls_.LabelDisk = Format(Msg::kLabelDisk, media);
  controls_.RadioDiskAllText = Format(Msg::kRadioDiskAll, media);
  controls_.RadioDiskThisText = Format(Msg::kRadioDiskThis, media);
  controls_.RadioDiskAll = settings_.DiscIndex == 0 && settings_.DiscCount() > 1;
  controls_.LabelUninst = Format(Msg::kUninstallFromComputer, settings_.Title);
  controls_.btnBack.visible = !settings_.Installed;
  uninstall_run_ = settings_.Installed;
  SetUpDestination();
  controls_.EditHello = Cp932ToUtf8Lossy(settings_.HelloText);
  controls_.EditLicense = Cp932ToUtf8Lossy(settings_.LicenseText);

  page_enabled_.fill(true);
  page_enabled_[kPageHello] = !settings_.HelloText.empty();
  page_enabled_[kPageLicense] = !settings_.LicenseText.empty();
  if (settings_.InstallType == 2) {
    page_enabled_[kPageMedia] = page_enabled_[kPageFile] = page_enabled_[kPageSelDir] = false;
  } else if (settings_.UpdateMode || settings_.InstallType == 1) {
    page_enabled_[kPageMedia] = page_enabled_[kPageFile] = false;
  } else if (settings_.DiscCount() < 2 || settings_.DiscIndex != 0) {
    page_enabled_[kPageMedia] = false;
  }

  if (settings_.Installed) {
    page_enabled_.fill(false);
    page_enabled_[kPageUninst] = page_enabled_[kPageDelete] = page_enabled_[kPageExit] = true;
    ShowPage(kPageUninst);
  } else {
    ShowPage(FirstEnabledPage());
  }
  if (settings_.InstallType == 1) controls_.CheckData = controls_.CheckSound = controls_.CheckMovie = true;
  if (!settings_.Installed && settings_.InstallType != 1) PreselectEarlierComponents();
  controls_.LabelBackVisible = FirstEnabledPage() < kPageConfirm;
  // The figures are computed once here, not only when "seldir" is the first page: a full install or
  // an update behind a welcome or licence page reaches "seldir" without passing "file", and would
  // otherwise show no required space, skip the space question and give the copy's bar no range.
  UpdateSizes();
}

// A reinstall starts from what the earlier installation of the title has, so pressing Next through
// it does not drop the data, sound or movie files already installed.
void TWizardFlow::PreselectEarlierComponents() {
  const std::string folder = settings_.ReadValue("InstallPath", "");
  if (folder.empty()) return;
  TVondInstallSet earlier;
  try {
    earlier.LoadFromFile(Utf8ToPath(folder) / "install.dat");
  } catch (const Exception&) {
    return;
  }
  if (!earlier.Installed || earlier.Title != settings_.Title) return;
  controls_.CheckData = earlier.DataInstalled;
  for (const DataString& name : earlier.InstalledFiles) {
    const size_t dot = name.bytes().rfind('.');
    const int group = dot == std::string::npos ? 0 : FileGroup(DataString(name.bytes().substr(dot)));
    if (group == 1) controls_.CheckSound = true;
    if (group == 2) controls_.CheckMovie = true;
  }
}

int TWizardFlow::FirstEnabledPage() const {
  for (int i = 0; i < kPageCount; ++i) {
    if (page_enabled_[i]) return i;
  }
  return -1;
}

int TWizardFlow::LastEnabledPage() const {
  for (int i = kPageCount - 1; i >= 0; --i) {
    if (page_enabled_[i]) return i;
  }
  return -1;
}

void TWizardFlow::ShowPage(int index) {
  if (index < 0 || index >= kPageCount) return;
  controls_.page = index;
  switch (index) {
    case kPageHello:
      controls_.caption = Tr(Msg::kPageHello);
      break;
    case kPageLicense:
      controls_.caption = Tr(Msg::kPageLicense);
      break;
    case kPageMedia:
      controls_.caption = Format(Msg::kPageMedia, settings_.MediaName);
      break;
    case kPageFile:
      controls_.caption = Tr(Msg::kPageFile);
      SetComponentBoxes();
      UpdateSizes();
      break;
    case kPageSelDir:
      controls_.caption = Tr(Msg::kPageSelDir);
      UpdateDriveSpace();
      break;
    case kPageConfirm:
      controls_.caption = Tr(Msg::kPageConfirm);
      break;
    case kPageCopy:
    case kPageDelete:
      if (index == kPageCopy) {
        // From here on only Abort remains, so Next and Back cannot re-enter during the procedure.
        controls_.btnBack.visible = controls_.btnNext.visible = false;
        controls_.caption = Tr(Msg::kPageCopy);
        view_.ProcessMessages();
        try {
          view_.RunInstallProcedure();
        } catch (...) {
          // A failed install has nothing left to do: while its error is shown the wizard is on
          // "exit", whose text the engine set, with only 閉じる left (not on "copy" with 中断,
          // which would offer to abort what has already ended).
          ShowPage(kPageExit);
          throw;
        }
      } else {
        controls_.btnNext.visible = false;
        controls_.caption = Tr(Msg::kPageDelete);
        view_.RunUninstallProcedure();
      }
      // A procedure that succeeded has moved on to "exit"; after an abort or a failure the buttons
      // stay as the procedure left them.
      if (controls_.page == index) return;
      break;
    case kPageExit:
      controls_.caption = Tr(Msg::kPageExit);
      controls_.focus_abort = true;
      break;
    case kPageUninst:
      controls_.caption = Tr(Msg::kPageUninst);
      controls_.DelSaveVisible = view_.SaveDataOffered();
      break;
  }
  SetButtons();
}

void TWizardFlow::SetButtons() {
  const int current = controls_.page;
  controls_.btnBack.enabled = FirstEnabledPage() < current;
  controls_.btnNext.enabled =
      current < LastEnabledPage() && (current != kPageLicense || controls_.CheckLicense);
  if (current == kPageConfirm) {
    controls_.btnNext.caption = Tr(Msg::kWizardInstall);
  } else if (current == kPageExit) {
    controls_.btnAbort.caption = Tr(Msg::kWizardClose);
  } else if (current == kPageUninst) {
    controls_.btnNext.caption = Tr(Msg::kWizardRun);
  } else {
    controls_.btnNext.caption = Tr(Msg::kWizardNext);
  }
}

int64_t TWizardFlow::DiscEntry(const std::vector<int64_t>& sizes) const {
  // A disc index outside the per-disc table (a damaged settings file) counts as nothing to install.
  const int32_t i = settings_.DiscIndex;
  return i >= 0 && static_cast<size_t>(i) < sizes.size() ? sizes[i] : 0;
}

void TWizardFlow::SetComponentBoxes() {
  const bool all = controls_.RadioDiskAll;
  controls_.ProgVisible = (all ? settings_.ProgSize : DiscEntry(settings_.DiscProgSize)) > 0;
  controls_.DataVisible = (all ? settings_.DataSize : DiscEntry(settings_.DiscDataSize)) > 0;
  controls_.SoundVisible = (all ? settings_.SoundSize : DiscEntry(settings_.DiscSoundSize)) > 0;
  controls_.MovieVisible = (all ? settings_.MovieSize : DiscEntry(settings_.DiscMovieSize)) > 0;
}

void TWizardFlow::btnNextClick() {
  const int current = controls_.page;
  if (current == kPageCopy) {
    modal_result_ = mrOK;
    return;
  }
  if (current == kPageSelDir && !DestinationAccepted()) return;
  for (int i = current + 1; i < kPageCount; ++i) {
    if (page_enabled_[i]) {
      ShowPage(i);
      return;
    }
  }
}

void TWizardFlow::btnBackClick() {
  for (int i = controls_.page - 1; i >= 0; --i) {
    if (page_enabled_[i]) {
      ShowPage(i);
      return;
    }
  }
}

void TWizardFlow::btnAbortClick() {
  switch (controls_.page) {
    case kPageExit:
      modal_result_ = mrOK;
      break;
    case kPageCopy:
    case kPageDelete: {
      const char* question =
          Tr(controls_.page == kPageDelete ? Msg::kAskAbortUninstall : Msg::kAskAbortInstall);
      if (view_.MessageDialog(DialogKind::kConfirmation, question, kButtonYes | kButtonNo) == kButtonYes)
        modal_result_ = mrAbort;
      break;
    }
    default:
      modal_result_ = mrCancel;
      break;
  }
}

void TWizardFlow::CheckLicenseClick() {
  controls_.btnNext.enabled = controls_.page < LastEnabledPage() && controls_.CheckLicense;
}

void TWizardFlow::CheckProgClick() {
  controls_.CheckProg = true;  // the program files are always installed
}

void TWizardFlow::CheckDataClick() {
  UpdateSizes();
}

WizardChoices TWizardFlow::Choices() const {
  WizardChoices choices;
  choices.all_discs = controls_.RadioDiskAll;
  choices.check_data = controls_.CheckData;
  choices.check_sound = controls_.CheckSound;
  choices.check_movie = controls_.CheckMovie;
  choices.destination = DestinationFolder();
  choices.required_bytes = required_bytes_;
  choices.delete_save_data = controls_.DelSaveVisible && controls_.CheckDelSave;
  return choices;
}

void TWizardFlow::FormClose() {
  if (modal_result_ != mrNone) return;
  if (controls_.page == kPageCopy || controls_.page == kPageDelete) {
    btnAbortClick();
  } else {
    modal_result_ = mrCancel;
  }
}

bool TWizardFlow::FormCloseQuery() {
  if (modal_result_ != mrCancel || controls_.page == kPageExit) return true;
  const char* question = Tr(uninstall_run_ ? Msg::kAskAbortUninstall : Msg::kAskAbortInstall);
  return view_.MessageDialog(DialogKind::kConfirmation, question, kButtonYes | kButtonNo) == kButtonYes;
}

}  // namespace vn
