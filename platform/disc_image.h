// A disc image read without mounting it: the stand-in for a disc in the drive when a set is kept as
// image files. Images of 2048-byte sectors carrying ISO 9660 (Joliet or Rock Ridge names) or UDF;
// images of raw 2352-byte CD sectors (MODE1 or MODE2) as a bare .bin, as the .img a CloneCD .ccd
// names, or as the data file of a cue sheet; and Nero .nrg images. Every file is read where it lies.
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

// A piece of a file on the disc: `length` bytes from the start of 2048-byte block `block` on.
struct ImageExtent {
  int64_t block = 0;
  int64_t length = 0;
  bool recorded = true;  // false: allocated but never written, read as zeros
};

struct DiscImageEntry {
  std::string path;  // UTF-8, '/' between folders, relative to the image's root; never "..", never empty
  bool directory = false;
  int64_t size = 0;
  std::vector<ImageExtent> extents;  // where the file's bytes lie, in order; their lengths add up to size
  std::string embedded;              // the bytes of a small UDF file kept inside its entry (no extents)
  std::time_t time = 0;              // recorded modification time, 0 when none
  bool executable = false;           // Rock Ridge or UDF mode with an execute bit
};

// Whether `file` is named as a disc image: the extensions .iso, .bin, .img, .cue, .ccd, .nrg, .udf, in
// any letter case. A file so named is taken for a disc image or refused as none, never read as an
// archive.
bool HasDiscImageName(const std::filesystem::path& file);

// Whether `file` is a regular file this reader takes as a disc image: one that carries the volume
// descriptors of an image of 2048-byte sectors ("CD001", "BEA01" or "NSR0x" at 32 KiB) or of raw
// 2352-byte sectors (a sync pattern, then "CD001" in sector 16), a cue sheet naming its data file, a
// .ccd beside its .img, or a Nero image. Says nothing of whether the rest of it is intact.
bool LooksLikeDiscImage(const std::filesystem::path& file);
// The part of LooksLikeDiscImage that needs libcdio: a cue sheet, a .ccd with its .img, a Nero image.
// Always false on Windows.
bool LooksLikeDescribedImage(const std::filesystem::path& file);

// Raises EFormatError naming `file` when it is a regular file named as a disc image that is none
// ("not a disc image"); nothing for anything else.
void RefuseFalseDiscImage(const std::filesystem::path& file);

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

  // Opens a file of the image for reading, in place: a window onto its range of the image where it
  // lies in one piece of an image of 2048-byte sectors, else a file that reads its pieces (and the
  // sectors' data) as it is read. It may outlive this object. A damaged image raises EReadError
  // naming the file when the bytes are read.
  File OpenFile(const DiscImageEntry& entry) const;

  // Copies the image's files into `folder` (which must exist and be empty), with their times and, for
  // programs, the execute permission. Raises EWriteError / EReadError naming the file. With `wanted`,
  // only the files it accepts are copied (every folder is made).
  void ExtractTo(const std::filesystem::path& folder,
                 const std::function<bool(const DiscImageEntry&)>& wanted = {}) const;

  // What holds the image open and reads its sectors (each backend's own); shared with the files opened.
  struct Reader;

 private:
  std::filesystem::path image_;
  std::shared_ptr<Reader> reader_;
  std::vector<DiscImageEntry> entries_;
};

}  // namespace vn
