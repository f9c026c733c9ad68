// TFormType on Windows: the install and uninstall wizard. Ten named pages (their controls shown and
// hidden as the page changes) over a line and the buttons Back, Next and Abort. The page flow
// (TWizardFlow) decides everything; this window shows its state, hands it what the user changed, and
// forwards the events. It is also the host the install and uninstall engines run in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "installer/wizard_front_end.h"
#include "ui/win32/form.h"

namespace vn {

class TVondInstallSet;

class TFormType : public TForm, public WizardFrontEnd {
 public:
  // `source_folder`: the folder the run installs from, or (uninstall) the install folder.
  TFormType(TVondInstallSet& settings, HWND owner, std::filesystem::path source_folder);

  // Shows page `index` as it is laid out, without entering it (its work is not done; from "copy" on
  // Back and Next are hidden, as entering would hide them): for pictures of the pages whose work
  // would install or uninstall.
  void DisplayPage(int index);
  // The buttons as a user presses them.
  void Press(HWND button);

  // TForm: the modal result is the page flow's.
  int FormResult() const override { return flow_.ModalResult(); }
  void SetFormResult(int result) override { flow_.SetModalResult(result); }

  // WizardHost, for the engines. MessageDialog and ProcessMessages serve the page flow as well.
  void SetText(WizardControl control, const std::string& text) override;
  void SetFileText(WizardControl control, const std::string& text, const std::string& whole) override;
  void SetVisible(WizardControl control, bool visible) override;
  void SetProgressMax(int64_t maximum) override;
  void SetProgressPosition(int64_t position) override;
  void ProcessMessages() override;
  DialogButton MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) override;
  std::optional<std::filesystem::path> ChooseDiscFolder(const std::string& prompt) override;
  void Sleep(int milliseconds) override;
  void BringToFront() override;

  HWND Bevel, btnBack, btnNext, btnAbort;
  HWND EditHello;                                                        // Hello
  HWND Label2, Label4, EditLicense, CheckLicense;                        // License
  HWND LabelDisk, RadioDiskAll, RadioDiskThis;                           // Media
  HWND Label1, CheckProg, CheckData, CheckSound, CheckMovie, LabelSize;  // file
  HWND Label3, EditDir, Drive, Directory, LabelSzDrv, LabelSzNeed;       // seldir
  HWND Label5, LabelBack, LabelBack2;                                    // confirm
  HWND LabelCopyCap, LabelCopy, Progress;                                // copy
  HWND LabelExit;                                                        // exit
  HWND LabelUninst, Label7, CheckDelSave;                                // uninst
  HWND LabelDelTitle, LabelDel;                                          // delete

  static constexpr int kClientWidth = 497;
  static constexpr int kClientHeight = 336;
  static constexpr int kNotebookHeight = 293;
  static constexpr int kButtonTop = 300;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void ControlCommand(HWND control, int code) override;
  bool CloseQuery() override { return flow_.FormCloseQuery(); }

 private:
  // WizardView
  void RunInstallProcedure() override;
  void ShowFlowState() override { Render(); }

  HWND Add(int page, const char* name, const wchar_t* window_class, const std::string& caption, DWORD style,
           int left, int top, int width, int height);
  HWND AddBox(int page, const char* name, const std::string& caption, DWORD style, int left, int top,
              int width);
  void BuildPages();
  // Hands the user's changes to the flow, runs `handler`, shows the outcome; errors go to the error
  // box. The modal run closes the window on a modal result once the handler has returned.
  template <typename Handler>
  void Forward(Handler handler);
  void Pull();
  void Render();
  void ShowDirectory();
  void FillDriveList();
  // Page membership and the flow's own visibility rule of each control.
  void ShowControls();
  // The tool tip of the file line under the pointer, shown or hidden as the pointer moves.
  void FollowPointerWithTip();
  void SetTip(HWND label, const std::string& text);

  std::map<HWND, int> page_of_;  // controls that belong to one page
  std::map<HWND, bool> hidden_;  // controls an engine or the flow hid
  std::map<HWND, std::wstring> shown_text_;
  std::vector<std::filesystem::path> drives_, folders_;
  std::filesystem::path listed_folder_;
  bool rendering_ = false;
  WizardControlSet<HWND> engine_controls_;  // what the engines write to
  ProgressScale progress_scale_;
  HWND tool_tip_ = nullptr;   // the whole line of the file labels, whose text is cut in the middle
  HWND tip_label_ = nullptr;  // the file label under the pointer at the last look
  bool tip_shown_ = false;
};

}  // namespace vn
