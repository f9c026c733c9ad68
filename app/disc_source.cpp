#include "app/disc_source.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <system_error>
#include <vector>

#include "archive/stream.h"
#include "launcher/entry_flow.h"
#include "platform/disc_image.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/volumes.h"
#include "settings/settings.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr char kFolderPrefix[] = "vnsetup-disc-";
// Room left beside the image's files: the file system's own blocks and whatever else runs.
constexpr int64_t kSpareBytes = int64_t{16} << 20;
constexpr int64_t kMaxSettingsBytes = int64_t{1} << 20;

DataString MutexNameOf(const fs::path& folder) {
  return DataString("vnsetup-disc:" + PathToUtf8(folder));
}

// What the start menu reads from its disc (names compared without regard to case).
bool IsStartMenuFile(const DiscImageEntry& entry) {
  std::string path = entry.path;
  for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string top = path.substr(0, path.find('/'));
  if (top != path) return top == "directx" || top == "winmedia";
  const bool part_file =
      path.size() == 8 && path.rfind("game.", 0) == 0 &&
      std::all_of(path.begin() + 5, path.end(), [](char c) { return c >= '0' && c <= '9'; });
  return part_file || path == "install.dat" || path == "install.exe" || path == "game.dat" ||
         path == "game.ext";
}

// Folders of earlier runs that ended without removing theirs (killed, or the display went away).
void RemoveAbandonedFolders(const fs::path& base) {
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = PathToUtf8(it->path().filename());
    if (name.rfind(kFolderPrefix, 0) != 0 || !IsRealFolder(it->path())) continue;
    if (!MutexExists(MutexNameOf(it->path()))) DeleteFolderTree(it->path());
  }
}

// The settings of the disc in `image`; none when it holds no readable install.dat.
std::optional<TVondInstallSet> DiscSettings(const DiscImage& image) {
  const std::optional<std::string> bytes = image.ReadSmallFile("install.dat", kMaxSettingsBytes);
  if (!bytes) return std::nullopt;
  try {
    TMemoryStream stream(*bytes);
    TVondInstallSet settings;
    settings.LoadFromStream(stream);
    return settings;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

}  // namespace

OpenedDiscImages::~OpenedDiscImages() {
  if (!root_.empty()) DeleteFolderTree(root_);
}

// Our own new folder in the temporary folder, marked in use before it exists.
fs::path OpenedDiscImages::Root() {
  if (!root_.empty()) return root_;
  const fs::path base = TemporaryFolder();
  RemoveAbandonedFolders(base);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder = base / (kFolderPrefix + std::to_string(random() % 1000000000));
    std::optional<InstanceMutex> mark = CreateInstanceMutex(MutexNameOf(folder));
    std::error_code ec;
    if (mark && fs::create_directory(folder, ec)) {
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
      in_use_ = std::move(mark);
      return root_ = folder;
    }
  }
  throw EWriteError(PathToUtf8(base) + ": 一時フォルダを作成できません");
}

fs::path OpenedDiscImages::Extract(const fs::path& path, const DiscImage& image, bool start_menu_only) {
  std::error_code ec;
  const fs::path key = fs::weakly_canonical(path, ec);
  if (const auto done = opened_.find(key); done != opened_.end()) return done->second;
  const fs::path root = Root();
  const auto wanted = [start_menu_only](const DiscImageEntry& entry) {
    return !start_menu_only || IsStartMenuFile(entry);
  };
  int64_t needed = kSpareBytes;
  for (const DiscImageEntry& entry : image.Entries()) needed += wanted(entry) ? entry.size : 0;
  const int64_t free = FreeSpace(root);
  if (free >= 0 && free < needed) {
    throw EWriteError(PathToUtf8(path) + ": 一時フォルダ " + PathToUtf8(root) + " の空き容量が足りません (" +
                      std::to_string(needed) + " バイト必要、空き " + std::to_string(free) + " バイト)");
  }
  // Named after the image, as a copied disc folder would be; a second image of that name gets a number.
  const std::string stem = path.stem().empty() ? std::string("disc") : PathToUtf8(path.stem());
  fs::path folder = root / Utf8ToPath(stem);
  for (int n = 2; fs::exists(fs::symlink_status(folder, ec)); ++n) {
    folder = root / Utf8ToPath(stem + "-" + std::to_string(n));
  }
  fs::create_directory(folder, ec);
  if (ec) throw EWriteError(PathToUtf8(folder) + ": " + ec.message());
  try {
    image.ExtractTo(folder, wanted);
  } catch (...) {
    DeleteFolderTree(folder);
    throw;
  }
  if (start_menu_only) return folder;  // not the whole disc: never handed out for another use
  return opened_[key] = folder;
}

fs::path OpenedDiscImages::FolderOf(const fs::path& path) {
  if (!LooksLikeDiscImage(path)) return path;
  return Extract(path, DiscImage(path), false);
}

fs::path OpenedDiscImages::StartMenuFolderOf(const fs::path& path) {
  if (!LooksLikeDiscImage(path)) return path;
  return Extract(path, DiscImage(path), true);
}

fs::path OpenedDiscImages::FolderOfSet(const fs::path& path) {
  if (!LooksLikeDiscImage(path)) return path;
  const DiscImage image(path);
  const fs::path folder = Extract(path, image, false);
  const std::optional<TVondInstallSet> disc = DiscSettings(image);
  if (!disc || disc->Installed || disc->DiscCount() < 2) return folder;

  std::error_code ec;
  const fs::path beside = fs::absolute(path, ec).parent_path();
  std::vector<fs::path> candidates;
  for (fs::directory_iterator it(beside, ec), end; !ec && it != end; it.increment(ec)) {
    if (!fs::equivalent(it->path(), path, ec) && LooksLikeDiscImage(it->path()))
      candidates.push_back(it->path());
  }
  std::sort(candidates.begin(), candidates.end());
  std::vector<int32_t> found{disc->DiscIndex};
  for (const fs::path& candidate : candidates) {
    try {
      const DiscImage other(candidate);
      const std::optional<TVondInstallSet> settings = DiscSettings(other);
      if (!settings || settings->Installed || settings->Title != disc->Title ||
          std::find(found.begin(), found.end(), settings->DiscIndex) != found.end()) {
        continue;
      }
      Extract(candidate, other, false);
      found.push_back(settings->DiscIndex);
    } catch (const EFormatError&) {
      // A damaged image beside the one asked for is not this set's business.
    }
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
    // The start menu needs little of this disc; the temporary copy opens the image again with its set.
    env.disc_folder = images.StartMenuFolderOf(disc);
    if (env.disc_folder != disc) env.disc_argument = PathToUtf8(disc);
    env.args.clear();
    return {};
  }
  const fs::path first = Utf8ToPath(env.args[0]);
  if (LooksLikeDiscImage(first)) env.args[0] = PathToUtf8(images.FolderOfSet(first));
  return {};
}

}  // namespace vn
