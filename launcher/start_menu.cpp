#include "launcher/start_menu.h"

#include <system_error>

#include "platform/paths.h"
#include "settings/settings.h"

namespace vn::start_menu {

namespace fs = std::filesystem;

fs::path SetupProgram(const fs::path& disc_folder, Runtime runtime) {
  return JoinNativePath(disc_folder,
                        runtime == Runtime::kDirectX ? "directx\\dxsetup.exe" : "winmedia\\mp71.exe");
}

bool OffersRuntime(const TVondInstallSet& settings, const fs::path& disc_folder, Runtime runtime) {
  std::error_code ec;
  return settings.OfferRuntimes && fs::is_regular_file(SetupProgram(disc_folder, runtime), ec);
}

}  // namespace vn::start_menu
