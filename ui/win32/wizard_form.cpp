#include "ui/win32/wizard_form.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <system_error>

#include "launcher/shared_archive.h"
#include "messages/messages.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "settings/settings.h"
#include "ui/win32/folder_chooser.h"
#include "ui/win32/form_style.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr int kNoPage = -1;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kLeft = 24;
constexpr int kInnerWidth = TFormType::kClientWidth - 2 * kLeft;
constexpr int kLabelWidth = TFormType::kClientWidth - kLeft - 8;  // long lines may pass the margin
constexpr int kLabelHeight = 14;
constexpr int kRowHeight = 17;
constexpr int kTextLimit = 5242880;  // characters a text page holds
constexpr size_t kMaxListedFolders = 2000;

constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
// A line naming a file: cut in the middle when too long, the whole line as its tool tip.
constexpr DWORD kFileLabel = kLabel | SS_PATHELLIPSIS;
// The tool tip looks where the pointer is this often, and shows after two looks on the same line.
constexpr UINT_PTR kTipTimer = 1;
constexpr UINT kTipInterval = 250;
constexpr DWORD kCheckBox = WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kTextPage = WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;

// A multi-line edit wants "\r\n" between lines.
std::wstring EditText(const std::string& utf8) {
  std::wstring text = Wide(CrLfLineBreaks(utf8));
  if (text.size() > static_cast<size_t>(kTextLimit)) text.resize(kTextLimit);
  return text;
}

bool Checked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::wstring WindowText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(window, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

// The width of a check box with `caption`: its box and the text as drawn (without the '&' that marks
// the accelerator). The box is the system's, larger on a screen of more dots per inch that the
// system does not stretch the window for (Wine's).
int BoxWidth(std::string caption) {
  caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
  return TextWidth(Wide(caption)) + std::max(24, GetSystemMetrics(SM_CXMENUCHECK) + 11);
}

// The tool tip's record of a file line of the wizard `owner`.
TTTOOLINFOW TipTool(HWND owner, HWND label) {
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(label);
  return tool;
}

// Whether a window the wizard owns (a question, the folder chooser) lies in front of it at a point.
struct Cover {
  HWND owner, tip;
  POINT at;
  bool covered = false;
};

BOOL CALLBACK FindCover(HWND window, LPARAM param) {
  auto* c = reinterpret_cast<Cover*>(param);
  RECT r{};
  if (window != c->tip && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == c->owner &&
      GetWindowRect(window, &r) && PtInRect(&r, c->at))
    c->covered = true;
  return c->covered ? FALSE : TRUE;
}

}  // namespace

TFormType::TFormType(TVondInstallSet& settings, HWND owner, fs::path source_folder)
    : WizardFrontEnd(settings, std::move(source_folder)) {
  CreateForm(owner, Wide(Tr(Msg::kWizardCaption)), kClientWidth, kClientHeight);
  BuildPages();
  FillDriveList();
  Forward([this] { flow_.FormCreate(); });
}

HWND TFormType::Add(int page, const char* name, const wchar_t* window_class, const std::string& caption,
                    DWORD style, int left, int top, int width, int height) {
  HWND control = AddControl(name, window_class, Wide(caption), style, left, top, width, height);
  if (page != kNoPage) page_of_[control] = page;
  return control;
}

// A check box or radio button in its designed row at `top`, as high as the system's box needs (on a
// screen of more dots per inch that the system does not stretch the window for), centred on the row.
HWND TFormType::AddBox(int page, const char* name, const std::string& caption, DWORD style, int left, int top,
                       int width) {
  const int height = std::max(kRowHeight, GetSystemMetrics(SM_CYMENUCHECK) + 2);
  return Add(page, name, L"Button", caption, style, left, top - (height - kRowHeight) / 2, width, height);
}

