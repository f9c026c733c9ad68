// `vnsetup --unattended`: the command line of the windowless install and uninstall.
#pragma once

namespace vn {

// Whether the command line asks for the unattended mode (or its help): decided before any window
// toolkit is started, so the mode needs no display.
bool WantsUnattended(int argc, char** argv);

// Parses the options and runs; returns the exit code (2 for a command line it cannot use).
int RunUnattendedCommand(int argc, char** argv);

}  // namespace vn
