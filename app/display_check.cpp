#include "app/display_check.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>
#include <vector>

namespace vn {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The value of a Qt option given as "-name value", "--name value" or "-name=value"; empty when absent.
std::string QtOption(int argc, char** argv, std::string_view name) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.substr(0, 2) == "--") arg.remove_prefix(1);
    if (arg.substr(0, 1) != "-" || arg.substr(1, name.size()) != name) continue;
    const std::string_view rest = arg.substr(1 + name.size());
    if (rest.empty() && i + 1 < argc) return argv[i + 1];
    if (!rest.empty() && rest.front() == '=') return std::string(rest.substr(1));
  }
  return "";
}

// The platforms Qt tries, in order, as Qt chooses them.
std::vector<std::string> PlatformCandidates(int argc, char** argv) {
  std::string names = QtOption(argc, argv, "platform");
  if (names.empty()) names = Environment("QT_QPA_PLATFORM");
  if (names.empty()) {
    const std::string desktop = Environment("XDG_CURRENT_DESKTOP") + Environment("XDG_SESSION_DESKTOP");
    const bool gnome =
        desktop.find("GNOME") != std::string::npos || desktop.find("gnome") != std::string::npos;
    names = Environment("XDG_SESSION_TYPE") == "wayland" && !gnome ? "wayland" : "xcb";
  }
  std::vector<std::string> candidates;
  std::stringstream list(names);
  for (std::string name; std::getline(list, name, ';');) {
    name = name.substr(0, name.find(':'));  // "xcb:option" -> "xcb"
    if (!name.empty()) candidates.push_back(name);
  }
  return candidates;
}

bool X11Reachable(const std::string& display, std::string& reason) {
  if (display.empty()) {
    reason = "DISPLAY is not set";
    return false;
  }
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const bool ok = connection && xcb_connection_has_error(connection) == 0;
  if (connection) xcb_disconnect(connection);
  if (!ok) reason = "cannot connect to the X display \"" + display + "\"";
  return ok;
}

bool WaylandReachable(std::string& reason) {
  std::string socket_path = Environment("WAYLAND_DISPLAY");
  if (socket_path.empty()) socket_path = "wayland-0";
  if (socket_path.front() != '/') {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (runtime.empty()) {
      reason = "XDG_RUNTIME_DIR is not set, so there is no Wayland display";
      return false;
    }
    socket_path = runtime + "/" + socket_path;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  bool ok = socket_path.size() < sizeof address.sun_path;
  if (ok) {
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
  }
  if (!ok) reason = "cannot connect to the Wayland display " + socket_path;
  return ok;
}

}  // namespace

bool WindowSystemAvailable(int argc, char** argv, std::string& reason) {
  for (const std::string& platform : PlatformCandidates(argc, argv)) {
    std::string why;
    if (platform == "xcb") {
      std::string display = QtOption(argc, argv, "display");
      if (display.empty()) display = Environment("DISPLAY");
      if (X11Reachable(display, why)) return true;
    } else if (platform.rfind("wayland", 0) == 0) {
      if (WaylandReachable(why)) return true;
    } else {
      return true;  // no display to reach (offscreen, minimal, a frame buffer, a VNC server)
    }
    if (!reason.empty()) reason += "; ";
    reason += why;
  }
  return false;
}

}  // namespace vn
