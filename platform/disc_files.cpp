#include "platform/disc_files.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <system_error>
#include <unordered_map>

#include "messages/messages.h"
#include "platform/disc_image.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/text.h"
#include "platform/volumes.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// ASCII letters folded and '\' taken as '/': how a disc path is compared, as Windows compares names
// (the bytes of a multi-byte UTF-8 character are all above 0x7F and stay as they are).
std::string FoldedDiscPath(std::string_view path) {
  std::string folded = AsciiLowerCase(path);
  std::replace(folded.begin(), folded.end(), '\\', '/');
  return folded;
}

// A disc's files in one order whatever holds them, so that a set installs the same from folders and
// from images (the order of the recorded files included).
void SortByPath(std::vector<DiscFileInfo>& files) {
  std::sort(files.begin(), files.end(),
            [](const DiscFileInfo& a, const DiscFileInfo& b) { return a.path < b.path; });
}

// --- the scratch folder ----------------------------------------------------------------------

constexpr char kScratchPrefix[] = "vnsetup-disc-";
// A folder being made: it takes its final name only once its lock is held.
constexpr char kPendingPrefix[] = "vnsetup-disc-new-";
// The file in a scratch folder that its run holds locked for as long as it lives.
constexpr char kInUseFile[] = ".in-use";
// Room left beside what is copied: the file system's own blocks and whatever else runs.
constexpr int64_t kSpareBytes = int64_t{16} << 20;

