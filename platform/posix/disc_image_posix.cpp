// Disc images through libcdio: libiso9660 for ISO 9660 (Joliet and Rock Ridge names, whose files are
// single extents read straight from the image), libudf for images that carry UDF only.
#include <cdio/bytesex.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <cdio/udf.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "platform/disc_files.h"
#include "platform/disc_image.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSectorSize = 2048;
// A hostile image may nest folders or list entries without end; no disc comes near these.
constexpr int kMaxDepth = 64;
constexpr size_t kMaxEntries = 200000;

[[noreturn]] void Damaged(const fs::path& image, const std::string& what) {
  throw EFormatError(PathToUtf8(image) + ": 壊れたディスクイメージです (" + what + ")");
}

// One name of a folder listing as a path component, or empty when it is none we may use.
std::string Component(const char* name) {
  const std::string text = name ? name : "";
  if (text.empty() || text == "." || text == ".." || text.find('/') != std::string::npos) return {};
  return text;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

}  // namespace

struct DiscImage::Reader {
  iso9660_t* iso = nullptr;
  uint8_t joliet_level = 0;
  udf_t* udf = nullptr;
  udf_dirent_t* udf_root = nullptr;
  ~Reader() {
    if (udf_root) udf_dirent_free(udf_root);
    if (udf) udf_close(udf);
    if (iso) iso9660_close(iso);
  }
};

