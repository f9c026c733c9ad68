// Where a disc named on the command line is read from: a folder (a mounted medium or a copy of one)
// as it is, or a disc image, whose files are copied into a folder of their own first.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/mutex.h"

namespace vn {

struct EntryEnvironment;
class DiscImage;

// The disc images of one run, each opened as a folder under one temporary folder (so that the
// folders of a set lie side by side, where the install engine looks for the next disc). The
// temporary folder is removed with this object; one left by a run that was killed is removed by the
// next run (a mutex named after the folder marks it in use).
class OpenedDiscImages {
 public:
  OpenedDiscImages() = default;
  ~OpenedDiscImages();
  OpenedDiscImages(const OpenedDiscImages&) = delete;
  OpenedDiscImages& operator=(const OpenedDiscImages&) = delete;

  // `path` itself when it is no disc image; else the folder that now holds the image's files. Raises
  // an Exception naming the image when it is damaged or truncated, or when the temporary folder
  // lacks the room for its files.
  std::filesystem::path FolderOf(const std::filesystem::path& path);
  // FolderOf with only what the start menu of the disc reads: install.dat, the archive (game.dat,
  // its side file and part files), the launcher, and the runtime setups' folders.
  std::filesystem::path StartMenuFolderOf(const std::filesystem::path& path);
  // FolderOf, and for a disc image also the other discs of its set that lie beside it as images
  // (install.dat of the same Title, another DiscIndex), as discs in folders are found beside it.
  std::filesystem::path FolderOfSet(const std::filesystem::path& path);

 private:
  std::filesystem::path Root();
  std::filesystem::path Extract(const std::filesystem::path& path, const DiscImage& image,
                                bool start_menu_only);

  std::filesystem::path root_;
  std::optional<InstanceMutex> in_use_;
  std::map<std::filesystem::path, std::filesystem::path> opened_;  // image (canonical) -> its folder
};

// Applies the disc arguments of a windowed run to `env`: `--disc DIR|IMAGE` makes the run the
// launcher of that disc (no argument left for the role decision); a first argument that is a disc
// image (as the temporary copy of such a run receives it) becomes the folder of its files. Returns
// an error message for a command line it cannot use, empty when all is well; errors of the image
// itself are raised.
std::string ApplyDiscArguments(EntryEnvironment& env, OpenedDiscImages& images);

}  // namespace vn
