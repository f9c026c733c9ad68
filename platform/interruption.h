// Ctrl-C (SIGINT), SIGTERM and SIGHUP during work that a cut would leave half-made: an install's copy
// (a folder without its install.dat, which nothing could uninstall, and a temporary file beside it).
// While an InterruptionGuard lives, the first such signal is only noted, and the work stops at its
// next check as after the window's Abort button, removing what it made; a second one ends the program
// at once, as before. Outside a guard the signals keep their default.
//
// A closed standard output or error ends nothing either while a guard lives: progress lines are for
// the user only, so the work goes on to its end without them rather than being killed by SIGPIPE.
#pragma once

namespace vn {

class InterruptionGuard {
 public:
  InterruptionGuard();
  ~InterruptionGuard();
  InterruptionGuard(const InterruptionGuard&) = delete;
  InterruptionGuard& operator=(const InterruptionGuard&) = delete;

  // The signal noted first while a guard lives (0: none, or no guard), and its name for a message
  // ("SIGINT").
  static int Signal();
  static const char* SignalName(int signal);
};

}  // namespace vn
