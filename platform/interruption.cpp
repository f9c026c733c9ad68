#include "platform/interruption.h"

#include <csignal>

namespace vn {

namespace {

volatile std::sig_atomic_t g_signal = 0;
bool g_active = false;  // a guard lives (one at a time)

// The signals that ask a program to stop; SIGHUP (the terminal closed) exists on POSIX only.
constexpr int kStopSignals[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

using Handler = void (*)(int);
Handler g_previous[sizeof kStopSignals / sizeof kStopSignals[0]];
#ifdef SIGPIPE
Handler g_previous_pipe = SIG_DFL;
#endif

extern "C" void NoteStopSignal(int signal) {
  if (g_signal == 0) g_signal = signal;
  // The next one is not caught: a user who presses Ctrl-C again wants the program gone now. One the
  // program was started to ignore (SIGHUP under nohup) stays ignored through the abort's clean-up.
  for (size_t i = 0; i < sizeof kStopSignals / sizeof kStopSignals[0]; ++i) {
    if (g_previous[i] != SIG_IGN) std::signal(kStopSignals[i], SIG_DFL);
  }
}

}  // namespace

InterruptionGuard::InterruptionGuard() {
  g_signal = 0;
  g_active = true;
  for (size_t i = 0; i < sizeof kStopSignals / sizeof kStopSignals[0]; ++i) {
    g_previous[i] = std::signal(kStopSignals[i], NoteStopSignal);
    // A signal the caller chose to ignore (a run started with nohup) stays ignored.
    if (g_previous[i] == SIG_IGN) std::signal(kStopSignals[i], SIG_IGN);
  }
#ifdef SIGPIPE
  g_previous_pipe = std::signal(SIGPIPE, SIG_IGN);
#endif
}

InterruptionGuard::~InterruptionGuard() {
  g_active = false;
  for (size_t i = 0; i < sizeof kStopSignals / sizeof kStopSignals[0]; ++i) {
    if (g_previous[i] != SIG_ERR) std::signal(kStopSignals[i], g_previous[i]);
  }
#ifdef SIGPIPE
  if (g_previous_pipe != SIG_ERR) std::signal(SIGPIPE, g_previous_pipe);
#endif
}

int InterruptionGuard::Signal() {
  return g_active ? g_signal : 0;
}

const char* InterruptionGuard::SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#ifdef SIGHUP
    case SIGHUP:
      return "SIGHUP";
#endif
    default:
      return "a signal";
  }
}

}  // namespace vn
