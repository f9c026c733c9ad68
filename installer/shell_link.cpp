#include "installer/shell_link.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <system_error>

#include "installer/installation_files.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/special_folders.h"
#include "platform/system.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

bool IsProgramGroupType(TShellLinkType type) {
  return type == lnkPrograms || type == lnkStartMenu || type == lnkCommonPrograms ||
         type == lnkCommonStartMenu;
}

// Escapes a value of a desktop entry or directory entry (one line).
std::string EscapeValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One argument of an Exec key, always quoted: inside the quotes '"', '`', '$' and '\' take a
// backslash, and '%' is doubled so it is not read as a field code.
std::string QuoteExecArgument(std::string_view arg) {
  std::string out = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

bool IsLinuxProgram(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec) || ::access(file.c_str(), X_OK) != 0) return false;
  std::ifstream in(file, std::ios::binary);
  char head[4] = {};
  in.read(head, 4);
  return (in.gcount() == 4 && head[0] == '\x7f' && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') ||
         (in.gcount() >= 2 && head[0] == '#' && head[1] == '!');
}

// An icon file beside the target with its name (the game's own picture, when it ships one).
std::string IconBeside(const fs::path& target) {
  for (const char* ext : {".png", ".svg", ".xpm"}) {
    fs::path icon = target;
    icon.replace_extension(ext);
    std::error_code ec;
    if (fs::is_regular_file(icon, ec)) return PathToUtf8(icon);
  }
  return {};
}

// The name the group's menu files and category carry: ASCII, derived from the group's folder.
std::string GroupId(const fs::path& link_folder) {
  uint32_t hash = 2166136261u;  // FNV-1a over the folder's path
  for (unsigned char c : link_folder.native()) hash = (hash ^ c) * 16777619u;
  char id[24];
  std::snprintf(id, sizeof id, "vnsetup-%08x", hash);
  return id;
}

// Menus of the all-users folders are the system's; everything else is the user's own.
fs::path MenuFolder(TShellLinkType type) {
  if ((type == lnkCommonPrograms || type == lnkCommonStartMenu) && ::geteuid() == 0) {
    return "/etc/xdg/menus/applications-merged";
  }
  return UserConfigFolder() / "menus" / "applications-merged";
}

fs::path MenuFileOf(const fs::path& link_folder, TShellLinkType type) {
  return MenuFolder(type) / (GroupId(link_folder) + ".menu");
}
fs::path DirectoryEntryOf(const fs::path& link_folder) {
  return link_folder.parent_path().parent_path() / "desktop-directories" /
         (GroupId(link_folder) + ".directory");
}

// Every shortcut of a group writes the group's menu files with the same text: only the first write
// (or a change) costs a synced replacement.
void WriteFileUnlessSame(const fs::path& path, const std::string& content) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec) && fs::file_size(path, ec) == content.size() && !ec) {
    try {
      if (ReadWholeFile(path, static_cast<int64_t>(content.size())) == content) return;
    } catch (const std::exception&) {
      // unreadable: written anew below
    }
  }
  WriteFileAtomically(path, content);
}

// The submenu named after the group, holding the entries of the group's category.
void WriteGroupMenu(const fs::path& link_folder, TShellLinkType type, const std::string& title) {
  const std::string id = GroupId(link_folder);
  const fs::path directory = DirectoryEntryOf(link_folder);
  const fs::path menu = MenuFileOf(link_folder, type);
  if (!ForceDirectories(directory.parent_path()) || !ForceDirectories(menu.parent_path())) {
    throw EShellLinkError("Error in GetSpecialFolderLocation: " + PathToUtf8(menu.parent_path()));
  }
  WriteFileUnlessSame(directory,
                      "[Desktop Entry]\nType=Directory\nName=" + EscapeValue(title) + "\nIcon=folder\n");
  WriteFileUnlessSame(menu,
                      "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd\">\n"
                      "<Menu>\n  <Name>Applications</Name>\n  <Menu>\n    <Name>" +
                          id + "</Name>\n    <Directory>" + id + ".directory</Directory>\n    <Include>\n" +
                          "      <Category>X-" + id + "</Category>\n    </Include>\n  </Menu>\n" +
                          // The entries carry the main category Game; they show in their own
                          // submenu, not a second time loose among the games.
                          "  <Menu>\n    <Name>Games</Name>\n    <Exclude>\n      <Category>X-" + id +
                          "</Category>\n    </Exclude>\n  </Menu>\n</Menu>\n");
  RemoveStaleTemporaries({directory, menu});
}

}  // namespace

std::string SafeFileName(std::string_view name) {
  std::string out;
  for (char c : name) out += (c == '/' || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
  if (out.empty() || out == "." || out == "..") return "_";
  return out;
}

std::string DesktopExecLine(const fs::path& target, std::string_view arguments) {
  std::string line;
  // A Windows program runs through Wine as the shell's "open" starts it: the Japanese locale gives
  // it code page 932; $VN_WINE at install time names the Wine to use, else the one on PATH.
  const bool windows_program = !IsLinuxProgram(target) && IsWindowsProgram(target);
  if (windows_program) {
    line = "env ";
    for (const std::string& variable : WineLocaleVariables()) line += QuoteExecArgument(variable) + " ";
    const char* wine = ::getenv("VN_WINE");
    line += (wine && *wine ? QuoteExecArgument(wine) : "wine") + " ";
  } else if (!IsLinuxProgram(target)) {
    line = "xdg-open ";
  }
  line += QuoteExecArgument(PathToUtf8(target));
  // Arguments are passed to a program only; the opener takes the file alone.
  if (IsLinuxProgram(target) || windows_program) {
    for (const std::string& arg : SplitParameters(arguments)) {
      line += ' ';
      line += QuoteExecArgument(arg);
    }
  }
  return EscapeValue(line);
}

fs::path TShellLink::CreateLink() {
  const fs::path folder = MakeLinkFolder();
  const bool grouped = !SubDir.empty() && IsProgramGroupType(LinkType);
  std::string entry = "[Desktop Entry]\nType=Application\nName=" + EscapeValue(Name) + "\n";
  if (!Description.empty()) entry += "Comment=" + EscapeValue(Description) + "\n";
  entry += "Exec=" + DesktopExecLine(FileName, Arguments) + "\n";
  if (!WorkDir.empty()) entry += "Path=" + EscapeValue(PathToUtf8(WorkDir)) + "\n";
  const std::string icon = IconBeside(FileName);
  if (!icon.empty()) entry += "Icon=" + EscapeValue(icon) + "\n";
  entry += "Terminal=false\n";
  if (grouped) entry += "Categories=Game;X-" + GroupId(folder) + ";\n";
  const fs::path link = folder / (SafeFileName(Name) + ".desktop");
  WriteFileAtomically(link, entry);
  if (grouped) WriteGroupMenu(folder, LinkType, SubDir);
  RemoveStaleTemporaries({link});  // left by a run that was stopped while writing it
  return link;
}

void TShellLink::RemoveFolder() {
  if (SubDir.empty()) return;  // the special folder itself is never emptied
  const fs::path folder = LinkFolder();
  DeleteFolderTree(folder);
  if (IsProgramGroupType(LinkType)) {
    DeleteFileIfExists(MenuFileOf(folder, LinkType));
    DeleteFileIfExists(DirectoryEntryOf(folder));
    RemoveStaleTemporaries({MenuFileOf(folder, LinkType), DirectoryEntryOf(folder)});
  }
}

}  // namespace vn
