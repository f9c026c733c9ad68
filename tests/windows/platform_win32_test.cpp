#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/console.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/folder_handle.h"
#include "platform/folders.h"
#include "platform/mutex.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/special_folders.h"
#include "platform/system.h"
#include "platform/temporary_copy.h"
#include "platform/volumes.h"
#include "tests/windows/check_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// "表示" in code page 932: the second byte of 表 is 0x5C, a backslash when read byte by byte.
const DataString kHyouji("\x95\x5C\x8E\xA6");
const std::string kHyoujiUtf8 = "\xE8\xA1\xA8\xE7\xA4\xBA";

TEST(Win32Text, ConvertsThroughCodePage932WhateverTheLocale) {
  EXPECT_EQ(Cp932ToUtf8(kHyouji), kHyoujiUtf8);
  EXPECT_EQ(Utf8ToCp932(kHyoujiUtf8), kHyouji);
  // Half-width katakana and the backslash stay single bytes; 0x5C is not the yen sign.
  EXPECT_EQ(Cp932ToUtf8(DataString("\xB1\\")), "\xEF\xBD\xB1\\");

  // A lead byte without its trail byte, and an unassigned double-byte code.
  try {
    Cp932ToUtf8(DataString("ab\x81"));
    FAIL() << "a cut-off character converted";
  } catch (const EConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("offset 2"), std::string::npos) << e.what();
  }
  std::string out;
  EXPECT_FALSE(TryCp932ToUtf8(DataString("\x85\x40"), out));
  EXPECT_EQ(Cp932ToUtf8Lossy(DataString("a\x81")), "a\xEF\xBF\xBD");

  // No "best fit": a character code page 932 lacks is an error, not a look-alike or '?'.
  DataString cp932;
  EXPECT_FALSE(TryUtf8ToCp932("\xC3\xA9", cp932));  // e with acute
  // Exact means it converts back to the same text, as on POSIX: the yen sign and the minus sign are
  // refused, and the error names the character's place.
  EXPECT_FALSE(
      TryUtf8ToCp932("a\xC2\xA5"
                     "b",
                     cp932));
  EXPECT_FALSE(TryUtf8ToCp932("\xE2\x88\x92", cp932));
  try {
    Utf8ToCp932("ab\xC2\xA5");
    ADD_FAILURE() << "the yen sign converted";
  } catch (const EConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("byte 2"), std::string::npos) << e.what();
  }
  EXPECT_THROW(Utf8ToCp932("\xF0\x9F\x98\x80"), EConvertError);
  EXPECT_FALSE(TryUtf8ToCp932("\xFF", cp932));  // not UTF-8 at all
}

TEST(Win32Console, PatternsAndArgumentsAsFnmatchAndPosixGiveThem) {
  EXPECT_TRUE(MatchesPattern("*.TXT", "data/readme.txt"));  // '/' is an ordinary character
  EXPECT_TRUE(MatchesPattern("data/[a-c]?.dat", "DATA/B1.dat"));
  EXPECT_FALSE(MatchesPattern("data/[!a-c]?.dat", "data/b1.dat"));
  EXPECT_TRUE(MatchesPattern("a*b*c", "aXXbYYbZc"));
  EXPECT_FALSE(MatchesPattern("a*b*c", "aXXbYYbZ"));
  EXPECT_TRUE(MatchesPattern("x[", "x["));  // an open set stands for itself
  EXPECT_FALSE(MatchesPattern("?", ""));
  const std::vector<std::string> args = CommandLineArguments(0, nullptr);
  ASSERT_FALSE(args.empty());
  EXPECT_NE(args[0].find("windows_check"), std::string::npos);
}

