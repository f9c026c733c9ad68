// The one place where a data path (code page 932, '\' between folders) becomes a file-system path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/text.h"

namespace vn {

// Joins `relative` onto `base`: converts it to native text, takes '\' (and '/') as folder
// delimiters, and refuses with EPathError anything that would leave `base`: "..", "." , an
// absolute path, a drive letter, an empty component, a NUL byte or text without a native form.
// A component that does not exist under its exact name but does exist under a name differing only
// in letter case is replaced by the existing name, so Windows names work on case-sensitive file
// systems. A trailing delimiter is allowed and names a folder. On Windows a name ending in a dot or
// blank (which the system would cut off) and a device name (CON, NUL, COM1... with any extension) are
// refused too.
std::filesystem::path JoinDataPath(const std::filesystem::path& base, const DataString& relative);

// A file the program reads from a folder it did not write (a disc's install.dat and game.dat), found
// without regard to letter case as Windows finds it: a disc mastered as INSTALL.DAT and mounted on a
// case-sensitive file system is read too. `name` is a plain file name; `folder / name` when there is
// no such file.
std::filesystem::path FileInFolder(const std::filesystem::path& folder, std::string_view name);

// As JoinDataPath for a name already in native text (UTF-8 on POSIX) with '\' or '/' delimiters.
std::filesystem::path JoinNativePath(const std::filesystem::path& base, std::string_view relative);

// JoinDataPath for a batch of names under one base (extracting an archive, copying a disc's files,
// removing an installation). JoinDataPath lists a folder each time a name is missing from it, which
// makes a batch of new files quadratic; this lists each folder once and keeps its names (exact and
// case-folded) for the life of the object, and asks the system no more about a folder it listed. The
// caller is expected to create what it joins: every name it returns counts as present from then on,
// so that a later name differing only in letter case joins onto it, as it would once the file exists.
// Changes made to the folders by others meanwhile are not seen.
class PathJoiner {
 public:
  explicit PathJoiner(std::filesystem::path base) : base_(std::move(base)) {}
  std::filesystem::path Join(const DataString& relative);
  std::filesystem::path JoinNative(std::string_view relative);
  const std::filesystem::path& Base() const { return base_; }

 private:
  struct Listing {
    std::unordered_map<std::string, std::string> folded;  // folded name -> name on disk
    std::unordered_set<std::string> case_variants;        // names whose folded form another has
    bool complete = false;                                // false: the folder could not be listed
    void Add(const std::string& name);
    bool Has(const std::string& name) const;  // under this exact name
  };
  Listing& NamesIn(const std::filesystem::path& folder);

  std::filesystem::path base_;
  std::unordered_map<std::filesystem::path::string_type, Listing> folders_;
};

// `folder` without trailing delimiters ("/games/x/" is "/games/x"; a root stays a root).
std::filesystem::path FolderWithoutDelimiter(std::filesystem::path folder);
// `folder` ending in one delimiter ("/games/x" is "/games/x/"), as a folder is shown in the registry
// and in messages; a folder that ends in one already stays as it is.
std::filesystem::path FolderWithDelimiter(const std::filesystem::path& folder);

// `path` relative to `folder` when it lies inside it by its spelling ("." for the folder itself); none
// when it lies outside ("..") or the two cannot be related (one absolute, the other not). Links are not
// looked at: callers that must not pass through one check that themselves.
std::optional<std::filesystem::path> RelativeInside(const std::filesystem::path& folder,
                                                    const std::filesystem::path& path);

// Case-insensitive (ASCII letters only, as the system's ANSI rules) comparison of native names.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// Native text of a path (UTF-8 on POSIX), for messages and JSON.
std::string PathToUtf8(const std::filesystem::path& p);
// The path of `file` relative to `root` in UTF-8 with '/' between folders, on every system (no trip
// through the narrow code page, which cannot hold every name).
std::string RelativeUtf8(const std::filesystem::path& root, const std::filesystem::path& file);
std::filesystem::path Utf8ToPath(std::string_view utf8);

}  // namespace vn
