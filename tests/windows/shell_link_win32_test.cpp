#include <windows.h>
// after <windows.h>, whose types they use
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "installer/shell_link.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/system.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// What the shell reads back from a link file.
struct LinkContent {
  std::wstring target, arguments, work_dir;
  WORD hot_key = 0;
};

LinkContent ReadLink(const fs::path& file) {
  LinkContent c;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
    wchar_t buffer[MAX_PATH] = {};
    link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
    c.target = buffer;
    link->GetArguments(buffer, MAX_PATH);
    c.arguments = buffer;
    link->GetWorkingDirectory(buffer, MAX_PATH);
    c.work_dir = buffer;
    link->GetHotkey(&c.hot_key);
  }
  if (persist) persist->Release();
  if (link) link->Release();
  CoUninitialize();
  return c;
}

TEST(Win32ShellLink, ProgramGroupOfShellLinks) {
  const std::string group = "vnsetup check: " + std::to_string(GetCurrentProcessId()) + " \xE8\xA1\xA8";
  const fs::path exe = OwnExecutablePath();
  CreateShortcut("\xE8\xA1\xA8 game", exe, "\"C:\\a b\\\" x", 0, 0x4000 | 'G', TWindowState::Maximized, group,
                 kProgramGroupType, exe.parent_path(), "the game");

  TShellLink where;
  where.LinkType = kProgramGroupType;
  where.SubDir = group;
  const fs::path folder = where.LinkFolder();
  EXPECT_EQ(folder,
            GetSpecialFolder(kCsidlPrograms) /
                Utf8ToPath("vnsetup check_ " + std::to_string(GetCurrentProcessId()) + " \xE8\xA1\xA8"));
  const fs::path file = folder / Utf8ToPath("\xE8\xA1\xA8 game.lnk");
  ASSERT_TRUE(fs::is_regular_file(file));
  const LinkContent c = ReadLink(file);
  EXPECT_EQ(fs::path(c.target), exe);
  EXPECT_EQ(c.arguments, L"\"C:\\a b\\\" x");
  EXPECT_EQ(fs::path(c.work_dir), exe.parent_path());
  EXPECT_EQ(c.hot_key, 0x200 | 'G');  // Ctrl moved to the shell's modifier bits
  // (The show state is written too, but Wine does not read it back.)

  DeleteShortcutFolder(kProgramGroupType, group);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(SafeFileName("a<b>|c. "), "a_b__c._");
}

}  // namespace
}  // namespace vn
