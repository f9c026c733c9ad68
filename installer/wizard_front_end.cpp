#include "installer/wizard_front_end.h"

#include <algorithm>
#include <limits>

#include "installer/uninstall_engine.h"
#include "messages/messages.h"
#include "platform/fileops.h"
#include "platform/special_folders.h"
#include "platform/system.h"
#include "settings/settings.h"

namespace vn {

namespace fs = std::filesystem;

const char* DialogCaption(DialogKind kind) {
  switch (kind) {
    case DialogKind::kWarning:
      return Tr(Msg::kCaptionWarning);
    case DialogKind::kInformation:
      return Tr(Msg::kCaptionInformation);
    case DialogKind::kConfirmation:
      return Tr(Msg::kCaptionConfirmation);
  }
  return "";
}

DialogButton ClosedDialogAnswer(unsigned buttons) {
  return (buttons & kButtonNo) ? kButtonNo : (buttons & kButtonAbort) ? kButtonAbort : kButtonOK;
}

std::string LfLineBreaks(std::string text) {
  size_t kept = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    text[kept++] = text[i];
  }
  text.resize(kept);
  return text;
}

std::string CrLfLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

int ProgressScale::SetMaximum(int64_t maximum) {
  const int64_t limit = std::numeric_limits<int>::max();
  divisor_ = maximum > limit ? maximum / limit + 1 : 1;
  maximum_ = static_cast<int>(std::max<int64_t>(maximum, 0) / divisor_);
  return maximum_;
}

int ProgressScale::Position(int64_t position) const {
  return static_cast<int>(std::clamp<int64_t>(position / divisor_, 0, maximum_));
}

InstallSource RunningInstallSource(const fs::path& source_folder, TVrFileCollection* archive) {
  InstallSource source;
  source.source_folder = source_folder;
  source.archive = archive;
  source.temp_folder = TemporaryFolder();
  source.launcher = RunningImagePath();
  return source;
}

WizardFrontEnd::WizardFrontEnd(TVondInstallSet& settings, fs::path source_folder)
    : settings_(settings), flow_(settings, *this), source_folder_(std::move(source_folder)) {
  flow_.SetSourceFolder(source_folder_);
  flow_.SetLauncherBytes(FileSizeOf(RunningImagePath()));
}

WizardChoices WizardFrontEnd::Choices() const {
  return flow_.Choices();
}

TModalResult WizardFrontEnd::ModalResult() const {
  return static_cast<TModalResult>(flow_.ModalResult());
}

void WizardFrontEnd::SetModalResult(TModalResult result) {
  flow_.SetModalResult(result);
}

void WizardFrontEnd::ShowPage(const std::string& name) {
  flow_.ShowPage(PageIndexOf(name));
  ShowFlowState();
}

void WizardFrontEnd::RunUninstallProcedure() {
  RunUninstall(*this, settings_, source_folder_);
}

bool WizardFrontEnd::SaveDataOffered() {
  return SaveDataFound(settings_, source_folder_);
}

}  // namespace vn
