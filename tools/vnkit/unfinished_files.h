// Files that vnkit is still writing, removed when a signal ends the program (Ctrl-C, SIGTERM,
// SIGHUP, a closed output pipe), so that an interrupted extraction leaves no partial file under an
// entry's name. Only what a writer created itself is ever tracked (and so removed).
#pragma once

#include <cstdint>
#include <filesystem>

namespace vn::cli {

// While one lives, the signals above remove the tracked files before they end the program; threads
// started meanwhile do not receive them (the handler runs in the thread that made the guard, and
// waits for a file that is being created).
class UnfinishedFilesGuard {
 public:
  UnfinishedFilesGuard();
  ~UnfinishedFilesGuard();
  UnfinishedFilesGuard(const UnfinishedFilesGuard&) = delete;
  UnfinishedFilesGuard& operator=(const UnfinishedFilesGuard&) = delete;
  // Call once the writer threads are started: the signals reach this thread again.
  void WritersStarted();
};

// One writer's file in progress. Begin before creating the file (false: the program is being
// ended, create nothing), then Created once the writer has made it (or Abandoned when it made none:
// the name belongs to someone else), and Finished once the file is complete or removed again.
class UnfinishedFile {
 public:
  explicit UnfinishedFile(int writer) : writer_(writer) {}
  bool Begin(const std::filesystem::path& path);
  void Created();
  void Abandoned();
  void Finished();

  static constexpr int kMaxWriters = 16;

 private:
  int writer_;
};

// Temporary files that live until the command is done (standard input spooled to disk, an archive
// packed under a temporary name; either may be gigabytes): `file` with its part files (the name
// without its extension plus ".001", ...), `other` and `folder` (once empty) are removed when one of
// the signals above ends the program, at any point of its run. One set for each use; empty paths
// are left out. A signal the program was started to ignore stays ignored.
enum class TemporaryUse { kInput, kOutput };  // standard input spooled; what a command writes
void RemoveOnSignal(TemporaryUse use, const std::filesystem::path& file,
                    const std::filesystem::path& other = {}, const std::filesystem::path& folder = {});
// A data file being appended to, `keep` bytes long before (in parts of part_size bytes): the
// signals above cut it back to those bytes and remove the part files made since, unless its
// directory side file `side` has been replaced meanwhile (the data appended then belongs to the new
// directory). Uses the set of TemporaryUse::kOutput.
void CutBackOnSignal(const std::filesystem::path& file, int64_t keep, int64_t part_size,
                     const std::filesystem::path& side);
// The files are the command's own now (moved into place), or gone.
void NoLongerRemoveOnSignal(TemporaryUse use);

// While one lives, the signals above wait: a few renames that must not be left half done run
// without being cut short (a signal that came meanwhile takes effect afterwards).
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
};

}  // namespace vn::cli
