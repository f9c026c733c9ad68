#include "ui/win32/folder_chooser.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <set>
#include <system_error>
#include <vector>

#include "installer/wizard_host.h"
#include "messages/messages.h"
#include "platform/volumes.h"
#include "ui/win32/form.h"
#include "ui/win32/form_style.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 370;
constexpr int kMargin = 12;
constexpr size_t kMaxListedFolders = 2000;

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

// The sub-folders of `folder` in name order (hidden ones, such as the recycle bin, left out).
std::vector<std::wstring> SubFolders(const fs::path& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder / L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN))
      names.push_back(name);
  } while (names.size() < kMaxListedFolders && FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
  });
  return names;
}

class TFolderForm : public TForm {
 public:
  TFolderForm(HWND owner, const std::wstring& prompt, const fs::path& start) {
    CreateForm(owner, Wide(Tr(Msg::kFolderBrowse)), kWidth, kHeight);
    const int inner = kWidth - 2 * kMargin;
    AddControl("Prompt", L"Static", prompt, SS_LEFT | SS_NOPREFIX, kMargin, kMargin, inner, 28);
    tree_ = AddControl(
        "Tree", WC_TREEVIEWW, L"",
        WS_TABSTOP | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, kMargin,
        44, inner, 230);
    AddControl("LabelFolder", L"Static", Wide(Tr(Msg::kFolderLabel)), SS_LEFT, kMargin, 284, inner, 14);
    edit_ = AddControl("EditFolder", L"Edit", L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kMargin, 300,
                       inner, 21);
    ok_ = AddControl("OK", L"Button", Wide(Tr(Msg::kButtonOK)), WS_TABSTOP | BS_DEFPUSHBUTTON,
                     kWidth - kMargin - 156, 333, 75, 25);
    abort_ = AddControl("Abort", L"Button", Wide(Tr(Msg::kFolderAbort)), WS_TABSTOP | BS_PUSHBUTTON,
                        kWidth - kMargin - 75, 333, 75, 25);
    SetDefaultButton(ok_);
    AddDrives();
    OpenAt(start);
  }

  std::optional<fs::path> Chosen() const {
    const int n = GetWindowTextLengthW(edit_);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(edit_, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    if (text.empty()) return std::nullopt;
    return fs::path(text);
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_NOTIFY) {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->hwndFrom == tree_) {
        const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lparam);
        if (header->code == TVN_ITEMEXPANDINGW && (change->action & TVE_EXPAND)) Fill(change->itemNew.hItem);
        if (header->code == TVN_SELCHANGEDW) {
          const auto path = paths_.find(change->itemNew.hItem);
          if (path != paths_.end()) SetWindowTextW(edit_, path->second.c_str());
        }
        return 0;
      }
    }
    return TForm::HandleMessage(message, wparam, lparam);
  }

  void ControlCommand(HWND control, int code) override {
    if (code != BN_CLICKED) return;
    if (control == ok_) SetFormResult(mrOK);
    if (control == abort_) SetFormResult(mrCancel);
  }

 private:
  // An item whose folder may hold sub-folders: its button shows until it is opened.
  HTREEITEM AddItem(HTREEITEM parent, const std::wstring& text, const fs::path& path) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.cChildren = 1;
    const auto item = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (item) paths_[item] = path;
    return item;
  }

  void AddDrives() {
    for (const fs::path& root : OfferedDrives()) AddItem(TVI_ROOT, root.native(), root);
  }

  // The sub-folders of an item, listed when it is first opened; without any its button goes.
  void Fill(HTREEITEM item) {
    if (!filled_.insert(item).second) return;
    const auto path = paths_.find(item);
    if (path == paths_.end()) return;
    const fs::path folder = path->second;
    const std::vector<std::wstring> names = SubFolders(folder);
    for (const std::wstring& name : names) AddItem(item, name, folder / name);
    if (names.empty()) {
      TVITEMW none{};
      none.mask = TVIF_CHILDREN;
      none.hItem = item;
      none.cChildren = 0;
      SendMessageW(tree_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&none));
    }
  }

  HTREEITEM Child(HTREEITEM parent, const std::wstring& name) const {
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(
        tree_, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, reinterpret_cast<LPARAM>(parent)));
    for (; item; item = reinterpret_cast<HTREEITEM>(
                     SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
      const auto path = paths_.find(item);
      if (path == paths_.end()) continue;
      const std::wstring own = parent ? path->second.filename().wstring() : path->second.wstring();
      if (SameName(own, name)) return item;
    }
    return nullptr;
  }

  // Opens the tree down to `start`, as far as it exists, and selects that folder.
  void OpenAt(fs::path start) {
    std::error_code ec;
    while (!start.empty() && !fs::is_directory(start, ec) && start != start.parent_path())
      start = start.parent_path();
    if (start.empty() || !start.has_root_name()) return;
    HTREEITEM item = Child(nullptr, (start.root_name() / L"\\").wstring());
    for (const fs::path& part : start.relative_path()) {
      if (!item || part.empty()) break;
      Fill(item);
      SendMessageW(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
      HTREEITEM next = Child(item, part.wstring());
      if (!next) break;
      item = next;
    }
    if (!item) return;
    SendMessageW(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    SendMessageW(tree_, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  }

  HWND tree_ = nullptr, edit_ = nullptr, ok_ = nullptr, abort_ = nullptr;
  std::map<HTREEITEM, fs::path> paths_;
  std::set<HTREEITEM> filled_;
};

}  // namespace

std::optional<fs::path> ChooseFolder(HWND owner, const std::string& prompt, const fs::path& start) {
  TFolderForm form(owner, Wide(prompt), start);
  if (owner) form.CenterOn(owner);
  if (form.ShowModal() != mrOK) return std::nullopt;
  return form.Chosen();
}

}  // namespace vn
