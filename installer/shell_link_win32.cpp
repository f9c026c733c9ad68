// Shortcuts on Windows: shell links (".lnk") written through the shell link object, in the shell's
// special folders; a program group is a folder of them.
#include <windows.h>
// after <windows.h>, whose types they use
#include <objbase.h>
#include <shlobj.h>

#include "installer/shell_link.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/system.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

std::wstring Wide(std::string_view utf8) {
  return Utf8ToPath(utf8).native();
}

// The hot key as the shell takes it: the key code in the low byte, the modifiers Shift/Ctrl/Alt
// from the bits 0x2000/0x4000/0x8000 moved to 0x100/0x200/0x400.
WORD ShellHotKey(uint16_t key) {
  WORD result = key & 0x1FFF;
  if (key & 0x2000) result |= 0x100;
  if (key & 0x4000) result |= 0x200;
  if (key & 0x8000) result |= 0x400;
  return result;
}

int ShowCommand(TWindowState state) {
  switch (state) {
    case TWindowState::Minimized:
      return SW_SHOWMINNOACTIVE;
    case TWindowState::Maximized:
      return SW_SHOWMAXIMIZED;
    default:
      return SW_SHOWNORMAL;
  }
}

// COM for this thread while the object lives; a thread that has it already keeps its own.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  void** out() { return reinterpret_cast<void**>(&p_); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace

std::string SafeFileName(std::string_view name) {
  // What Windows refuses in a name, besides the folder delimiters.
  static constexpr std::string_view kUnsafe = "/\\:*?\"<>|";
  std::string out;
  for (char c : name) {
    out += (kUnsafe.find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
  }
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.back() = '_';
  if (out.empty() || out == "." || out == "..") return "_";
  return out;
}

fs::path TShellLink::CreateLink() {
  const fs::path folder = MakeLinkFolder();
  const fs::path link_file = folder / Utf8ToPath(SafeFileName(Name) + ".lnk");

  const ComScope com;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.out()))) {
    throw EShellLinkError("Error in QueryInterface");
  }
  link->SetDescription(Wide(Description).c_str());
  link->SetPath(FileName.c_str());
  link->SetWorkingDirectory(WorkDir.c_str());
  link->SetArguments(Wide(Arguments).c_str());
  link->SetHotkey(ShellHotKey(HotKey));
  link->SetShowCmd(ShowCommand(WindowState));
  link->SetIconLocation(FileName.c_str(), IconIndex);
  // A link that was not written is an error: the installer would otherwise report a menu entry
  // that does not exist.
  if (FAILED(file->Save(link_file.c_str(), TRUE))) {
    throw EShellLinkError(PathToUtf8(link_file) + ": the shortcut cannot be written");
  }
  return link_file;
}

void TShellLink::RemoveFolder() {
  if (SubDir.empty()) return;  // the special folder itself is never emptied
  DeleteFolderTree(LinkFolder());
}

}  // namespace vn