void TFormType::BuildPages() {
  // The controls of every page, each page's in its tab order; the buttons last, as they lie below.
  EditHello = Add(kPageHello, "EditHello", L"Edit", "", kTextPage, 16, 16, kClientWidth - 32, 261);

  Label2 = Add(kPageLicense, "Label2", L"Static", Tr(Msg::kLicenseLine1), kLabel, 16, 12, kClientWidth - 32,
               kLabelHeight);
  Label4 = Add(kPageLicense, "Label4", L"Static", Tr(Msg::kLicenseLine2), kLabel, 16, 28, kClientWidth - 32,
               kLabelHeight);
  EditLicense = Add(kPageLicense, "EditLicense", L"Edit", "", kTextPage, 16, 48, kClientWidth - 32, 208);
  CheckLicense = AddBox(kPageLicense, "CheckLicense", Tr(Msg::kLicenseAgree), kCheckBox, 16, 266,
                        BoxWidth(Tr(Msg::kLicenseAgree)));

  LabelDisk = Add(kPageMedia, "LabelDisk", L"Static", "", kLabel, kLeft, 24, kLabelWidth, kLabelHeight);
  RadioDiskAll =
      AddBox(kPageMedia, "RadioDiskAll", "", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 48, 64, 300);
  RadioDiskThis = AddBox(kPageMedia, "RadioDiskThis", "", WS_TABSTOP | BS_AUTORADIOBUTTON, 48, 92, 300);

  Label1 =
      Add(kPageFile, "Label1", L"Static", Tr(Msg::kFileChoose), kLabel, kLeft, 24, kLabelWidth, kLabelHeight);
  const auto add_box = [this](const char* name, const char* caption, int top, DWORD extra) {
    return AddBox(kPageFile, name, caption, kCheckBox | extra, 48, top, BoxWidth(caption));
  };
  CheckProg = add_box("CheckProg", Tr(Msg::kComponentProgram), 60,
                      WS_GROUP | WS_DISABLED);           // ends the radio group above
  SendMessageW(CheckProg, BM_SETCHECK, BST_CHECKED, 0);  // the program files are always installed
  CheckData = add_box("CheckData", Tr(Msg::kComponentData), 88, 0);
  CheckSound = add_box("CheckSound", Tr(Msg::kComponentSound), 116, 0);
  CheckMovie = add_box("CheckMovie", Tr(Msg::kComponentMovie), 144, 0);
  LabelSize = Add(kPageFile, "LabelSize", L"Static", "", kLabel, kLeft, 250, kLabelWidth, kLabelHeight);

  Label3 = Add(kPageSelDir, "Label3", L"Static", Tr(Msg::kSelDirChoose), kLabel, kLeft, 12, kLabelWidth,
               kLabelHeight);
  EditDir = Add(kPageSelDir, "EditDir", L"Edit", "", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kLeft, 30,
                kInnerWidth, 21);
  Drive = Add(kPageSelDir, "Drive", L"ComboBox", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kLeft, 57,
              kInnerWidth, 200);
  Directory = Add(kPageSelDir, "Directory", L"ListBox", "",
                  WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, kLeft, 85,
                  kInnerWidth, 161);
  LabelSzDrv = Add(kPageSelDir, "LabelSzDrv", L"Static", "", kLabel, kLeft, 254, kLabelWidth, kLabelHeight);
  LabelSzNeed = Add(kPageSelDir, "LabelSzNeed", L"Static", "", kLabel, kLeft, 272, kLabelWidth, kLabelHeight);

  Label5 = Add(kPageConfirm, "Label5", L"Static", Tr(Msg::kConfirmReady), kLabel, kLeft, 24, kLabelWidth,
               kLabelHeight);
  LabelBack = Add(kPageConfirm, "LabelBack", L"Static", Tr(Msg::kConfirmBack1), kLabel, kLeft, 60,
                  kLabelWidth, kLabelHeight);
  LabelBack2 = Add(kPageConfirm, "LabelBack2", L"Static", Tr(Msg::kConfirmBack2), kLabel, kLeft, 76,
                   kLabelWidth, kLabelHeight);

  LabelCopyCap = Add(kPageCopy, "LabelCopyCap", L"Static", Tr(Msg::kCopyingFiles), kLabel, kLeft, 24,
                     kLabelWidth, kLabelHeight);
  // The file line ends where the bar below it ends.
  LabelCopy = Add(kPageCopy, "LabelCopy", L"Static", "...", kFileLabel, kLeft, 60, kInnerWidth, kLabelHeight);
  Progress = Add(kPageCopy, "Progress", PROGRESS_CLASSW, "", 0, kLeft, 84, kInnerWidth, 20);
  SendMessageW(Progress, PBM_SETRANGE32, 0, 100);

  LabelExit = Add(kPageExit, "LabelExit", L"Static", Tr(Msg::kInstallCompleted), kLabel, kLeft, 24,
                  kLabelWidth, kLabelHeight);

  LabelUninst = Add(kPageUninst, "LabelUninst", L"Static", "", kLabel, kLeft, 24, kLabelWidth, kLabelHeight);
  Label7 = Add(kPageUninst, "Label7", L"Static", Tr(Msg::kUninstClick), kLabel, kLeft, 60, kLabelWidth,
               kLabelHeight);
  CheckDelSave = AddBox(kPageUninst, "CheckDelSave", Tr(Msg::kDeleteSaveData), kCheckBox, kLeft, 100,
                        BoxWidth(Tr(Msg::kDeleteSaveData)));

  LabelDelTitle = Add(kPageDelete, "LabelDelTitle", L"Static", Tr(Msg::kDeletingFiles), kLabel, kLeft, 24,
                      kLabelWidth, kLabelHeight);
  LabelDel = Add(kPageDelete, "LabelDel", L"Static", "", kFileLabel, kLeft, 60, kLabelWidth, kLabelHeight);

  Bevel = Add(kNoPage, "Bevel", L"Static", "", SS_ETCHEDHORZ, 0, kNotebookHeight, kClientWidth, 2);
  // An etched line adds its edge to the size it was made with; the line spans the client width.
  SetWindowPos(Bevel, nullptr, 0, kNotebookHeight, kClientWidth, 2, SWP_NOZORDER | SWP_NOACTIVATE);
  btnBack = Add(kNoPage, "btnBack", L"Button", Tr(Msg::kWizardBack), WS_TABSTOP | BS_PUSHBUTTON, 244,
                kButtonTop, kButtonWidth, kButtonHeight);
  btnNext = Add(kNoPage, "btnNext", L"Button", Tr(Msg::kWizardNext), WS_TABSTOP | BS_DEFPUSHBUTTON, 324,
                kButtonTop, kButtonWidth, kButtonHeight);
  btnAbort = Add(kNoPage, "btnAbort", L"Button", Tr(Msg::kWizardAbort), WS_TABSTOP | BS_PUSHBUTTON, 416,
                 kButtonTop, kButtonWidth, kButtonHeight);
  EnableWindow(btnBack, FALSE);
  SetDefaultButton(btnNext);
  tool_tip_ = CreateWindowExW(
      WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  for (HWND label : {LabelCopy, LabelDel}) {
    TTTOOLINFOW tool = TipTool(Handle(), label);
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tool_tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageW(tool_tip_, TTM_SETMAXTIPWIDTH, 0, kClientWidth);                      // a long path wraps
  SendMessageW(tool_tip_, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);  // Japanese names too
  SetTimer(Handle(), kTipTimer, kTipInterval, nullptr);
  SendMessageW(EditHello, EM_SETLIMITTEXT, kTextLimit, 0);
  SendMessageW(EditLicense, EM_SETLIMITTEXT, kTextLimit, 0);
  engine_controls_ = {LabelCopyCap, LabelCopy, Progress, LabelDelTitle, LabelDel, LabelExit};
}

void TFormType::FillDriveList() {
  drives_ = OfferedDrives();
  SendMessageW(Drive, CB_RESETCONTENT, 0, 0);
  for (const fs::path& root : drives_) {
    SendMessageW(Drive, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root.c_str()));
  }
}

template <typename Handler>
void TFormType::Forward(Handler handler) {
  Pull();
  ++handler_depth_;
  try {
    handler();
  } catch (const std::exception& e) {
    ShowErrorBox(Handle(), e.what());
  }
  --handler_depth_;
  Render();
}

void TFormType::Pull() {
  WizardControls& c = flow_.Controls();
  c.CheckLicense = Checked(CheckLicense);
  c.RadioDiskAll = Checked(RadioDiskAll);
  c.RadioDiskThis = Checked(RadioDiskThis);
  c.CheckProg = Checked(CheckProg);
  c.CheckData = Checked(CheckData);
  c.CheckSound = Checked(CheckSound);
  c.CheckMovie = Checked(CheckMovie);
  c.EditDir = Narrow(WindowText(EditDir));
  c.CheckDelSave = Checked(CheckDelSave);
}

void TFormType::ShowControls() {
  const WizardControls& c = flow_.Controls();
  const std::map<HWND, bool> shown_by_flow = {
      {CheckProg, c.ProgVisible},       {CheckData, c.DataVisible},      {CheckSound, c.SoundVisible},
      {CheckMovie, c.MovieVisible},     {LabelBack, c.LabelBackVisible}, {LabelBack2, c.LabelBackVisible},
      {CheckDelSave, c.DelSaveVisible},
  };
  for (const auto& [control, page] : page_of_) {
    bool visible = page == c.page;
    if (const auto rule = shown_by_flow.find(control); rule != shown_by_flow.end())
      visible = visible && rule->second;
    if (const auto hidden = hidden_.find(control); hidden != hidden_.end())
      visible = visible && !hidden->second;
    ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
  }
}

void TFormType::Render() {
  rendering_ = true;
  WizardControls& c = flow_.Controls();
  SetCaption(Wide(c.caption));
  const auto set_text = [this](HWND control, const std::wstring& text) {
    std::wstring& shown = shown_text_[control];
    if (shown == text) return;
    shown = text;
    SetWindowTextW(control, text.c_str());
  };
  const auto show_button = [&](HWND button, const WizardButton& state) {
    ShowWindow(button, state.visible ? SW_SHOWNA : SW_HIDE);
    EnableWindow(button, state.enabled);
    set_text(button, Wide(state.caption));
  };
  show_button(btnBack, c.btnBack);
  show_button(btnNext, c.btnNext);
  show_button(btnAbort, c.btnAbort);

  set_text(EditHello, EditText(c.EditHello));
  set_text(EditLicense, EditText(c.EditLicense));
  const auto check = [](HWND box, bool on) {
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  };
  check(CheckLicense, c.CheckLicense);
  set_text(LabelDisk, Wide(c.LabelDisk));
  set_text(RadioDiskAll, Wide(c.RadioDiskAllText));
  set_text(RadioDiskThis, Wide(c.RadioDiskThisText));
  check(RadioDiskAll, c.RadioDiskAll);
  check(RadioDiskThis, c.RadioDiskThis);
  check(CheckProg, c.CheckProg);
  check(CheckData, c.CheckData);
  check(CheckSound, c.CheckSound);
  check(CheckMovie, c.CheckMovie);
  set_text(LabelSize, Wide(c.LabelSize));

  if (Narrow(WindowText(EditDir)) != c.EditDir) SetWindowTextW(EditDir, Wide(c.EditDir).c_str());
  ShowDirectory();
  set_text(LabelSzDrv, Wide(c.LabelSzDrv));
  set_text(LabelSzNeed, Wide(c.LabelSzNeed));
  set_text(LabelUninst, Wide(c.LabelUninst));
  check(CheckDelSave, c.CheckDelSave);
  ShowControls();
  // The default button follows the flow's Next; a hidden one cannot be pressed by Return.
  if (c.focus_abort) {
    SetFocus(btnAbort);
    c.focus_abort = false;
  }
  const HWND focus = GetFocus();
  if (focus && IsChild(Handle(), focus) && (!IsWindowVisible(focus) || !IsWindowEnabled(focus))) {
    SetFocus(IsWindowVisible(btnNext) && IsWindowEnabled(btnNext) ? btnNext : btnAbort);
  }
  rendering_ = false;
}

// The folder list as a folder tree shows it: the drive's root, each folder down to the chosen one,
// then the chosen one's sub-folders, indented by depth.
void TFormType::ShowDirectory() {
  const WizardControls& c = flow_.Controls();
  const int drive_index =
      static_cast<int>(std::find(drives_.begin(), drives_.end(), c.Drive) - drives_.begin());
  SendMessageW(Drive, CB_SETCURSEL, drive_index < static_cast<int>(drives_.size()) ? drive_index : -1, 0);
  if (c.Directory == listed_folder_) return;
  listed_folder_ = c.Directory;
  folders_.clear();
  SendMessageW(Directory, LB_RESETCONTENT, 0, 0);
  if (c.Directory.empty()) return;
  std::vector<fs::path> chain;
  for (fs::path p = c.Directory; !p.empty(); p = p.parent_path()) {
    chain.insert(chain.begin(), p);
    if (p == p.parent_path()) break;
  }
  std::vector<fs::path> children;
  std::error_code ec;
  for (fs::directory_iterator it(c.Directory, ec), end;
       !ec && it != end && children.size() < kMaxListedFolders; it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_directory(type_ec)) children.push_back(it->path());
  }
  std::sort(children.begin(), children.end());
  const auto add = [this](const fs::path& folder, size_t depth) {
    const std::wstring name = folder.has_filename() ? folder.filename().wstring() : folder.wstring();
    const std::wstring text = std::wstring(depth * 2, L' ') + name;
    SendMessageW(Directory, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    folders_.push_back(folder);
  };
  for (size_t i = 0; i < chain.size(); ++i) add(chain[i], i);
  for (const fs::path& child : children) add(child, chain.size());
  SendMessageW(Directory, LB_SETCURSEL, chain.size() - 1, 0);
}

void TFormType::DisplayPage(int index) {
  WizardControls& c = flow_.Controls();
  c.page = index;
  // From "copy" on, only Abort remains; while a procedure runs it reads 中断.
  if (index == kPageCopy || index == kPageDelete) {
    c.btnBack.visible = c.btnNext.visible = false;
    c.btnAbort = {true, true, Tr(Msg::kWizardAbort)};
  }
  Render();
}

void TFormType::Press(HWND button) {
  SendMessageW(Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

LRESULT TFormType::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  // The text pages are read-only edits shown as ordinary (white) text boxes.
  if (message == WM_CTLCOLORSTATIC) {
    const HWND control = reinterpret_cast<HWND>(lparam);
    if (control == EditHello || control == EditLicense) {
      SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
  }
  if (message == WM_TIMER && wparam == kTipTimer) {
    FollowPointerWithTip();
    return 0;
  }
  return TForm::HandleMessage(message, wparam, lparam);
}

// The file lines' tool tip follows the pointer itself: the system's own hears of the pointer through
// the window's mouse messages, which stop while a question (a message box during the copy) disables
// the window, just when the user wants to read the whole name.
void TFormType::FollowPointerWithTip() {
  POINT at{};
  HWND over = nullptr;
  if (GetCursorPos(&at)) {
    for (HWND label : {LabelCopy, LabelDel}) {
      RECT r{};
      if (IsWindowVisible(label) && GetWindowRect(label, &r) && PtInRect(&r, at)) over = label;
    }
  }
  if (over) {
    Cover cover{Handle(), tool_tip_, at};
    EnumThreadWindows(GetCurrentThreadId(), FindCover, reinterpret_cast<LPARAM>(&cover));
    if (cover.covered) over = nullptr;
  }
  if (over != tip_label_) {
    if (tip_label_ && tip_shown_) {
      TTTOOLINFOW tool = TipTool(Handle(), tip_label_);
      SendMessageW(tool_tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    }
    tip_label_ = over;
    tip_shown_ = false;
    return;
  }
  if (!over || tip_shown_) return;
  RECT r{};
  GetWindowRect(over, &r);
  TTTOOLINFOW tool = TipTool(Handle(), over);
  SendMessageW(tool_tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, r.bottom + 2));
  SendMessageW(tool_tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  tip_shown_ = true;
}

void TFormType::SetTip(HWND label, const std::string& text) {
  const std::wstring tip = Wide(text);
  TTTOOLINFOW tool = TipTool(Handle(), label);
  tool.lpszText = const_cast<wchar_t*>(tip.c_str());
  SendMessageW(tool_tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  if (label == tip_label_ && tip_shown_) SendMessageW(tool_tip_, TTM_UPDATE, 0, 0);  // the next file
}

void TFormType::ControlCommand(HWND control, int code) {
  if (rendering_) return;
  if (code == BN_CLICKED) {
    if (control == btnNext) Forward([this] { flow_.btnNextClick(); });
    if (control == btnBack) Forward([this] { flow_.btnBackClick(); });
    if (control == btnAbort) Forward([this] { flow_.btnAbortClick(); });
    if (control == CheckLicense) Forward([this] { flow_.CheckLicenseClick(); });
    if (control == CheckProg) Forward([this] { flow_.CheckProgClick(); });
    if (control == CheckData || control == CheckSound || control == CheckMovie)
      Forward([this] { flow_.CheckDataClick(); });
    if (control == RadioDiskAll || control == RadioDiskThis) Pull();
  } else if (code == EN_CHANGE && control == EditDir) {
    Forward([this] { flow_.EditDirChange(); });  // the space line and the lists follow the typed folder
  } else if (code == CBN_SELCHANGE && control == Drive) {
    const LRESULT index = SendMessageW(Drive, CB_GETCURSEL, 0, 0);
    if (index >= 0 && static_cast<size_t>(index) < drives_.size()) {
      const fs::path drive = drives_[static_cast<size_t>(index)];
      Forward([this, drive] { flow_.DriveChange(drive); });
    }
  } else if (code == LBN_DBLCLK && control == Directory) {
    const LRESULT index = SendMessageW(Directory, LB_GETCURSEL, 0, 0);
    if (index >= 0 && static_cast<size_t>(index) < folders_.size()) {
      const fs::path folder = folders_[static_cast<size_t>(index)];
      Forward([this, folder] { flow_.DirectoryChange(folder); });
    }
  }
}

void TFormType::RunInstallProcedure() {
  RunInstall(*this, settings_, RunningInstallSource(SourceFolder(), SharedArchive()));
}

// --- WizardHost -------------------------------------------------------------------------------

void TFormType::SetText(WizardControl control, const std::string& text) {
  SetFileText(control, text, text);  // a file line's tip says what the line says
}

void TFormType::SetFileText(WizardControl control, const std::string& text, const std::string& whole) {
  if (control == WizardControl::Progress) return;
  const HWND label = engine_controls_[control];
  if (!label) return;
  SetWindowTextW(label, Wide(text).c_str());
  if (label == LabelCopy || label == LabelDel) SetTip(label, whole);
}

void TFormType::SetVisible(WizardControl control, bool visible) {
  if (HWND target = engine_controls_[control]) {
    hidden_[target] = !visible;
    ShowControls();
  }
}

void TFormType::SetProgressMax(int64_t maximum) {
  SendMessageW(Progress, PBM_SETRANGE32, 0, static_cast<LPARAM>(progress_scale_.SetMaximum(maximum)));
}

void TFormType::SetProgressPosition(int64_t position) {
  SendMessageW(Progress, PBM_SETPOS, static_cast<WPARAM>(progress_scale_.Position(position)), 0);
}

void TFormType::ProcessMessages() {
  Render();
  TForm::ProcessMessages();
}

DialogButton TFormType::MessageDialog(DialogKind kind, const std::string& text, unsigned buttons) {
  return ShowMessageDialog(Handle(), kind, text, buttons);
}

std::optional<fs::path> TFormType::ChooseDiscFolder(const std::string& prompt) {
  // Opens beside the current disc, where the other discs of a copied set or other media lie.
  fs::path disc = SourceFolder();
  if (!disc.has_filename()) disc = disc.parent_path();  // a folder given with its trailing delimiter
  return ChooseFolder(Handle(), prompt, disc.parent_path());
}

void TFormType::Sleep(int milliseconds) {
  ::Sleep(static_cast<DWORD>(std::max(milliseconds, 0)));
}

void TFormType::BringToFront() {
  SetForegroundWindow(Handle());
}

}  // namespace vn