namespace {

void ListIso(iso9660_t* iso, uint8_t joliet_level, const fs::path& image, int64_t image_size,
             const std::string& folder, int depth, std::vector<DiscImageEntry>& out) {
  if (depth > kMaxDepth) Damaged(image, "folders nested too deeply");
  const std::string query = "/" + folder;
  CdioISO9660FileList_t* list = iso9660_ifs_readdir(iso, query.c_str());
  if (!list) Damaged(image, "folder /" + folder + " cannot be read");
  std::vector<std::string> folders;
  std::string error;
  CdioListNode_t* node;
  _CDIO_LIST_FOREACH(node, list) {
    const auto* stat = static_cast<const iso9660_stat_t*>(_cdio_list_node_data(node));
    std::string name;
    if (stat->rr.b3_rock == yep || joliet_level > 0) {
      name = Component(stat->filename);
    } else {
      // A plain ISO 9660 name ("README.TXT;1") as systems show it: version dropped, lower case.
      std::vector<char> translated(std::strlen(stat->filename) + 1);
      iso9660_name_translate_ext(stat->filename, translated.data(), 0);
      name = Component(translated.data());
    }
    if (name.empty()) continue;
    if (stat->rr.b3_rock == yep && S_ISLNK(stat->rr.st_mode)) continue;  // links are no disc files
    DiscImageEntry entry;
    entry.path = Join(folder, name);
    entry.directory = stat->type == iso9660_stat_s::_STAT_DIR;
    struct tm tm = stat->tm;
    const std::time_t time = std::mktime(&tm);
    entry.time = time < 0 ? 0 : time;
    entry.executable = stat->rr.b3_rock == yep && (stat->rr.st_mode & 0111) != 0;
    if (!entry.directory) {
      entry.offset = static_cast<int64_t>(stat->lsn) * kSectorSize;
      entry.size = stat->size;
      if (entry.offset > image_size || entry.size > image_size - entry.offset) {
        error = entry.path + " lies past the end of the image";
        break;
      }
    } else {
      folders.push_back(entry.path);
    }
    out.push_back(std::move(entry));
    if (out.size() > kMaxEntries) {
      error = "too many entries";
      break;
    }
  }
  iso9660_filelist_free(list);
  if (!error.empty()) Damaged(image, error);
  for (const std::string& sub : folders) ListIso(iso, joliet_level, image, image_size, sub, depth + 1, out);
}

// Where the bytes of the file `it` stands at lie in the image, when they are one recorded extent
// (as mastering tools write files): its one allocation descriptor, read as libudf reads it (the
// partition's start plus the block). -1 for anything else (data inside the entry, several extents,
// an extent allocated but not recorded), which libudf then reads itself.
int64_t UdfExtentOffset(const udf_dirent_t* it, int64_t size) {
  const udf_file_entry_t& fe = it->fe;
  const uint32_t descriptors = uint32_from_le(fe.i_alloc_descs);
  const uint32_t attributes = uint32_from_le(fe.i_extended_attr);
  if (size <= 0 || attributes > UDF_BLOCKSIZE - UDF_FENTRY_SIZE - sizeof(udf_long_ad_t)) return -1;
  const uint8_t* ad = fe.u.pad_to_one_block + attributes;
  uint32_t length = 0, block = 0;
  switch (uint16_from_le(fe.icb_tag.flags) & ICBTAG_FLAG_AD_MASK) {
    case ICBTAG_FLAG_AD_SHORT: {
      if (descriptors != sizeof(udf_short_ad_t)) return -1;
      udf_short_ad_t one;
      std::memcpy(&one, ad, sizeof one);
      length = uint32_from_le(one.len);
      block = uint32_from_le(one.pos);
      break;
    }
    case ICBTAG_FLAG_AD_LONG: {
      if (descriptors != sizeof(udf_long_ad_t)) return -1;
      udf_long_ad_t one;
      std::memcpy(&one, ad, sizeof one);
      length = uint32_from_le(one.len);
      block = uint32_from_le(one.loc.lba);
      break;
    }
    default:
      return -1;
  }
  if ((length & ~UDF_LENGTH_MASK) != 0 || (length & UDF_LENGTH_MASK) < size) return -1;
  return (static_cast<int64_t>(it->i_part_start) + block) * UDF_BLOCKSIZE;
}

// Lists the folder `it` stands before (as udf_get_root and udf_opendir give it); consumes `it`.
void ListUdf(udf_dirent_t* it, const fs::path& image, int64_t image_size, const std::string& folder,
             int depth, std::vector<DiscImageEntry>& out) {
  if (depth > kMaxDepth) {
    udf_dirent_free(it);
    Damaged(image, "folders nested too deeply");
  }
  while ((it = udf_readdir(it)) != nullptr) {  // frees `it` at the end of the folder
    const std::string name = Component(udf_get_filename(it));
    if (name.empty()) continue;
    DiscImageEntry entry;
    entry.path = Join(folder, name);
    entry.directory = udf_is_dir(it);
    entry.time = udf_get_modification_time(it);
    entry.executable = (udf_get_posix_filemode(it) & 0111) != 0 && !entry.directory;
    entry.size = entry.directory ? 0 : static_cast<int64_t>(udf_get_file_length(it));
    if (!entry.directory) {
      entry.offset = UdfExtentOffset(it, entry.size);
      if (entry.offset >= 0 && (entry.offset > image_size || entry.size > image_size - entry.offset)) {
        udf_dirent_free(it);
        Damaged(image, entry.path + " lies past the end of the image");
      }
    }
    out.push_back(entry);
    if (out.size() > kMaxEntries) {
      udf_dirent_free(it);
      Damaged(image, "too many entries");
    }
    if (entry.directory) {
      if (udf_dirent_t* sub = udf_opendir(it)) {
        try {
          ListUdf(sub, image, image_size, entry.path, depth + 1, out);
        } catch (...) {
          udf_dirent_free(it);
          throw;
        }
      }
    }
  }
}

// Whether the root folder's entries carry Rock Ridge names and modes.
bool HasRockRidge(iso9660_t* iso) {
  CdioISO9660FileList_t* list = iso9660_ifs_readdir(iso, "/");
  if (!list) return false;
  bool found = false;
  CdioListNode_t* node;
  _CDIO_LIST_FOREACH(node, list) {
    found = found || static_cast<const iso9660_stat_t*>(_cdio_list_node_data(node))->rr.b3_rock == yep;
  }
  iso9660_filelist_free(list);
  return found;
}

// Without Rock Ridge or UDF modes, a Linux program on the disc (an ELF file or a "#!" script, as on
// a disc that carries our own launcher) is known by its first bytes and made executable.
void MarkIfProgram(const fs::path& file) {
  try {
    File written(file, FileAccess::kRead);
    if (StartsLikeProgram(written)) ::chmod(file.c_str(), 0755);
  } catch (const Exception&) {
    // left as it is: a file that cannot be read back is no program to run
  }
}

// Writes `size` bytes from `read(buffer, position, count)` into a new file at `target`.
template <typename ReadFn>
void WriteFileFrom(const fs::path& target, int64_t size, bool executable, ReadFn read) {
  const int fd =
      ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, executable ? 0755 : 0644);
  if (fd < 0) throw EWriteError(PathToUtf8(target) + ": " + std::strerror(errno));
  std::vector<char> buffer(1 << 20);
  int64_t done = 0;
  try {
    while (done < size) {
      const int64_t count = std::min<int64_t>(size - done, static_cast<int64_t>(buffer.size()));
      read(buffer.data(), done, count);
      int64_t written = 0;
      while (written < count) {
        const ssize_t n = ::write(fd, buffer.data() + written, static_cast<size_t>(count - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EWriteError(PathToUtf8(target) + ": " + std::strerror(n < 0 ? errno : ENOSPC));
        written += n;
      }
      done += count;
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) throw EWriteError(PathToUtf8(target) + ": " + std::strerror(errno));
}

}  // namespace

DiscImage::DiscImage(const fs::path& image) : image_(image), reader_(std::make_unique<Reader>()) {
  // libcdio reports what it cannot read on stderr; what matters here is raised with the image's name.
  cdio_log_set_handler([](cdio_log_level_t, const char*) {});
  if (!LooksLikeDiscImage(image)) Damaged(image, "no ISO 9660 or UDF volume descriptor");
  std::error_code ec;
  const auto image_size = static_cast<int64_t>(fs::file_size(image, ec));
  if (ec) throw EFOpenError(PathToUtf8(image) + ": " + ec.message());
  // Rock Ridge names keep the modes (executable programs); the Joliet tree, read otherwise, has none.
  reader_->iso = iso9660_open_ext(image.c_str(), ISO_EXTENSION_ALL & ~ISO_EXTENSION_JOLIET);
  if (reader_->iso && !HasRockRidge(reader_->iso)) {
    iso9660_close(reader_->iso);
    reader_->iso = iso9660_open_ext(image.c_str(), ISO_EXTENSION_ALL);
  }
  if (reader_->iso) {
    reader_->joliet_level = iso9660_ifs_get_joliet_level(reader_->iso);
    ListIso(reader_->iso, reader_->joliet_level, image, image_size, "", 0, entries_);
    return;
  }
  reader_->udf = udf_open(image.c_str());
  if (reader_->udf) reader_->udf_root = udf_get_root(reader_->udf, true, 0);
  if (!reader_->udf_root) Damaged(image, "its volume descriptors cannot be read");
  // The listing walks a root of its own: reader_->udf_root stays to find files by name.
  if (udf_dirent_t* walk = udf_get_root(reader_->udf, true, 0))
    ListUdf(walk, image, image_size, "", 0, entries_);
  // A file of another allocation is read through the library, which stops at the end of a truncated
  // image with an error.
}

DiscImage::~DiscImage() = default;

File DiscImage::OpenFile(const DiscImageEntry& entry) const {
  if (entry.offset >= 0) return File::Window(image_, entry.offset, entry.size);
  static int counter = 0;
  const std::string what = PathToUtf8(image_) + ": " + entry.path;
  CheckScratchSpace(what, entry.size);
  // a free name: the scratch folder also holds the folders of programs run from the image
  fs::path copy;
  std::error_code ec;
  do {
    copy = DiscScratchFolder() / ("file-" + std::to_string(++counter));
  } while (fs::exists(fs::symlink_status(copy, ec)));
  File image(image_, FileAccess::kRead);
  try {
    ExtractFile(entry, copy, image);
    File file(copy, FileAccess::kRead);
    ::unlink(copy.c_str());  // the open file stays readable; nothing is left behind
    return file;
  } catch (...) {
    ::unlink(copy.c_str());
    throw;
  }
}

void DiscImage::ExtractFile(const DiscImageEntry& entry, const fs::path& target, File& image) const {
  if (entry.offset >= 0) {
    WriteFileFrom(target, entry.size, entry.executable, [&](char* buffer, int64_t position, int64_t count) {
      if (image.ReadAt(entry.offset + position, buffer, count) != count) {
        Damaged(image_, entry.path + " lies past the end of the image");
      }
    });
  } else {
    udf_dirent_t* file = udf_fopen(reader_->udf_root, entry.path.c_str());
    if (!file) Damaged(image_, entry.path + " cannot be found again");
    try {
      std::vector<char> block;
      WriteFileFrom(target, entry.size, entry.executable, [&](char* buffer, int64_t, int64_t count) {
        const int64_t blocks = (count + UDF_BLOCKSIZE - 1) / UDF_BLOCKSIZE;
        block.resize(static_cast<size_t>(blocks * UDF_BLOCKSIZE));
        const ssize_t n = udf_read_block(file, block.data(), static_cast<size_t>(blocks));
        if (n < count) Damaged(image_, entry.path + " cannot be read whole");
        std::memcpy(buffer, block.data(), static_cast<size_t>(count));
      });
    } catch (...) {
      udf_dirent_free(file);
      throw;
    }
    udf_dirent_free(file);
  }
  if (!entry.executable) MarkIfProgram(target);
  if (entry.time > 0) {
    const struct timeval times[2] = {{entry.time, 0}, {entry.time, 0}};
    ::utimes(target.c_str(), times);
  }
}

void DiscImage::ExtractTo(const fs::path& folder,
                          const std::function<bool(const DiscImageEntry&)>& wanted) const {
  File image(image_, FileAccess::kRead);
  for (const DiscImageEntry& entry : entries_) {
    const fs::path target = folder / Utf8ToPath(entry.path);
    if (entry.directory) {
      if (::mkdir(target.c_str(), 0755) != 0) {
        throw EWriteError(PathToUtf8(target) + ": " + std::strerror(errno));
      }
      continue;
    }
    if (!wanted || wanted(entry)) ExtractFile(entry, target, image);
  }
}

}  // namespace vn