TEST(Win32Files, JapaneseNamesReachTheFileSystemAsWideNames) {
  check::ScratchFolder dir("files");
  const DataString relative = kHyouji + DataString("\\") + kHyouji + DataString(".txt");
  const fs::path folder = JoinDataPath(dir.path(), kHyouji);
  ASSERT_TRUE(ForceDirectories(folder));
  const fs::path file = JoinDataPath(dir.path(), relative);
  WriteFileAtomically(file, "content");
  EXPECT_EQ(ReadWholeFile(file, kAnyFileSize), "content");
  // The wide name the system holds is the converted one.
  EXPECT_EQ(file, dir.path() / Utf8ToPath(kHyoujiUtf8) / Utf8ToPath(kHyoujiUtf8 + ".txt"));
  EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(PathToUtf8(file.filename()), kHyoujiUtf8 + ".txt");

  // Replacing keeps no temporary file behind.
  WriteFileAtomically(file, "second");
  std::vector<fs::path> entries;
  ListFolder(folder, 0x3F, true, true, entries, false, false, false, "");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(ReadWholeFile(entries[0], kAnyFileSize), "second");

  EXPECT_THROW(File(dir.path() / "missing", FileAccess::kRead), EFOpenError);
  EXPECT_THROW(JoinDataPath(dir.path(), DataString("..\\x")), EPathError);
}

TEST(Win32Files, DataPathsRefuseWhatWindowsWouldReadOtherwise) {
  check::ScratchFolder dir("names");
  // ".. " and "..." become ".." and "." once the system cuts trailing blanks and dots.
  for (const char* name : {".. \\x", "...\\x", "a.", "b ", "NUL", "con.txt", "data\\Aux .dat", "lpt1"}) {
    EXPECT_THROW(JoinDataPath(dir.path(), DataString(name)), EPathError) << name;
  }
  EXPECT_EQ(JoinDataPath(dir.path(), DataString("console.txt")), dir.path() / "console.txt");
  EXPECT_EQ(JoinDataPath(dir.path(), DataString("com10\\nul_.txt")), dir.path() / "com10" / "nul_.txt");
}

