// Whether the windows can open at all: Qt ends the process (SIGABRT) when no platform plugin can
// start, so the launcher looks for a usable display before it creates the application object.
#pragma once

#include <string>

namespace vn {

// True when the platform Qt will start (`-platform NAME`, else QT_QPA_PLATFORM, else the system's
// default: xcb, or wayland in a Wayland session) can reach its display. X11 is tried with a real
// connection (`-display NAME`, else DISPLAY), Wayland by its socket; platforms without a display
// (offscreen, minimal, vnc, eglfs, ...) count as usable. When false, `reason` says what is missing.
bool WindowSystemAvailable(int argc, char** argv, std::string& reason);

}  // namespace vn