// Whether `name` is that of a scratch folder: the prefix and digits (a pending one's too).
bool IsScratchName(const std::string& name) {
  const size_t prefix = name.rfind(kPendingPrefix, 0) == 0   ? sizeof kPendingPrefix - 1
                        : name.rfind(kScratchPrefix, 0) == 0 ? sizeof kScratchPrefix - 1
                                                             : 0;
  return prefix > 0 && name.size() > prefix &&
         std::all_of(name.begin() + prefix, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

class ScratchFolder {
 public:
  ~ScratchFolder() {
    if (!folder_.empty()) DeleteFolderTree(folder_);
  }

  // Our own new folder in the temporary folder. It is made under a pending name, its lock file
  // taken, and only then renamed, so no run ever sees a scratch folder of a live run unlocked.
  const fs::path& Get() {
    if (!folder_.empty()) return folder_;
    const fs::path base = TemporaryFolder();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string number = std::to_string(random() % 1000000000);
      const fs::path pending = base / (kPendingPrefix + number);
      const fs::path folder = base / (kScratchPrefix + number);
      std::error_code ec;
      if (!fs::create_directory(pending, ec)) continue;
      fs::permissions(pending, fs::perms::owner_all, fs::perm_options::replace, ec);
      std::optional<File> lock = File::CreateNew(pending / kInUseFile);
      // A live folder is never empty (it holds its lock file), so the rename cannot replace one.
      if (lock && lock->TryClaimForWriting() && !fs::exists(fs::symlink_status(folder, ec))) {
        fs::rename(pending, folder, ec);
        if (!ec) {
          in_use_ = std::move(lock);
          return folder_ = folder;
        }
      }
      lock.reset();
      DeleteFolderTree(pending);
    }
    throw EWriteError(Tr(Msg::kScratchNotMade, {PathToUtf8(base)}));
  }

  // The folders of images copied out so far: (image, top folder) -> where.
  std::map<std::pair<fs::path, std::string>, fs::path> copied;

 private:
  fs::path folder_;
  std::optional<File> in_use_;
};

ScratchFolder& Scratch() {
  static ScratchFolder scratch;
  return scratch;
}

// --- a folder --------------------------------------------------------------------------------

class FolderDiscFiles : public DiscFiles {
 public:
  explicit FolderDiscFiles(const fs::path& folder) : DiscFiles(folder) {}
  bool IsImage() const override { return false; }

  const std::vector<DiscFileInfo>& Files() const override {
    if (listed_) return files_;
    listed_ = true;
    std::vector<fs::path> list;
    ListFolder(Location(), kFaReadOnly | kFaHidden | kFaSysFile | kFaArchive | kFaDirectory, true, true, list,
               true, false, false, "");
    for (const fs::path& entry : list) {
      std::error_code ec;
      const fs::file_status status = fs::symlink_status(entry, ec);
      // The listing passes over a folder it cannot open (a damaged disc, a folder without
      // permissions): it is noted, so that a file listed for the installation in it is not lost
      // without a word.
      if (fs::is_directory(status)) {
        const fs::directory_iterator opened(entry, ec);
        if (ec) unreadable_.push_back(RelativeUtf8(Location(), entry));
        continue;
      }
      // Only regular files: a link on the disc could point anywhere on this machine.
      if (!fs::is_regular_file(status)) continue;
      files_.push_back(InfoOf(entry, RelativeUtf8(Location(), entry)));
    }
    SortByPath(files_);
    return files_;
  }
  const std::vector<std::string>& UnreadableFolders() const override {
    Files();
    return unreadable_;
  }

  // A file asked for by name (install.dat, game.dat) is read through a link, and a pipe or device of
  // that name is found too, so that opening it says what is wrong; only the listing of files to copy
  // leaves them out.
  std::optional<DiscFileInfo> Find(std::string_view relative) const override {
    try {
      const fs::path file = JoinNativePath(Location(), relative);
      std::error_code ec;
      if (!fs::exists(file, ec) || fs::is_directory(file, ec)) return std::nullopt;
      return InfoOf(file, RelativeUtf8(Location(), file));
    } catch (const Exception&) {
      return std::nullopt;  // a name that would leave the disc
    }
  }

  File Open(const DiscFileInfo& file) const override { return OpenRegularFile(PathOf(file)); }
  bool CopyInto(const DiscFileInfo& file, File& target, const CopyProgress& progress) const override {
    return CopyFileInto(PathOf(file), target, progress);
  }
  fs::path RunnablePath(const DiscFileInfo& file) const override { return PathOf(file); }

 private:
  fs::path PathOf(const DiscFileInfo& file) const { return Location() / Utf8ToPath(file.path); }

  static DiscFileInfo InfoOf(const fs::path& file, std::string relative) {
    DiscFileInfo info;
    info.path = std::move(relative);
    std::error_code ec;
    info.size = fs::is_regular_file(file, ec) ? static_cast<int64_t>(fs::file_size(file, ec)) : 0;
    const auto time = fs::last_write_time(file, ec);
    if (!ec) {
      info.time = std::chrono::system_clock::to_time_t(
          std::chrono::time_point_cast<std::chrono::system_clock::duration>(
              fs::file_time_type::clock::to_sys(time)));
    }
    return info;
  }

  mutable bool listed_ = false;
  mutable std::vector<DiscFileInfo> files_;
  mutable std::vector<std::string> unreadable_;
};

// --- a disc image ----------------------------------------------------------------------------

class ImageDiscFiles : public DiscFiles {
 public:
  explicit ImageDiscFiles(const fs::path& image) : DiscFiles(image), image_(image) {
    for (const DiscImageEntry& entry : image_.Entries()) {
      if (entry.directory) continue;
      files_.push_back({entry.path, entry.size, entry.time});
      by_path_.emplace(entry.path, &entry);
      by_folded_path_.emplace(FoldedDiscPath(entry.path), &entry);
    }
    SortByPath(files_);
  }
  bool IsImage() const override { return true; }
  const std::vector<DiscFileInfo>& Files() const override { return files_; }

  std::optional<DiscFileInfo> Find(std::string_view relative) const override {
    const auto found = by_folded_path_.find(FoldedDiscPath(relative));
    if (found == by_folded_path_.end()) return std::nullopt;
    const DiscImageEntry& entry = *found->second;
    return DiscFileInfo{entry.path, entry.size, entry.time};
  }

  File Open(const DiscFileInfo& file) const override { return image_.OpenFile(EntryOf(file)); }

  bool CopyInto(const DiscFileInfo& file, File& target, const CopyProgress& progress) const override {
    try {
      File source = Open(file);
      const bool program = EntryOf(file).executable || StartsLikeProgram(source);
      if (!CopyFileContent(source, target, file.size, progress)) return false;
      using fs::perms;
      FileSetPermissions(
          target, program ? perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                perms::others_exec
                          : perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
      if (file.time > 0) {
        FileSetModified(
            target, fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(file.time)));
      }
      return true;
    } catch (const EWriteError&) {
      throw;
    } catch (const Exception&) {
      return false;
    }
  }

  fs::path RunnablePath(const DiscFileInfo& file) const override {
    const DiscImageEntry& wanted = EntryOf(file);
    const size_t slash = wanted.path.find('/');
    const std::string top = wanted.path.substr(0, slash);
    const auto belongs = [&](const DiscImageEntry& entry) {
      return slash == std::string::npos ? entry.path == wanted.path : entry.path.rfind(top + "/", 0) == 0;
    };
    std::error_code ec;
    const std::pair<fs::path, std::string> key{fs::weakly_canonical(Location(), ec), top};
    if (const auto done = Scratch().copied.find(key); done != Scratch().copied.end()) {
      return done->second / Utf8ToPath(wanted.path);
    }
    int64_t bytes = 0;
    for (const DiscImageEntry& entry : image_.Entries()) bytes += belongs(entry) ? entry.size : 0;
    CheckScratchSpace(Describe(slash == std::string::npos ? wanted.path : top), bytes);
    // Named after the image, as a copied disc folder would be; a second image of that name gets a number.
    const std::string stem = Location().stem().empty() ? std::string("disc") : PathToUtf8(Location().stem());
    const fs::path root = DiscScratchFolder();
    fs::path folder = root / Utf8ToPath(stem);
    for (int n = 2; fs::exists(fs::symlink_status(folder, ec)); ++n) {
      folder = root / Utf8ToPath(stem + "-" + std::to_string(n));
    }
    fs::create_directory(folder, ec);
    if (ec) throw EWriteError(PathToUtf8(folder) + ": " + ec.message());
    try {
      image_.ExtractTo(folder, belongs);
    } catch (...) {
      DeleteFolderTree(folder);
      throw;
    }
    Scratch().copied[key] = folder;
    return folder / Utf8ToPath(wanted.path);
  }

 private:
  // By the exact path: Rock Ridge names may differ in letter case only.
  const DiscImageEntry& EntryOf(const DiscFileInfo& file) const {
    const auto found = by_path_.find(file.path);
    if (found == by_path_.end()) throw EFOpenError(Tr(Msg::kDiscFileNotFound, {Describe(file)}));
    return *found->second;
  }

  DiscImage image_;
  std::vector<DiscFileInfo> files_;
  std::unordered_map<std::string, const DiscImageEntry*> by_path_;
  std::unordered_map<std::string, const DiscImageEntry*> by_folded_path_;
};

}  // namespace

