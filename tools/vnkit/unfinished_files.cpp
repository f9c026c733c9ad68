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

void RemoveUnfinishedAndEnd(int signal) {
  g_ending.store(true);
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

#endif

}  // namespace vn::cli
