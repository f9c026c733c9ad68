// A disc image (ISO 9660 with Joliet or Rock Ridge names, or UDF) read without mounting it: the
// stand-in for a disc in the drive when a set is kept as image files.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace vn {

struct DiscImageEntry {
  std::string path;  // UTF-8, '/' between folders, relative to the image's root; never "..", never empty
  bool directory = false;
  int64_t offset = -1;  // where the file's bytes lie in the image (one extent); -1: read through the library
  int64_t size = 0;
  std::time_t time = 0;     // recorded modification time, 0 when none
  bool executable = false;  // Rock Ridge mode with an execute bit
};

// Whether `file` is a regular file that carries the volume descriptors of a disc image ("CD001",
// "BEA01" or "NSR0x" at 32 KiB). Says nothing of whether the rest of it is intact.
bool LooksLikeDiscImage(const std::filesystem::path& file);

// Whether a file's first bytes are those of a Linux program: an ELF file or a "#!" script (how a
// program on a disc without Rock Ridge or UDF modes is known).
bool StartsLikeProgram(File& file);

class DiscImage {
 public:
  // Reads the image's directory tree. Raises EFormatError naming the image when it is no disc image,
  // its directories cannot be read, or a file lies past its end (a truncated or damaged image).
  explicit DiscImage(const std::filesystem::path& image);
  ~DiscImage();
  DiscImage(const DiscImage&) = delete;
  DiscImage& operator=(const DiscImage&) = delete;

  const std::filesystem::path& Path() const { return image_; }
  // Folders before what they hold.
  const std::vector<DiscImageEntry>& Entries() const { return entries_; }

  // Opens a file of the image for reading: a window onto its extent, or, where it has none (a UDF
  // file in several extents or inside its entry), a copy in the temporary folder of this process
  // that is gone once the file is closed. Raises EFormatError / EWriteError naming the file.
  File OpenFile(const DiscImageEntry& entry) const;

  // Copies the image's files into `folder` (which must exist and be empty): a file whose extent is
  // known is read as that range of the image. Raises EWriteError / EReadError naming the file. With
  // `wanted`, only the files it accepts are copied (every folder is made).
  void ExtractTo(const std::filesystem::path& folder,
                 const std::function<bool(const DiscImageEntry&)>& wanted = {}) const;
  // Writes the file of `entry` as the new file `target` (executable when it is a program), reading
  // `image` (this image opened) or, for a file without one extent, through the library.
  void ExtractFile(const DiscImageEntry& entry, const std::filesystem::path& target, File& image) const;

 private:
  struct Reader;

  std::filesystem::path image_;
  std::unique_ptr<Reader> reader_;
  std::vector<DiscImageEntry> entries_;
};

}  // namespace vn
