// The files of a disc, wherever the disc is: a folder (a mounted medium or a copy of one) or a disc
// image, whose files are read in place as ranges of the image.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/fileops.h"

namespace vn {

struct DiscFileInfo {
  std::string path;  // UTF-8, '/' between folders, relative to the disc's root
  int64_t size = 0;
  std::time_t time = 0;  // modification time, 0 when none is known
};

class DiscFiles {
 public:
  virtual ~DiscFiles() = default;

  // The folder or the image file the disc is read from.
  const std::filesystem::path& Location() const { return location_; }
  virtual bool IsImage() const = 0;

  // The disc's regular files (links and special files are no disc files), listed on first use.
  virtual const std::vector<DiscFileInfo>& Files() const = 0;
  // The folders that could not be read while the files were listed ('/' between folders, relative
  // to the disc's root): the files in them are missing from Files().
  virtual const std::vector<std::string>& UnreadableFolders() const {
    static const std::vector<std::string> none;
    return none;
  }
  // The file at `relative` ('\' or '/' between folders), letters compared without regard to case as
  // Windows compares them; none when the disc has no such regular file.
  virtual std::optional<DiscFileInfo> Find(std::string_view relative) const = 0;
  // Opens a file of the disc for reading; raises EFOpenError / EReadError naming it.
  virtual File Open(const DiscFileInfo& file) const = 0;
  // Copies a file of the disc into `target` (a new file open for writing) with its time and
  // permissions (the owner may always write the copy). False when it cannot be read whole, or when
  // `progress` (told of the bytes as they are copied; may be empty) stopped it; EWriteError when the
  // target cannot be written (a full disk).
  virtual bool CopyInto(const DiscFileInfo& file, File& target, const CopyProgress& progress) const = 0;
  // A path a program of the disc can be started from with the files beside it: in a folder the file
  // itself; in an image its top folder (or the file alone, at the root) copied into a temporary folder
  // of this process, checked against free space and removed when the process ends. Raises
  // EWriteError when it cannot be copied.
  virtual std::filesystem::path RunnablePath(const DiscFileInfo& file) const = 0;

  // The file for messages: the location and the path in it.
  std::string Describe(const DiscFileInfo& file) const;
  std::string Describe(std::string_view relative) const;

 protected:
  explicit DiscFiles(std::filesystem::path location) : location_(std::move(location)) {}

 private:
  std::filesystem::path location_;
};

// The disc in `location`: a disc image (see LooksLikeDiscImage) or else a folder. Raises EFormatError
// naming an image that is damaged or truncated.
std::unique_ptr<DiscFiles> OpenDiscFiles(const std::filesystem::path& location);

// The disc a command-line argument names: a disc image itself, the folder of any other file (an
// archive file named directly), else the argument as a folder.
std::filesystem::path DiscLocationOf(const std::filesystem::path& argument);

// Whether `path` can be a disc: a folder or a disc image.
bool IsDiscLocation(const std::filesystem::path& path);

// The disc images directly inside `folder` (a folder where a set's images are kept), in name order;
// none when it is no folder.
std::vector<std::filesystem::path> DiscImagesIn(const std::filesystem::path& folder);

// The places beside the disc `current` (a folder or a disc image) where another disc of the set may
// be: the folders (other mounted media, the other folders of a copied set) and the disc images there,
// in name order.
std::vector<std::filesystem::path> DiscsBeside(const std::filesystem::path& current);

// The temporary folder of this process for files of disc images that must exist as files (programs
// that are started from an image): made on first use in the temporary folder
// ("vnsetup-disc-NUMBER", holding the lock file ".in-use" while its run lives) and removed when the
// process ends. Raises EWriteError when it cannot be made.
std::filesystem::path DiscScratchFolder();
// Removes the scratch folders that runs which did not end normally (killed, or cut off with their
// display) left in the temporary folder: only those of this user whose lock no process holds any
// longer; a folder of a live run, of another user, or one that cannot be told is left alone. Made
// at the start of every run.
void RemoveAbandonedDiscScratch();
// Raises EWriteError naming `what` when the scratch folder lacks room for `bytes` and a margin.
void CheckScratchSpace(const std::string& what, int64_t bytes);

}  // namespace vn
