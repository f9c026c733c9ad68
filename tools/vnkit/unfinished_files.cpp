#include "tools/vnkit/unfinished_files.h"

#ifndef _WIN32
#include <pthread.h>
#include <sched.h>
#include <signal.h>
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

// The spooled input's folder and the names its file may have.
char g_spool[3][4096];
std::atomic<bool> g_spool_set{false};

void RemoveSpool() {
  if (!g_spool_set.load()) return;
  ::unlink(g_spool[1]);
  ::unlink(g_spool[2]);
  ::rmdir(g_spool[0]);
}

void RemoveSpoolAndEnd(int signal) {
  RemoveSpool();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void RemoveUnfinishedAndEnd(int signal) {
  g_ending.store(true);
  RemoveSpool();
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

void RemoveOnSignal(const std::filesystem::path& folder, const std::filesystem::path& file,
                    const std::filesystem::path& other_file) {
  const std::filesystem::path* paths[] = {&folder, &file, &other_file};
  for (const auto* path : paths) {
    if (path->native().size() >= sizeof g_spool[0]) return;  // too long for the system to create
  }
  g_spool_set.store(false);
  for (int i = 0; i < 3; ++i) std::memcpy(g_spool[i], paths[i]->c_str(), paths[i]->native().size() + 1);
  g_spool_set.store(true);
  for (int s : kSignals) {
    struct sigaction current {};
    ::sigaction(s, nullptr, &current);
    if (current.sa_handler != SIG_DFL) continue;  // ignored, or handled already
    struct sigaction action {};
    action.sa_handler = RemoveSpoolAndEnd;
    sigemptyset(&action.sa_mask);
    ::sigaction(s, &action, nullptr);
  }
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
void RemoveOnSignal(const std::filesystem::path&, const std::filesystem::path&,
                    const std::filesystem::path&) {}

#endif

}  // namespace vn::cli
