#include "platform/paths.h"

#include <cstdio>
#include <system_error>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// Win32 drops trailing dots and spaces from a name, so ".. " would be "..", and a device name (with
// any extension) opens the device in every folder: neither can name a file of a data path.
const char* WindowsNameFault(std::string_view part) {
  if (part.back() == '.' || part.back() == ' ') return "it ends a name with a dot or blank";
  std::string stem(part.substr(0, part.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  const bool numbered = stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
                        (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0);
  if (numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
    return "it names a device";
  return nullptr;
}
#endif

// The path as a message shows it: a NUL or another control byte would cut the message short or
// garble the terminal, so those are written as \xNN.
std::string QuotedForMessage(std::string_view path) {
  std::string out = "\"";
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::vector<std::string> SplitComponents(std::string_view text, std::string_view original) {
  const auto refuse = [&](const std::string& why) {
    throw EPathError("unsafe path " + QuotedForMessage(original) + ": " + why);
  };
  if (text.find('\0') != std::string_view::npos) refuse("it contains a NUL byte");
  if (text.empty()) refuse("it is empty");
  if (text.front() == '\\' || text.front() == '/') refuse("it is absolute");
  if (text.size() >= 2 && text[1] == ':') refuse("it names a drive");

  // One trailing delimiter names a folder ("data\\"); any other empty component is refused.
  if (text.size() > 1 && (text.back() == '\\' || text.back() == '/')) text.remove_suffix(1);
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '\\' && text[i] != '/') continue;
    const std::string_view part = text.substr(start, i - start);
    if (part.empty()) refuse("it has an empty folder name");
    if (part == "." || part == "..") refuse("it steps out of its folder with \"" + std::string(part) + "\"");
    if (part.find(':') != std::string_view::npos) refuse("it names a drive or stream");
#ifdef _WIN32
    if (const char* fault = WindowsNameFault(part)) refuse(fault);
#endif
    parts.emplace_back(part);
    start = i + 1;
  }
  return parts;
}

// Finds an existing entry of `folder` whose name equals `name` without regard to ASCII case.
bool FindCaseInsensitive(const fs::path& folder, const std::string& name, fs::path& found) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return false;
  for (const auto& entry : it) {
    const std::string candidate = PathToUtf8(entry.path().filename());
    if (SameNameIgnoringCase(candidate, name)) {
      found = entry.path();
      return true;
    }
  }
  return false;
}

// True when `path` names anything, a dangling symbolic link included.
bool ExistsOnDisk(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// Joins checked components onto base: a component that `exists(folder, name, path)` denies under its
// exact name is looked up by `find_folded(folder, name, found)` among the folder's names; once one is
// missing, later ones cannot exist either. `missing(folder, name)` hears of the first missing component.
template <typename Exists, typename FindFolded, typename Missing>
fs::path JoinComponents(const fs::path& base, const std::vector<std::string>& parts, Exists exists,
                        FindFolded find_folded, Missing missing) {
  fs::path result = base;
  bool searching = true;
  for (const std::string& part : parts) {
    fs::path next = result / Utf8ToPath(part);
    if (searching) {
      if (!exists(result, part, next)) {
        fs::path found;
        if (find_folded(result, part, found)) {
          next = found;
        } else {
          missing(result, part);
          searching = false;
        }
      }
    }
    result = std::move(next);
  }
  return result;
}

std::string DataPathToNative(const DataString& relative) {
  std::string native;
  if (!TryCp932ToUtf8(relative, native)) {
    throw EPathError("unsafe path \"" + Cp932ToUtf8Lossy(relative) +
                     "\": it has bytes without a character in Shift-JIS");
  }
  return native;
}

}  // namespace

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

fs::path JoinNativePath(const fs::path& base, std::string_view relative) {
  return JoinComponents(
      base, SplitComponents(relative, relative),
      [](const fs::path&, const std::string&, const fs::path& path) { return ExistsOnDisk(path); },
      FindCaseInsensitive, [](const fs::path&, const std::string&) {});
}

fs::path JoinDataPath(const fs::path& base, const DataString& relative) {
  return JoinNativePath(base, DataPathToNative(relative));
}

PathJoiner::Listing& PathJoiner::NamesIn(const fs::path& folder) {
  const auto [it, added] = folders_.try_emplace(folder.native());
  if (added) {
    Listing& listing = it->second;
    std::error_code ec;
    fs::directory_iterator entry(folder, ec), end;
    for (; !ec && entry != end; entry.increment(ec)) {
      listing.Add(PathToUtf8(entry->path().filename()));
    }
    listing.complete = !ec;
  }
  return it->second;
}

void PathJoiner::Listing::Add(const std::string& name) {
  // the first listed wins, as in a plain join; a name differing from it only in case is kept apart
  const auto [it, added] = folded.try_emplace(AsciiLowerCase(name), name);
  if (!added && it->second != name) case_variants.insert(name);
}

bool PathJoiner::Listing::Has(const std::string& name) const {
  const auto it = folded.find(AsciiLowerCase(name));
  return it != folded.end() && (it->second == name || case_variants.count(name) != 0);
}

fs::path PathJoiner::JoinNative(std::string_view relative) {
  return JoinComponents(
      base_, SplitComponents(relative, relative),
      // A folder listed whole answers without asking the system again; one that could not be listed
      // (missing, or not readable) is asked name by name.
      [this](const fs::path& folder, const std::string& name, const fs::path& path) {
        const Listing& listing = NamesIn(folder);
        return listing.complete ? listing.Has(name) : ExistsOnDisk(path);
      },
      [this](const fs::path& folder, const std::string& name, fs::path& found) {
        const Listing& listing = NamesIn(folder);
        const auto it = listing.folded.find(AsciiLowerCase(name));
        if (it == listing.folded.end()) return false;
        found = folder / Utf8ToPath(it->second);
        return true;
      },
      [this](const fs::path& folder, const std::string& name) { NamesIn(folder).Add(name); });
}

fs::path PathJoiner::Join(const DataString& relative) {
  return JoinNative(DataPathToNative(relative));
}

fs::path FolderWithoutDelimiter(fs::path folder) {
  while (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
  return folder;
}

fs::path FolderWithDelimiter(const fs::path& folder) {
  const fs::path::string_type& text = folder.native();
  if (!text.empty() && (text.back() == '/' || text.back() == fs::path::preferred_separator)) return folder;
  fs::path with = folder;
  with += fs::path::preferred_separator;
  return with;
}

std::optional<fs::path> RelativeInside(const fs::path& folder, const fs::path& path) {
  fs::path rel = path.lexically_relative(folder);
  if (rel.empty() || *rel.begin() == "..") return std::nullopt;
  return rel;
}

std::string PathToUtf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::string RelativeUtf8(const fs::path& root, const fs::path& file) {
  const std::u8string s = file.lexically_relative(root).generic_u8string();
  return std::string(s.begin(), s.end());
}

fs::path Utf8ToPath(std::string_view utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

fs::path FileInFolder(const fs::path& folder, std::string_view name) {
  try {
    return JoinNativePath(folder, name);
  } catch (const Exception&) {
    return folder / Utf8ToPath(name);
  }
}

}  // namespace vn