std::string DiscFiles::Describe(const DiscFileInfo& file) const {
  return Describe(file.path);
}

std::string DiscFiles::Describe(std::string_view relative) const {
  return PathToUtf8(location_ / Utf8ToPath(relative));
}

std::unique_ptr<DiscFiles> OpenDiscFiles(const fs::path& location) {
  if (LooksLikeDiscImage(location)) return std::make_unique<ImageDiscFiles>(location);
  return std::make_unique<FolderDiscFiles>(location);
}

fs::path DiscLocationOf(const fs::path& argument) {
  std::error_code ec;
  if (!fs::is_regular_file(argument, ec) || LooksLikeDiscImage(argument)) return argument;
  return argument.parent_path();
}

bool IsDiscLocation(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec) || LooksLikeDiscImage(path);
}

namespace {

// The entries of `folder` that `wanted` takes, in name order; none when it is no folder.
template <typename Wanted>
std::vector<fs::path> EntriesIn(const fs::path& folder, Wanted wanted) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (wanted(it->path())) entries.push_back(it->path());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace

std::vector<fs::path> DiscImagesIn(const fs::path& folder) {
  return EntriesIn(folder, [](const fs::path& entry) { return LooksLikeDiscImage(entry); });
}

std::vector<fs::path> DiscsBeside(const fs::path& current) {
  return EntriesIn(current.parent_path(),
                   [&](const fs::path& entry) { return entry != current && IsDiscLocation(entry); });
}

fs::path DiscScratchFolder() {
  return Scratch().Get();
}

void RemoveAbandonedDiscScratch() {
  const fs::path base = TemporaryFolder();
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    if (!IsScratchName(PathToUtf8(it->path().filename()))) continue;
    if (FolderLockAbandoned(it->path(), kInUseFile)) DeleteFolderTree(it->path());
  }
}

void CheckScratchSpace(const std::string& what, int64_t bytes) {
  const fs::path folder = DiscScratchFolder();
  const int64_t needed = bytes + kSpareBytes;
  const int64_t free = FreeSpace(folder);
  if (free >= 0 && free < needed) {
    throw EWriteError(
        Tr(Msg::kScratchFull, {what, PathToUtf8(folder), std::to_string(needed), std::to_string(free)}));
  }
}

}  // namespace vn
