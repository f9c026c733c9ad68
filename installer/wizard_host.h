// WizardHost: what the install and uninstall engines ask of the wizard window they run in.
//
// The engines run on the window's thread, inside the handler that entered the page "copy" or
// "delete". They write the labels and the progress bar of those pages, let pending window messages
// run between steps, and poll the modal result to notice a confirmed abort (the Abort button's
// handler only sets it). The Qt wizard implements this interface; tests and unattended runs
// implement it without a window, so every engine runs headless.
//
// All texts passed in are UTF-8 (the engines convert data strings from CP932 before calling).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vn {

// Modal results of the wizard window.
enum TModalResult : int { mrNone = 0, mrOK = 1, mrCancel = 2, mrAbort = 3 };

// Message dialog kinds; the window gives each its fixed caption.
enum class DialogKind {
  kWarning,       // Msg::kCaptionWarning
  kInformation,   // Msg::kCaptionInformation
  kConfirmation,  // Msg::kCaptionConfirmation
};

// Buttons of a message dialog, combinable as a set; a dialog returns the one pressed.
enum DialogButton : unsigned {
  kButtonYes = 1,    // Msg::kButtonYes
  kButtonNo = 2,     // Msg::kButtonNo
  kButtonOK = 4,     // Msg::kButtonOK
  kButtonAbort = 8,  // Msg::kButtonAbort
};

// The controls of the pages "copy", "delete" and "exit" that the engines write to.
enum class WizardControl {
  LabelCopyCap,   // "copy": the stage line
  LabelCopy,      // "copy": the file line
  Progress,       // "copy": the progress bar (visibility only; range and position below)
  LabelDelTitle,  // "delete": the title line
  LabelDel,       // "delete": the status line
  LabelExit,      // "exit": the completion text
};

// What the user chose in the wizard's pages, read by the engines when they start.
struct WizardChoices {
  bool all_discs = false;    // RadioDiskAll checked (unchecked or neither: this disc only)
  bool check_data = false;   // CheckData
  bool check_sound = false;  // CheckSound
  bool check_movie = false;  // CheckMovie
  // DestinationFolder: the install folder (the Windows folder's stand-in for InstallType 2).
  std::filesystem::path destination;
  int64_t required_bytes = 0;     // RequiredBytes of the chosen components
  bool delete_save_data = false;  // CheckDelSave shown and checked (uninstall)
};

class WizardHost {
 public:
  virtual ~WizardHost() = default;

  virtual WizardChoices Choices() const = 0;

  // Sets a label's text (no effect for Progress).
  virtual void SetText(WizardControl control, const std::string& text) = 0;
  // A label that names a file by its name alone: `text` as the label shows it, `whole` the same line
  // with the file's whole path, which a window offers as the label's tool tip and an unattended run
  // prints. Without a place for the whole line, the label's text alone.
  virtual void SetFileText(WizardControl control, const std::string& text, const std::string& whole) {
    (void)whole;
    SetText(control, text);
  }
  virtual void SetVisible(WizardControl control, bool visible) = 0;
  // The progress bar of "copy": minimum 0. Values are 64-bit; a window whose bar holds only 32-bit
  // values scales both alike.
  virtual void SetProgressMax(int64_t maximum) = 0;
  virtual void SetProgressPosition(int64_t position) = 0;

  // Lets pending window messages run once (repaint, the Abort button's handler).
  virtual void ProcessMessages() = 0;
  virtual TModalResult ModalResult() const = 0;
  // Setting a non-zero result closes the window once the running handler has returned.
  virtual void SetModalResult(TModalResult result) = 0;

  // A modal message dialog with `buttons` (a set of DialogButton); returns the button pressed.
  // Closing the dialog without a button counts as No when No is offered, else Abort when offered,
  // else OK.
  virtual DialogButton MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) = 0;

  // On Linux a disc is a folder (a mounted medium or a copy of it). When the next disc was not found
  // beside the current one, the window may let the user point at its folder; `prompt` names the disc.
  // None: the user gave no folder (the engine asks for the disc again).
  virtual std::optional<std::filesystem::path> ChooseDiscFolder(const std::string& prompt) = 0;

  // A fixed wait that blocks the window (tests make it instant).
  virtual void Sleep(int milliseconds) = 0;
  // Brings the wizard's window to the foreground.
  virtual void BringToFront() = 0;
  // Enters a page by name; the engines call it with "exit" when they succeed.
  virtual void ShowPage(const std::string& name) = 0;
};

}  // namespace vn
