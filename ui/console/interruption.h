// Ctrl-C (SIGINT), SIGTERM and SIGHUP during an unattended run. Left to their default these end the
// program in the middle of a copy: a half-made installation without its install.dat (nothing could
// uninstall it) and a temporary file beside it. While an InterruptionGuard lives, the first such
// signal is only noted, and the run stops at its next check as after the window's Abort button,
// removing what it made; a second one ends the program at once, as before.
//
// A closed stderr (`vnsetup --unattended ... | head`) ends nothing either: the progress lines are
// for the user only, so the run goes on to its end without them rather than being killed by SIGPIPE.
#pragma once

namespace vn {

class InterruptionGuard {
 public:
  InterruptionGuard();
  ~InterruptionGuard();
  InterruptionGuard(const InterruptionGuard&) = delete;
  InterruptionGuard& operator=(const InterruptionGuard&) = delete;

  // The signal noted first (0: none), and its name for a message ("SIGINT").
  static int Signal();
  static const char* SignalName(int signal);
};

}  // namespace vn
