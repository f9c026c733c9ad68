// Replacing an archive that spans several files (its part files and its directory side file) so that
// no failure, signal or kill leaves a mixture of old and new files: the old archive stays whole, or
// the new one is complete.
#pragma once

#include <filesystem>

#include "platform/file.h"

namespace vn::cli {

// The new archive is written into a work folder beside the target (".NAME.vnkit-replace"). Commit
// moves the old archive's files into that folder first and the new ones into place after them,
// part 0 last; a failure on the way puts the old files back. A run killed meanwhile leaves the
// folder behind, and SettleReplacement, which every command that reads or writes the archive calls
// first, puts the old archive back or keeps the new one once it is complete.
class ArchiveReplacement {
 public:
  // Settles what an earlier run left, then makes the work folder (EFOpenError when another run is
  // replacing the same archive).
  explicit ArchiveReplacement(const std::filesystem::path& target);
  // Removes the new archive and the work folder unless committed.
  ~ArchiveReplacement();
  ArchiveReplacement(const ArchiveReplacement&) = delete;
  ArchiveReplacement& operator=(const ArchiveReplacement&) = delete;

  // Where the new archive is written (its part files beside it).
  const std::filesystem::path& NewArchive() const { return new_archive_; }
  const std::filesystem::path& WorkFolder() const { return folder_; }
  // Puts the new archive in the target's place; the old one, with its part files and side file, is
  // gone afterwards. On failure the old archive is back as it was, and the error is raised.
  void Commit();

 private:
  std::filesystem::path target_, folder_, new_archive_;
  File lock_;
  bool committed_ = false;
};

// Finishes a replacement of `target` that a killed run left: the old archive back, or the new one
// kept when all of it was in place. Nothing while another run is replacing it.
void SettleReplacement(const std::filesystem::path& target);

}  // namespace vn::cli
