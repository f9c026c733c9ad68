// What the wizard's front ends (the Qt window, the Win32 window, the unattended console) share: the
// page flow each one drives, the engines it runs on the pages "copy" and "delete", the fixed texts of
// the message dialogs, and the conversions between the engines' values and what a control holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "installer/install_engine.h"
#include "installer/wizard_flow.h"
#include "installer/wizard_host.h"
#include "messages/messages.h"

namespace vn {

class TVondInstallSet;
class TVrFileCollection;

// --- Message dialogs ----------------------------------------------------------------------------

// The fixed caption of a dialog of `kind`.
const char* DialogCaption(DialogKind kind);

struct DialogButtonCaption {
  DialogButton button;
  Msg caption;
};
// Every button a dialog may offer, in the order they stand, with its fixed caption.
inline constexpr std::array<DialogButtonCaption, 4> kDialogButtons = {{
    {kButtonYes, Msg::kButtonYes},
    {kButtonNo, Msg::kButtonNo},
    {kButtonOK, Msg::kButtonOK},
    {kButtonAbort, Msg::kButtonAbort},
}};

// What a dialog offering `buttons` answers when it is closed without one: No when offered, else
// Abort when offered, else OK.
DialogButton ClosedDialogAnswer(unsigned buttons);

// --- Texts and values for the controls ------------------------------------------------------------

// The texts of install.dat and the engines' messages break lines with "\r\n"; a window's label or a
// console wants "\n" alone.
std::string LfLineBreaks(std::string text);
// A Windows multi-line edit wants "\r\n" between lines: a lone "\n" gets its "\r".
std::string CrLfLineBreaks(const std::string& text);

// A progress bar that holds int values showing the engines' 64-bit ones: both are divided alike.
class ProgressScale {
 public:
  // The bar's maximum for `maximum` (a negative one counts as 0).
  int SetMaximum(int64_t maximum);
  // The bar's position for `position`, kept within 0 and the bar's maximum.
  int Position(int64_t position) const;

 private:
  int64_t divisor_ = 1;
  int maximum_ = 100;  // the bar's range before the engines set one
};

// A window's own control for each WizardControl, named as the enum names them.
template <typename Control>
struct WizardControlSet {
  Control LabelCopyCap{}, LabelCopy{}, Progress{}, LabelDelTitle{}, LabelDel{}, LabelExit{};

  Control operator[](WizardControl control) const {
    static_assert(static_cast<int>(WizardControl::LabelExit) == 5,
                  "one control a WizardControl, in its order");
    const Control in_order[] = {LabelCopyCap, LabelCopy, Progress, LabelDelTitle, LabelDel, LabelExit};
    return in_order[static_cast<size_t>(control)];
  }
};

// --- The run's engines ----------------------------------------------------------------------------

// The install engine's source in a real run: the disc in `source_folder`, the run's archive, the
// temporary folder, and the running launcher as the one copied when the disc brought none.
InstallSource RunningInstallSource(const std::filesystem::path& source_folder, TVrFileCollection* archive);

// A front end of the wizard: the host the engines run in (WizardHost) and the view of the page flow
// (WizardView). It owns the flow and answers what the flow holds; the front end adds the controls,
// the message pump, the dialogs and the install procedure (which names the run's archive).
class WizardFrontEnd : public WizardHost, protected WizardView {
 public:
  // `source_folder`: the folder (or disc image) the run installs from, or (uninstall) the install
  // folder.
  WizardFrontEnd(TVondInstallSet& settings, std::filesystem::path source_folder);

  TWizardFlow& Flow() { return flow_; }
  const std::filesystem::path& SourceFolder() const { return source_folder_; }

  // WizardHost: what the page flow holds.
  WizardChoices Choices() const override;
  TModalResult ModalResult() const override;
  void SetModalResult(TModalResult result) override;
  void ShowPage(const std::string& name) override;

 protected:
  // Shows the flow's present state; a window redraws its controls.
  virtual void ShowFlowState() {}

  // WizardView: the uninstall engine on this run's folder.
  void RunUninstallProcedure() override;
  bool SaveDataOffered() override;

  TVondInstallSet& settings_;
  TWizardFlow flow_;

 private:
  std::filesystem::path source_folder_;
};

}  // namespace vn
