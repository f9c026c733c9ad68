// The start menu's designed layout and the rule for its runtime buttons, the same for every front end
// (the Qt windows and the Win32 ones).
#pragma once

#include <filesystem>

namespace vn {

class TVondInstallSet;

namespace start_menu {

inline constexpr int kClientWidth = 265;
inline constexpr int kClientHeight = 230;
inline constexpr int kButtonLeft = 28;
inline constexpr int kButtonWidth = 213;
inline constexpr int kButtonHeight = 29;
// The tops of btnStart, btnInstall, btnDirectX, btnWinMedia and btnExit.
inline constexpr int kStartTop = 12;
inline constexpr int kInstallTop = 64;
inline constexpr int kDirectXTop = 100;
inline constexpr int kWinMediaTop = 136;
inline constexpr int kExitTop = 188;
// A runtime button that is not offered leaves no gap: what lies below it moves up by this much, and
// the menu gets this much shorter.
inline constexpr int kRuntimeStep = kDirectXTop - kInstallTop;

enum class Runtime { kDirectX, kWinMedia };

// The runtime's setup program on the disc in `disc_folder`: directx\dxsetup.exe, winmedia\mp71.exe.
// On a disc image, the program's folder is copied out to be started from (DiscFiles::RunnablePath;
// EWriteError when it cannot be).
std::filesystem::path SetupProgram(const std::filesystem::path& disc_folder, Runtime runtime);

// Whether the menu shows the runtime's button: the settings offer runtimes and the disc holds the
// setup program.
bool OffersRuntime(const TVondInstallSet& settings, const std::filesystem::path& disc_folder,
                   Runtime runtime);

}  // namespace start_menu
}  // namespace vn
