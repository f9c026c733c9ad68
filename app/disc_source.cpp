#include "app/disc_source.h"

#include <random>
#include <system_error>

#include "launcher/entry_flow.h"
#include "platform/disc_image.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/volumes.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// Room left beside the image's files: the file system's own blocks and whatever else runs.
constexpr int64_t kSpareBytes = int64_t{16} << 20;

// A new folder of our own in the temporary folder (never one that was there before).
fs::path MakeOwnTemporaryFolder() {
  std::random_device random;
  const fs::path base = TemporaryFolder();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder = base / ("vnsetup-disc-" + std::to_string(random() % 100000000));
    std::error_code ec;
    if (fs::create_directory(folder, ec)) {
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
      return folder;
    }
  }
  throw EWriteError(PathToUtf8(base) + ": 一時フォルダを作成できません");
}

}  // namespace

OpenedDiscImages::~OpenedDiscImages() {
  if (!root_.empty()) DeleteFolderTree(root_);
}

fs::path OpenedDiscImages::FolderOf(const fs::path& path) {
  if (!LooksLikeDiscImage(path)) return path;
  const DiscImage image(path);
  if (root_.empty()) root_ = MakeOwnTemporaryFolder();
  const int64_t needed = image.FileBytes() + kSpareBytes;
  const int64_t free = FreeSpace(root_);
  if (free >= 0 && free < needed) {
    throw EWriteError(PathToUtf8(path) + ": 一時フォルダ " + PathToUtf8(root_) + " の空き容量が足りません (" +
                      std::to_string(needed) + " バイト必要、空き " + std::to_string(free) + " バイト)");
  }
  // Named after the image, as a copied disc folder would be; a second image of that name gets a number.
  const std::string stem = path.stem().empty() ? std::string("disc") : PathToUtf8(path.stem());
  fs::path folder = root_ / Utf8ToPath(stem);
  std::error_code ec;
  for (int n = 2; fs::exists(fs::symlink_status(folder, ec)); ++n)
    folder = root_ / Utf8ToPath(stem + "-" + std::to_string(n));
  fs::create_directory(folder, ec);
  if (ec) throw EWriteError(PathToUtf8(folder) + ": " + ec.message());
  try {
    image.ExtractTo(folder);
  } catch (...) {
    DeleteFolderTree(folder);
    throw;
  }
  return folder;
}

std::string ApplyDiscArguments(EntryEnvironment& env, OpenedDiscImages& images) {
  if (env.args.empty()) return {};
  if (env.args[0] == "--disc") {
    if (env.args.size() != 2) return "usage: vnsetup --disc DIR|IMAGE (the folder or image of a disc)";
    std::error_code ec;
    const fs::path disc = fs::absolute(Utf8ToPath(env.args[1]), ec);
    if (ec || (!fs::is_directory(disc, ec) && !LooksLikeDiscImage(disc))) {
      return env.args[1] + ": no disc folder and no disc image (ISO 9660 / UDF)";
    }
    env.disc_folder = images.FolderOf(disc);
    if (env.disc_folder != disc) env.disc_argument = PathToUtf8(disc);
    env.args.clear();
    return {};
  }
  const fs::path first = Utf8ToPath(env.args[0]);
  if (LooksLikeDiscImage(first)) env.args[0] = PathToUtf8(images.FolderOf(first));
  return {};
}

}  // namespace vn