TEST(Win32Files, PositionedTransfersLeaveTheFilePositionAlone) {
  check::ScratchFolder dir("pos");
  File f(dir.path() / "f.bin", FileAccess::kCreate);
  f.Write("0123456789", 10);
  f.Seek(3);
  char buffer[4] = {};
  EXPECT_EQ(f.ReadAt(6, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(f.ReadAt(8, buffer, 4), 2);  // short only at the end
  f.WriteAt(0, "ab", 2);
  EXPECT_EQ(f.Position(), 3);
  f.SetSize(5);
  EXPECT_EQ(f.Size(), 5);
  EXPECT_EQ(f.Position(), 3);
  EXPECT_EQ(f.Read(buffer, 4), 2);
  EXPECT_EQ(std::string(buffer, 2), "34");
  f.Close();
  EXPECT_EQ(ReadWholeFile(dir.path() / "f.bin", kAnyFileSize), "ab234");

  // A window (a file inside a disc image): positions from its start, reads end at its end.
  File w = File::Window(dir.path() / "f.bin", 1, 3);
  EXPECT_EQ(w.Read(buffer, 4), 3);
  EXPECT_EQ(std::string(buffer, 3), "b23");
  EXPECT_EQ(w.Seek(1), 1);
  EXPECT_EQ(w.ReadAt(2, buffer, 4), 1);
  EXPECT_EQ(buffer[0], '3');
  EXPECT_EQ(w.Position(), 1);
  EXPECT_EQ(w.Size(), 3);
  EXPECT_THROW(w.Write("x", 1), EWriteError);
}

TEST(Win32Files, TimesAttributesCopiesAndDeletion) {
  check::ScratchFolder dir("ops");
  const fs::path source = dir.path() / "source.dat";
  const fs::path target = dir.path() / "target.dat";
  WriteFileAtomically(source, "data");
  const int32_t dos =
      static_cast<int32_t>((20u << 25) | (7u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 10u);
  ASSERT_TRUE(FileSetDate(source, dos));
  EXPECT_EQ(FileAge(source), dos);
  EXPECT_FALSE(FileSetDate(source, static_cast<int32_t>(13u << 21 | 1u << 16)));  // month 13
  EXPECT_EQ(FileAge(dir.path()), -1);                                             // a folder

  ASSERT_TRUE(CopyFileOver(source, target));
  EXPECT_EQ(ReadWholeFile(target, kAnyFileSize), "data");
  EXPECT_EQ(FileAge(target), dos);
  EXPECT_EQ(FileSizeOf(target), 4);

  // A read-only target is not overwritten, but it is deleted on request, as on POSIX.
  ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(IsReadOnly(target));
  EXPECT_FALSE(CopyFileOver(source, target));
  EXPECT_TRUE(DeleteFileIfExists(target));
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(DeleteFileIfExists(target));  // already gone

  // A tree with a read-only file and folder inside goes as a whole.
  const fs::path tree = dir.path() / "tree";
  ASSERT_TRUE(ForceDirectories(tree / "sub"));
  WriteFileAtomically(tree / "sub" / "locked.txt", "x");
  SetFileAttributesW((tree / "sub" / "locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((tree / "sub").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFolderTree(tree));
  EXPECT_FALSE(fs::exists(tree));
}

// Work through a folder handle: folders made on the way are reported, a file on the way is refused by
// name, and the folder held open cannot be renamed away (and replaced) meanwhile.
TEST(Win32Folders, FolderHandleWalksAndHoldsItsFolder) {
  check::ScratchFolder dir("handle");
  const FolderHandle folder = FolderHandle::Open(dir.path());
  std::vector<fs::path> created;
  const FolderHandle sub = folder.OpenFolder(fs::path("a") / "b", true, &created);
  EXPECT_EQ(created, (std::vector<fs::path>{fs::path("a"), fs::path("a") / "b"}));
  std::optional<File> made = folder.CreateNewFile(fs::path("a") / "b" / "f.txt");
  ASSERT_TRUE(made.has_value());
  made->Close();
  EXPECT_FALSE(folder.CreateNewFile(fs::path("a") / "b" / "f.txt").has_value());
  EXPECT_THROW(folder.OpenFolder(fs::path("a") / "b" / "f.txt" / "c", true), EPathError);
  EXPECT_EQ(folder.Stat(fs::path("a") / "b")->identity, sub.Identity());
  EXPECT_FALSE(MoveFileW((dir.path() / "a" / "b").c_str(), (dir.path() / "moved").c_str()));
  folder.Rename(fs::path("a") / "b" / "f.txt", "g.txt");
  EXPECT_TRUE(folder.RemoveFile("g.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "g.txt"));
}

TEST(Win32Folders, ListingSeesTheSystemsAttributes) {
  check::ScratchFolder dir("list");
  ForceDirectories(dir.path() / "folder");
  WriteFileAtomically(dir.path() / "folder" / "inner.txt", "i");
  WriteFileAtomically(dir.path() / "plain.exe", "p");
  WriteFileAtomically(dir.path() / "hidden.txt", "h");
  WriteFileAtomically(dir.path() / "locked.txt", "l");
  // The archive bit as a new file has it (Wine cannot take it off).
  SetFileAttributesW((dir.path() / "plain.exe").c_str(), FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesW((dir.path() / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesW((dir.path() / "locked.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);

  const auto names = [&](const std::vector<fs::path>& list) {
    std::vector<std::string> out;
    for (const fs::path& p : list) out.push_back(PathToUtf8(p.lexically_relative(dir.path())));
    std::sort(out.begin(), out.end());
    return out;
  };
  std::vector<fs::path> list;
  ListFolder(dir.path(), kFaDirectory, false, true, list, false, false, false, "");
  EXPECT_EQ(names(list), std::vector<std::string>{"folder"});
  ListFolder(dir.path(), kFaHidden, false, true, list, false, false, false, "");
  EXPECT_EQ(names(list), std::vector<std::string>{"hidden.txt"});
  ListFolder(dir.path(), 0, true, true, list, false, false, false, "");
  EXPECT_TRUE(list.empty());  // the archive bit is an attribute: no file here is plain
  ListFolder(dir.path(), kFaArchive, false, true, list, false, false, false, ".EXE");
  EXPECT_EQ(names(list), std::vector<std::string>{"plain.exe"});
  ListFolder(dir.path(), 0x3F, true, true, list, true, false, false, "");
  EXPECT_EQ(names(list), (std::vector<std::string>{"folder", "folder\\inner.txt", "hidden.txt", "locked.txt",
                                                   "plain.exe"}));

  // Clearing takes read-only and hidden off; the filter still saw them as found.
  ListFolder(dir.path(), kFaReadOnly | kFaHidden, false, true, list, false, false, true, "");
  EXPECT_EQ(names(list), (std::vector<std::string>{"hidden.txt", "locked.txt"}));
  EXPECT_FALSE(IsReadOnly(dir.path() / "locked.txt"));
  EXPECT_EQ(GetFileAttributesW((dir.path() / "hidden.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST(Win32Mutex, OneHolderPerNameAcrossTheSystem) {
  const DataString name("vnsetup-check-" + std::to_string(GetCurrentProcessId()) + "-");
  const DataString title = name + kHyouji;
  EXPECT_FALSE(MutexExists(title));
  std::optional<InstanceMutex> first = CreateInstanceMutex(title);
  ASSERT_TRUE(first.has_value());
  EXPECT_TRUE(MutexExists(title));
  EXPECT_FALSE(CreateInstanceMutex(title).has_value());
  EXPECT_TRUE(MutexExists(title));  // the refused second try did not take the first one away
  EXPECT_FALSE(MutexExists(name));  // names are exact
  EXPECT_TRUE(MutexFilePath(title).empty());
  ReleaseInstanceMutex(first);
  EXPECT_FALSE(first.has_value());
  EXPECT_FALSE(MutexExists(title));
  EXPECT_TRUE(CreateInstanceMutex(title).has_value());
}

TEST(Win32Registry, ProductKeyUnderTheCurrentUser) {
  RegistryStore& reg = DefaultRegistry();
  const std::string maker = "Software\\vnsetup-check-" + std::to_string(GetCurrentProcessId());
  const std::string game = maker + "\\" + kHyoujiUtf8;
  std::string value;
  EXPECT_FALSE(reg.ReadString(game, "InstallPath", value));
  reg.WriteString(game + "\\", "InstallPath", "C:\\Games\\" + kHyoujiUtf8);
  ASSERT_TRUE(reg.ReadString(game, "installpath", value));  // names without regard to case
  EXPECT_EQ(value, "C:\\Games\\" + kHyoujiUtf8);
  EXPECT_TRUE(reg.KeyExists(maker));
  EXPECT_FALSE(reg.ReadString(maker + "\\\\x", "InstallPath", value));
  EXPECT_THROW(reg.WriteString(maker + "\\\\x", "a", "b"), Exception);

  // A value of another type is an error, not an empty string.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToPath(game).c_str(), 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  const DWORD number = 7;
  RegSetValueExW(key, L"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegCloseKey(key);
  EXPECT_THROW(reg.ReadString(game, "Count", value), Exception);

  reg.WriteString(game + "\\Sub", "v", "1");
  reg.WriteString(maker + "\\Other", "v", "1");
  EXPECT_TRUE(reg.DeleteKeyTree(game, {maker}));  // the maker's key still holds another game
  EXPECT_FALSE(reg.KeyExists(game));
  EXPECT_TRUE(reg.KeyExists(maker));
  EXPECT_TRUE(reg.DeleteKeyTree(maker + "\\Other", {maker}));
  EXPECT_FALSE(reg.DeleteKeyTree(game));
  EXPECT_FALSE(reg.KeyExists(maker));

  // A key directly below HKEY_CURRENT_USER (as Software is) is never deleted.
  const std::string top = "vnsetup-check-top-" + std::to_string(GetCurrentProcessId());
  reg.WriteString(top + "\\Game", "InstallPath", "C:\\Games");
  EXPECT_FALSE(reg.DeleteKeyTree(top));
  EXPECT_TRUE(reg.DeleteKeyTree(top + "\\Game", {top}));
  EXPECT_TRUE(reg.KeyExists(top));
  RegDeleteTreeW(HKEY_CURRENT_USER, Utf8ToPath(top).c_str());
}

TEST(Win32System, FoldersAndTheRunningProgram) {
  const fs::path exe = OwnExecutablePath();
  EXPECT_EQ(exe.filename(), fs::path(L"windows_check.exe"));
  EXPECT_TRUE(fs::is_regular_file(exe));
  EXPECT_FALSE(IsTemporaryCopy(exe));
  EXPECT_FALSE(RemoveTemporaryCopy(exe));
  EXPECT_TRUE(fs::exists(exe));

  EXPECT_TRUE(fs::is_directory(TemporaryFolder()));
  EXPECT_TRUE(fs::is_directory(WindowsFolder()));
  EXPECT_TRUE(fs::is_directory(HomeFolder()));
  EXPECT_FALSE(GetSpecialFolder(kCsidlProgramFiles).empty());
  EXPECT_FALSE(GetSpecialFolder(kCsidlLocalAppData).empty());
  EXPECT_THROW(GetSpecialFolder(0x7777), Exception);
  const fs::path drive = GetSystemDrive();
  EXPECT_TRUE(IsMountRoot(drive)) << PathToUtf8(drive);

  check::ScratchFolder dir("sys");
  const fs::path copy = TemporaryFolder() / "~vinstall7.exe";
  WriteFileAtomically(dir.path() / "~vinstall.exe", "x");
  EXPECT_FALSE(IsTemporaryCopy(dir.path() / "~vinstall.exe"));  // not in the temporary folder
  WriteFileAtomically(copy, "x");
  EXPECT_TRUE(IsTemporaryCopy(copy));
  DeleteFileIfExists(copy);

  EXPECT_GT(FreeSpace(dir.path() / "not" / "yet"), 0);
  const fs::path root = MountPointOf(dir.path());
  EXPECT_TRUE(IsMountRoot(root)) << PathToUtf8(root);
  EXPECT_FALSE(IsMountRoot(dir.path()));
  EXPECT_TRUE(OnSameVolume(dir.path(), root / "not" / "yet"));
  EXPECT_FALSE(OnSameVolume(dir.path(), L"Y:\\no drive"));  // no such drive in the check's prefix
  EXPECT_FALSE(IsOpticalDisc(dir.path()));
  EXPECT_EQ(FormatThousands(1234567), "1,234,567");
}

TEST(Win32System, ShellOpenReportsAsTheShellDoes) {
  check::ScratchFolder dir("shell");
  EXPECT_EQ(ShellOpen(dir.path() / "missing.exe", {}, {}), kShellFileNotFound);
  const int missing_folder = ShellOpen(dir.path() / "no" / "missing.exe", {}, {});
  EXPECT_TRUE(missing_folder == kShellPathNotFound || missing_folder == kShellFileNotFound)  // Wine says 2
      << missing_folder;
  // This program once more, with a filter that runs no check; the caller does not wait for it.
  EXPECT_EQ(ShellOpen(OwnExecutablePath(), "--gtest_filter=None.None", dir.path()), kShellStarted);
}

TEST(Win32System, SaveFoldersOfTheUsersProfiles) {
  const DataString title = DataString("vnsetup check: ") + kHyouji;
  const fs::path mine = GetSpecialFolder(kCsidlLocalAppData) / Utf8ToPath("vnsetup check_ " + kHyoujiUtf8);
  std::vector<fs::path> list{"kept"};
  EXPECT_EQ(UserSaveFolders(title, list), 1);  // no such folder yet
  ASSERT_TRUE(ForceDirectories(mine));
  const int32_t n = UserSaveFolders(title, list);
  DeleteFolderTree(mine);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(list[0], fs::path("kept"));
  EXPECT_EQ(list[1], mine);
  EXPECT_EQ(UserSaveFolders(DataString(), list), 0);
}

}  // namespace
}  // namespace vn
