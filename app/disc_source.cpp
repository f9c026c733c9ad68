#include "app/disc_source.h"

#include <system_error>

#include "launcher/entry_flow.h"
#include "platform/disc_files.h"
#include "platform/disc_image.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

void CheckDiscImage(const fs::path& path) {
  RefuseFalseDiscImage(path);
  if (LooksLikeDiscImage(path)) {
    const DiscImage directory(path);  // reading it is the check
  }
}

std::string ApplyDiscArguments(EntryEnvironment& env) {
  if (env.args.empty()) return {};
  if (env.args[0] == "--disc") {
    if (env.args.size() != 2) return "usage: vnsetup --disc DIR|IMAGE (the folder or image of a disc)";
    std::error_code ec;
    const fs::path disc = fs::absolute(Utf8ToPath(env.args[1]), ec);
    if (!ec) CheckDiscImage(disc);
    if (ec || !IsDiscLocation(disc)) {
      return env.args[1] + ": no disc folder and no disc image (ISO 9660 / UDF, .cue, .nrg, .ccd)";
    }
    env.disc_folder = disc;
    // The temporary copy gets the image as it is, not as a folder with a trailing delimiter.
    if (LooksLikeDiscImage(disc)) env.disc_argument = PathToUtf8(disc);
    env.args.clear();
    return {};
  }
  CheckDiscImage(Utf8ToPath(env.args[0]));
  return {};
}

}  // namespace vn
