#include "launcher/start_menu.h"

#include <memory>
#include <optional>

#include "messages/messages.h"
#include "platform/disc_files.h"
#include "platform/disc_image.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "settings/settings.h"

namespace vn::start_menu {

namespace fs = std::filesystem;

namespace {

const char* SetupProgramName(Runtime runtime) {
  return runtime == Runtime::kDirectX ? "directx\\dxsetup.exe" : "winmedia\\mp71.exe";
}

}  // namespace

fs::path SetupProgram(const fs::path& disc_folder, Runtime runtime) {
  if (!LooksLikeDiscImage(disc_folder)) return JoinNativePath(disc_folder, SetupProgramName(runtime));
  const std::unique_ptr<DiscFiles> disc = OpenDiscFiles(disc_folder);
  const std::optional<DiscFileInfo> program = disc->Find(SetupProgramName(runtime));
  if (!program) throw EFOpenError(Tr(Msg::kFileMissing, {disc->Describe(SetupProgramName(runtime))}));
  return disc->RunnablePath(*program);
}

bool OffersRuntime(const TVondInstallSet& settings, const fs::path& disc_folder, Runtime runtime) {
  return settings.OfferRuntimes && OpenDiscFiles(disc_folder)->Find(SetupProgramName(runtime));
}

}  // namespace vn::start_menu
