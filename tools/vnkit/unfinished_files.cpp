#include "tools/vnkit/unfinished_files.h"

#ifndef _WIN32
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#endif

namespace vn::cli {

#ifndef _WIN32

namespace {

enum SlotState : int { kIdle, kCreating, kCreated };

// What the signal handler reads: plain storage and lock-free atomics only.
struct Slot {
  std::atomic<int> state{kIdle};
  char path[4096];
};
Slot g_slots[UnfinishedFile::kMaxWriters];
std::atomic<bool> g_ending{false};

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

// The temporary files of RemoveOnSignal: the file, the stem its part files are named after, the
// other file and the folder; or the data file of CutBackOnSignal with the size it is cut back to and
// its side file. One set for each TemporaryUse.
enum TemporaryPath { kFile, kPartStem, kOther, kFolder, kSide, kTemporaryPaths };
struct TemporarySet {
  std::atomic<bool> set{false};
  char paths[kTemporaryPaths][4096];
  int64_t keep = -1;  // bytes of the file kept; -1: the file goes with its part files
  int64_t part_size = 0;
  bool side_existed = false;
  dev_t side_device = 0;
  ino_t side_inode = 0;
};
TemporarySet g_temporary[2];

// Part k of the file: the stem followed by k with at least three digits.
void PartName(const TemporarySet& t, int64_t k, char* out) {
  if (k == 0) {
    std::memcpy(out, t.paths[kFile], std::strlen(t.paths[kFile]) + 1);
    return;
  }
  const size_t stem = std::strlen(t.paths[kPartStem]);
  std::memcpy(out, t.paths[kPartStem], stem);
  char digits[24];
  int n = 0;
  for (int64_t v = k; v > 0 || n < 3; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
  for (int i = 0; i < n; ++i) out[stem + static_cast<size_t>(i)] = digits[n - 1 - i];
  out[stem + static_cast<size_t>(n)] = '\0';
}

// Whether the side file is still the one there was when the set was made.
bool SideFileUnchanged(const TemporarySet& t) {
  if (t.paths[kSide][0] == '\0') return true;
  struct stat now {};
  const bool exists = ::stat(t.paths[kSide], &now) == 0;
  return exists == t.side_existed && (!exists || (now.st_dev == t.side_device && now.st_ino == t.side_inode));
}

void RemoveTemporarySet(TemporarySet& t) {
  if (!t.set.load() || !SideFileUnchanged(t)) return;
  char part[sizeof t.paths[0] + 24];
  int64_t first_removed = 0;
  if (t.keep >= 0) {
    // every part but the last stays full; the file's own name stays even when empty
    const int64_t parts = t.keep == 0 ? 1 : (t.keep - 1) / t.part_size + 1;
    PartName(t, parts - 1, part);
    if (::truncate(part, t.keep - (parts - 1) * t.part_size) != 0) return;
    first_removed = parts;
  }
  for (int64_t k = first_removed; t.paths[kPartStem][0] != '\0' || k == 0; ++k) {
    PartName(t, k, part);
    if (::unlink(part) != 0 && k > 0) break;
  }
  if (t.paths[kOther][0] != '\0') ::unlink(t.paths[kOther]);
  if (t.paths[kFolder][0] != '\0') ::rmdir(t.paths[kFolder]);
}

void RemoveTemporaryFiles() {
  for (TemporarySet& t : g_temporary) RemoveTemporarySet(t);
}

void RemoveTemporaryFilesAndEnd(int signal) {
  RemoveTemporaryFiles();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void RemoveUnfinishedAndEnd(int signal) {
  g_ending.store(true);
  RemoveTemporaryFiles();
  for (Slot& slot : g_slots) {
    // A file being created is waited for (one open call), so it is not left behind.
    for (int spins = 0; slot.state.load() == kCreating && spins < 1000000; ++spins) sched_yield();
    if (slot.state.load() == kCreated) ::unlink(slot.path);
  }
  // the signal's own action: the program ends as it would have without us
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

sigset_t HandledSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

UnfinishedFilesGuard::UnfinishedFilesGuard() {
  struct sigaction action {};
  action.sa_handler = RemoveUnfinishedAndEnd;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    ::sigaction(kSignals[i], &action, &g_previous[i]);
  }
  // blocked until the writers are started, so that they inherit the block
  const sigset_t set = HandledSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void UnfinishedFilesGuard::WritersStarted() {
  const sigset_t set = HandledSignals();
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

UnfinishedFilesGuard::~UnfinishedFilesGuard() {
  WritersStarted();
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    ::sigaction(kSignals[i], &g_previous[i], nullptr);
  }
}

bool UnfinishedFile::Begin(const std::filesystem::path& path) {
  Slot& slot = g_slots[writer_];
  const std::string& name = path.native();
  if (name.size() >= sizeof slot.path) return !g_ending.load();  // too long for the system to create
  std::memcpy(slot.path, name.c_str(), name.size() + 1);
  slot.state.store(kCreating);
  if (g_ending.load()) {
    slot.state.store(kIdle);
    return false;
  }
  return true;
}

void UnfinishedFile::Created() {
  Slot& slot = g_slots[writer_];
  if (slot.state.load() == kCreating) slot.state.store(kCreated);
}

void UnfinishedFile::Abandoned() {
  g_slots[writer_].state.store(kIdle);
}

void UnfinishedFile::Finished() {
  g_slots[writer_].state.store(kIdle);
}

namespace {

// Fills the set for `use` and installs the handler where a signal still has its default action.
bool ArmTemporarySet(TemporaryUse use, const std::filesystem::path& file, const std::filesystem::path& other,
                     const std::filesystem::path& folder, const std::filesystem::path& side, int64_t keep,
                     int64_t part_size) {
  TemporarySet& t = g_temporary[use == TemporaryUse::kInput ? 0 : 1];
  std::filesystem::path stem = file;
  stem.replace_extension();
  stem += ".";
  const std::filesystem::path* paths[kTemporaryPaths] = {&file, &stem, &other, &folder, &side};
  for (const auto* path : paths) {
    if (path->native().size() >= sizeof t.paths[0]) return false;  // too long for the system to create
  }
  t.set.store(false);
  for (int i = 0; i < kTemporaryPaths; ++i)
    std::memcpy(t.paths[i], paths[i]->c_str(), paths[i]->native().size() + 1);
  t.keep = keep;
  t.part_size = part_size;
  struct stat st {};
  t.side_existed = !side.empty() && ::stat(side.c_str(), &st) == 0;
  t.side_device = st.st_dev;
  t.side_inode = st.st_ino;
  t.set.store(true);
  for (int s : kSignals) {
    struct sigaction current {};
    ::sigaction(s, nullptr, &current);
    if (current.sa_handler != SIG_DFL) continue;  // ignored, or handled already
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryFilesAndEnd;
    sigemptyset(&action.sa_mask);
    ::sigaction(s, &action, nullptr);
  }
  return true;
}

}  // namespace

void RemoveOnSignal(TemporaryUse use, const std::filesystem::path& file, const std::filesystem::path& other,
                    const std::filesystem::path& folder) {
  ArmTemporarySet(use, file, other, folder, {}, -1, 0);
}

void CutBackOnSignal(const std::filesystem::path& file, int64_t keep, int64_t part_size,
                     const std::filesystem::path& side) {
  ArmTemporarySet(TemporaryUse::kOutput, file, {}, {}, side, keep, part_size);
}

SignalsHeld::SignalsHeld() {
  const sigset_t set = HandledSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalsHeld::~SignalsHeld() {
  const sigset_t set = HandledSignals();
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void NoLongerRemoveOnSignal(TemporaryUse use) {
  g_temporary[use == TemporaryUse::kInput ? 0 : 1].set.store(false);
}

#else

// Windows ends a console program on Ctrl-C without running code of ours in its threads' place; an
// interrupted extraction there may leave the file it was writing.
UnfinishedFilesGuard::UnfinishedFilesGuard() = default;
UnfinishedFilesGuard::~UnfinishedFilesGuard() = default;
void UnfinishedFilesGuard::WritersStarted() {}
bool UnfinishedFile::Begin(const std::filesystem::path&) {
  return true;
}
void UnfinishedFile::Created() {}
void UnfinishedFile::Abandoned() {}
void UnfinishedFile::Finished() {}
void RemoveOnSignal(TemporaryUse, const std::filesystem::path&, const std::filesystem::path&,
                    const std::filesystem::path&) {}
void CutBackOnSignal(const std::filesystem::path&, int64_t, int64_t, const std::filesystem::path&) {}
void NoLongerRemoveOnSignal(TemporaryUse) {}
SignalsHeld::SignalsHeld() = default;
SignalsHeld::~SignalsHeld() = default;

#endif

}  // namespace vn::cli
