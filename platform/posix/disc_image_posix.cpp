// Disc images through libcdio: libiso9660 lists ISO 9660 file systems (Joliet and Rock Ridge names)
// of images of 2048-byte sectors and, opened "fuzzy", of raw 2352-byte sectors; the CD image drivers
// (cue sheets, Nero images) read sectors for the ISO 9660 lister of libcdio's disc layer; libudf lists
// images that carry UDF only. Files are read in place: as ranges of the image where the sectors are
// plain 2048 bytes, else sector by sector through the library that opened the image.
#include <cdio/bytesex.h>
#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <cdio/udf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "messages/messages.h"
#include "platform/disc_image.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr int64_t kBlockSize = 2048;
constexpr int64_t kRawSectorSize = 2352;
// A hostile image may nest folders or list entries without end; no disc comes near these.
constexpr int kMaxDepth = 64;
constexpr size_t kMaxEntries = 200000;
// Sectors read through a library at a time.
constexpr int64_t kBlocksPerRead = 256;

[[noreturn]] void Damaged(const fs::path& image, const std::string& what) {
  throw EFormatError(Tr(Msg::kDamagedDiscImage, {PathToUtf8(image), what}));
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

std::string LowerExtension(const fs::path& file) {
  return AsciiLowerCase(PathToUtf8(file.extension()));
}

// The .img a CloneCD .ccd describes: the file beside it with the same name, its extension in any case.
fs::path CloneCdData(const fs::path& ccd) {
  std::error_code ec;
  for (fs::directory_iterator it(ccd.parent_path().empty() ? "." : ccd.parent_path(), ec), end;
       !ec && it != end; it.increment(ec)) {
    const fs::path& candidate = it->path();
    if (candidate.stem() == ccd.stem() && LowerExtension(candidate) == ".img") return candidate;
  }
  return {};
}

struct IsoCloser {
  void operator()(iso9660_t* iso) const { iso9660_close(iso); }
};
struct CdioCloser {
  void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
struct UdfCloser {
  void operator()(udf_t* udf) const { udf_close(udf); }
};
struct UdfDirentFree {
  void operator()(udf_dirent_t* dirent) const { udf_dirent_free(dirent); }
};
struct FileListFree {
  void operator()(CdioISO9660FileList_t* list) const { iso9660_filelist_free(list); }
};
using IsoHandle = std::unique_ptr<iso9660_t, IsoCloser>;
using CdioHandle = std::unique_ptr<CdIo_t, CdioCloser>;
using UdfHandle = std::unique_ptr<udf_t, UdfCloser>;
using UdfDirent = std::unique_ptr<udf_dirent_t, UdfDirentFree>;
using FileList = std::unique_ptr<CdioISO9660FileList_t, FileListFree>;

}  // namespace

// What holds the image open, and how its 2048-byte blocks are read. Shared with the files opened, so
// they may outlive the DiscImage.
struct DiscImage::Reader {
  fs::path image;
  // One of these reads the blocks: the image file itself (2048-byte sectors), libiso9660 on an image
  // of raw sectors, or a CD image driver.
  std::optional<File> plain;
  IsoHandle iso;
  CdioHandle cdio;
  UdfHandle udf;
  int64_t disc_bytes = 0;  // what the image holds, in bytes of 2048-byte blocks
  std::vector<char> buffer;

  // Reads `count` bytes at byte `position` of the disc's blocks; raises EReadError naming `what`.
  void Read(int64_t position, char* out, int64_t count, const std::string& what) {
    if (position < 0 || count < 0 || position > disc_bytes || count > disc_bytes - position) {
      throw EReadError(what + ": lies past the end of the image " + PathToUtf8(image));
    }
    if (plain) {
      if (plain->ReadAt(position, out, count) != count) {
        throw EReadError(what + ": cannot be read whole from " + PathToUtf8(image));
      }
      return;
    }
    while (count > 0) {
      const int64_t block = position / kBlockSize;
      const int64_t skip = position % kBlockSize;
      const int64_t blocks = std::min<int64_t>((skip + count + kBlockSize - 1) / kBlockSize, kBlocksPerRead);
      buffer.resize(static_cast<size_t>(blocks * kBlockSize));
      bool read = true;
      if (iso) {
        // One sector a call: of several raw sectors libiso9660 reads the frames whole, headers and all.
        for (int64_t i = 0; read && i < blocks; ++i) {
          read = iso9660_iso_seek_read(iso.get(), buffer.data() + i * kBlockSize,
                                       static_cast<lsn_t>(block + i), 1) == kBlockSize;
        }
      } else {
        read = cdio_read_data_sectors(cdio.get(), buffer.data(), static_cast<lsn_t>(block), kBlockSize,
                                      static_cast<uint32_t>(blocks)) == DRIVER_OP_SUCCESS;
      }
      if (!read)
        throw EReadError(what + ": cannot read sector " + std::to_string(block) + " of " + PathToUtf8(image));
      const int64_t n = std::min(count, blocks * kBlockSize - skip);
      std::memcpy(out, buffer.data() + skip, static_cast<size_t>(n));
      out += n;
      position += n;
      count -= n;
    }
  }
};

namespace {

// The bytes of one file of an image: its extents read in turn, the unrecorded ones as zeros, or the
// bytes its entry holds.
class ImageFileSource : public FileSource {
 public:
  ImageFileSource(std::shared_ptr<DiscImage::Reader> reader, const DiscImageEntry& entry, std::string what)
      : reader_(std::move(reader)),
        extents_(entry.extents),
        embedded_(entry.embedded),
        size_(entry.size),
        what_(std::move(what)) {
    int64_t start = 0;
    for (const ImageExtent& extent : extents_) {
      starts_.push_back(start);
      start += extent.length;
    }
  }
  int64_t Size() const override { return size_; }

  // An extent of an image of 2048-byte sectors lies in the image file as it is.
  int64_t Run(int64_t position, File** plain, int64_t* offset) override {
    *plain = nullptr;
    *offset = 0;
    if (position < 0 || position >= size_) return 0;
    if (!embedded_.empty()) return size_ - position;
    const size_t i = ExtentAt(position);
    const ImageExtent& extent = extents_.at(i);
    const int64_t within = position - starts_[i];
    if (extent.recorded && reader_->plain) {
      *plain = &*reader_->plain;
      *offset = extent.block * kBlockSize + within;
    }
    return extent.length - within;
  }

  void ReadAt(int64_t position, void* buffer, int64_t count) override {
    char* out = static_cast<char*>(buffer);
    if (!embedded_.empty()) {
      std::memcpy(out, embedded_.data() + position, static_cast<size_t>(count));
      return;
    }
    for (size_t i = ExtentAt(position); count > 0; ++i) {
      const ImageExtent& extent = extents_.at(i);
      const int64_t within = position - starts_[i];
      const int64_t n = std::min(count, extent.length - within);
      if (extent.recorded) {
        reader_->Read(extent.block * kBlockSize + within, out, n, what_);
      } else {
        std::memset(out, 0, static_cast<size_t>(n));
      }
      out += n;
      position += n;
      count -= n;
    }
  }

 private:
  // The extent that holds `position`: the last one starting at or before it.
  size_t ExtentAt(int64_t position) const {
    return static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), position) - starts_.begin()) -
           1;
  }

  std::shared_ptr<DiscImage::Reader> reader_;
  std::vector<ImageExtent> extents_;
  std::vector<int64_t> starts_;
  std::string embedded_;
  int64_t size_;
  std::string what_;
};

// Whether `size` bytes from the 2048-byte block `block` lie within the image.
bool ExtentFits(int64_t block, int64_t size, int64_t disc_bytes) {
  const int64_t at = block * kBlockSize;
  return block >= 0 && size >= 0 && at <= disc_bytes && size <= disc_bytes - at;
}

// Checks that the extents of `entry` lie inside the image and add up to its size.
void CheckExtents(const DiscImageEntry& entry, int64_t disc_bytes, const fs::path& image) {
  int64_t total = 0;
  for (const ImageExtent& extent : entry.extents) {
    if (extent.length < 0 || extent.length > INT64_MAX - total) Damaged(image, entry.path + ": bad extent");
    total += extent.length;
    if (!extent.recorded) continue;
    if (!ExtentFits(extent.block, extent.length, disc_bytes)) {
      Damaged(image, entry.path + " lies past the end of the image");
    }
  }
  if (entry.embedded.empty() && total != entry.size)
    Damaged(image, entry.path + ": its extents do not make its size");
}

// --- ISO 9660 ---------------------------------------------------------------------------------

// Lists one folder of the ISO 9660 tree (libiso9660 on the image file, or the disc layer on a CD
// image driver).
using ReadFolder = std::function<CdioISO9660FileList_t*(const char* path)>;
// The entry of one folder of that tree, for its extent (nullptr when it cannot be read).
using StatFolder = std::function<iso9660_stat_t*(const char* path)>;

// Reads `count` bytes at byte `position` of the disc's blocks; false when they cannot be read.
using ReadBytes = std::function<bool(int64_t position, char* out, int64_t count)>;

// Whether the folder's own entry (when the library finds one) lies within the image, and the
// directory records of its extent are whole. libiso9660 reads the extent into one buffer and walks
// it: a zero byte is skipped, any other byte is the length of a record, which it reads with its name
// trusting both lengths, past the buffer when they lie. Each record must lie inside the extent, be
// as long as a record with a name at least, and hold its name.
bool FolderFits(const StatFolder& stat_folder, const ReadBytes& read_bytes, const std::string& path,
                int64_t disc_bytes) {
  iso9660_stat_t* self = stat_folder(path.c_str());
  if (!self) return true;
  const int64_t start = static_cast<int64_t>(self->lsn) * kBlockSize, size = self->size;
  const bool fits = ExtentFits(self->lsn, self->size, disc_bytes);
  iso9660_stat_free(self);
  if (!fits) return false;
  constexpr int64_t kRecordHead = 33;  // the fixed part of a record, before its name
  constexpr int64_t kWindow = kBlocksPerRead * kBlockSize;
  const int64_t length = (size + kBlockSize - 1) / kBlockSize * kBlockSize;  // the library's buffer
  std::vector<char> window;
  for (int64_t offset = 0; offset < length;) {
    const int64_t n = std::min(kWindow, length - offset);
    window.resize(static_cast<size_t>(n));
    if (!read_bytes(start + offset, window.data(), n)) return false;
    int64_t i = 0;
    while (i < n) {
      const auto record = static_cast<uint8_t>(window[static_cast<size_t>(i)]);
      if (record == 0) {
        ++i;
        continue;
      }
      if (offset + i + record > length) return false;
      if (i + record > n) break;  // whole in the next window
      const auto name = static_cast<uint8_t>(window[static_cast<size_t>(i + 32)]);
      if (record < kRecordHead + 1 || kRecordHead + name > record) return false;
      i += record;
    }
    offset += i;
  }
  return true;
}

void ListIso(const ReadFolder& read_folder, const StatFolder& stat_folder, const ReadBytes& read_bytes,
             uint8_t joliet_level, const fs::path& image, int64_t disc_bytes, const std::string& folder,
             int depth, std::vector<DiscImageEntry>& out) {
  if (depth > kMaxDepth) Damaged(image, "folders nested too deeply");
  const std::string query = "/" + folder;
  // The library reads a folder's whole extent into memory: one that claims more than the image
  // holds is damage, refused before that is allocated, as are records it would read past it.
  if (!FolderFits(stat_folder, read_bytes, query, disc_bytes))
    Damaged(image, "folder /" + folder + " lies past the end of the image or holds a broken entry");
  const FileList list(read_folder(query.c_str()));
  if (!list) Damaged(image, "folder /" + folder + " cannot be read");
  std::vector<std::string> folders;
  CdioListNode_t* node;
  _CDIO_LIST_FOREACH(node, list.get()) {
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
    const std::string path = Join(folder, name);
    const bool directory = stat->type == iso9660_stat_s::_STAT_DIR;
    // A file over 4 GiB (ISO level 3) is recorded as one entry per extent, all of the same name, in
    // order; every extent but the last fills whole blocks.
    if (!directory && !out.empty() && out.back().path == path && !out.back().directory &&
        !out.back().extents.empty() && out.back().extents.back().length % kBlockSize == 0) {
      out.back().extents.push_back({static_cast<int64_t>(stat->lsn), static_cast<int64_t>(stat->size)});
      out.back().size += stat->size;
      continue;
    }
    if (!out.empty() && !out.back().directory) CheckExtents(out.back(), disc_bytes, image);
    DiscImageEntry entry;
    entry.path = path;
    entry.directory = directory;
    struct tm tm = stat->tm;
    const std::time_t time = std::mktime(&tm);
    entry.time = time < 0 ? 0 : time;
    entry.executable = stat->rr.b3_rock == yep && (stat->rr.st_mode & 0111) != 0;
    if (directory) {
      // Checked here as well as by its own entry: a folder listed twice under one name may be looked up
      // through the other entry, and the library reads its whole extent.
      if (!ExtentFits(stat->lsn, stat->size, disc_bytes))
        Damaged(image, "folder /" + path + " lies past the end of the image");
      folders.push_back(entry.path);
    } else {
      entry.size = stat->size;
      if (stat->size > 0)
        entry.extents.push_back({static_cast<int64_t>(stat->lsn), static_cast<int64_t>(stat->size)});
    }
    out.push_back(std::move(entry));
    if (out.size() > kMaxEntries) Damaged(image, "too many entries");
  }
  if (!out.empty() && !out.back().directory) CheckExtents(out.back(), disc_bytes, image);
  for (const std::string& sub : folders)
    ListIso(read_folder, stat_folder, read_bytes, joliet_level, image, disc_bytes, sub, depth + 1, out);
}

// Whether the root folder's entries carry Rock Ridge names and modes. A root that claims more than
// the image holds, or holds a broken record, is left to the listing, which refuses it.
bool HasRockRidge(const ReadFolder& read_folder, const StatFolder& stat_folder, const ReadBytes& read_bytes,
                  int64_t disc_bytes) {
  if (!FolderFits(stat_folder, read_bytes, "/", disc_bytes)) return false;
  const FileList list(read_folder("/"));
  if (!list) return false;
  bool found = false;
  CdioListNode_t* node;
  _CDIO_LIST_FOREACH(node, list.get()) {
    found = found || static_cast<const iso9660_stat_t*>(_cdio_list_node_data(node))->rr.b3_rock == yep;
  }
  return found;
}

// --- UDF --------------------------------------------------------------------------------------

// Where the bytes of the file `it` stands at lie, from its allocation descriptors (short or long, as
// libudf reads them: the partition's start plus the block), or the bytes its entry holds. False for
// what is not read here (descriptors continued elsewhere).
bool UdfExtents(const udf_dirent_t* it, DiscImageEntry& entry) {
  const udf_file_entry_t& fe = it->fe;
  const uint32_t descriptors = uint32_from_le(fe.i_alloc_descs);
  const uint32_t attributes = uint32_from_le(fe.i_extended_attr);
  const size_t room = UDF_BLOCKSIZE - UDF_FENTRY_SIZE;
  if (attributes > room || descriptors > room - attributes) return false;
  const uint8_t* ad = fe.u.pad_to_one_block + attributes;
  const uint16_t kind = uint16_from_le(fe.icb_tag.flags) & ICBTAG_FLAG_AD_MASK;
  if (kind == ICBTAG_FLAG_AD_IN_ICB) {
    if (descriptors != entry.size) return false;
    entry.embedded.assign(reinterpret_cast<const char*>(ad), descriptors);
    return true;
  }
  const size_t step = kind == ICBTAG_FLAG_AD_SHORT  ? sizeof(udf_short_ad_t)
                      : kind == ICBTAG_FLAG_AD_LONG ? sizeof(udf_long_ad_t)
                                                    : 0;
  if (step == 0) return false;
  int64_t left = entry.size;
  for (size_t at = 0; at + step <= descriptors && left > 0; at += step) {
    uint32_t length = 0, block = 0;
    if (kind == ICBTAG_FLAG_AD_SHORT) {
      udf_short_ad_t one;
      std::memcpy(&one, ad + at, sizeof one);
      length = uint32_from_le(one.len);
      block = uint32_from_le(one.pos);
    } else {
      udf_long_ad_t one;
      std::memcpy(&one, ad + at, sizeof one);
      length = uint32_from_le(one.len);
      block = uint32_from_le(one.loc.lba);
    }
    const uint32_t type = length >> 30;  // 0 recorded, 1 allocated only, 2 neither, 3 continued
    if (type == 3) return false;
    const int64_t bytes = std::min<int64_t>(length & UDF_LENGTH_MASK, left);
    entry.extents.push_back({static_cast<int64_t>(it->i_part_start) + block, bytes, type == 0});
    left -= bytes;
  }
  return left == 0;
}

// Lists the folder `it` stands before (as udf_get_root and udf_opendir give it); consumes `it`.
void ListUdf(udf_dirent_t* start, const fs::path& image, int64_t disc_bytes, const std::string& folder,
             int depth, std::vector<DiscImageEntry>& out) {
  UdfDirent it(start);
  if (depth > kMaxDepth) Damaged(image, "folders nested too deeply");
  // udf_readdir frees what it is given at the end of the folder and hands back null.
  for (udf_dirent_t* next; (next = udf_readdir(it.release())) != nullptr;) {
    it.reset(next);
    const std::string name = Component(udf_get_filename(next));
    if (name.empty()) continue;
    DiscImageEntry entry;
    entry.path = Join(folder, name);
    entry.directory = udf_is_dir(next);
    entry.time = udf_get_modification_time(next);
    entry.executable = (udf_get_posix_filemode(next) & 0111) != 0 && !entry.directory;
    if (!entry.directory) {
      entry.size = static_cast<int64_t>(udf_get_file_length(next));
      if (entry.size < 0 || !UdfExtents(next, entry))
        Damaged(image, entry.path + ": its allocation cannot be read");
      CheckExtents(entry, disc_bytes, image);
    }
    out.push_back(entry);
    if (out.size() > kMaxEntries) Damaged(image, "too many entries");
    if (entry.directory) {
      if (udf_dirent_t* sub = udf_opendir(next)) ListUdf(sub, image, disc_bytes, entry.path, depth + 1, out);
    }
  }
}

// Without Rock Ridge or UDF modes, a Linux program on the disc (an ELF file or a "#!" script, as on
// a disc that carries our own launcher) is known by its first bytes.
bool IsProgram(const DiscImageEntry& entry, File& file) {
  return entry.executable || StartsLikeProgram(file);
}

}  // namespace

bool LooksLikeDescribedImage(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  cdio_log_set_handler([](cdio_log_level_t, const char*) {});
  const std::string extension = LowerExtension(file);
  if (extension == ".cue") {
    char* data = cdio_is_cuefile(file.c_str());
    const bool found = data != nullptr && fs::is_regular_file(data, ec);
    std::free(data);
    return found;
  }
  if (extension == ".ccd") {
    const fs::path data = CloneCdData(file);
    return !data.empty() && LowerExtension(data) == ".img" && LooksLikeDiscImage(data);
  }
  return extension == ".nrg" && cdio_is_nrg(file.c_str());
}

DiscImage::DiscImage(const fs::path& image) : image_(image), reader_(std::make_shared<Reader>()) {
  // libcdio reports what it cannot read on stderr; what matters here is raised with the image's name.
  cdio_log_set_handler([](cdio_log_level_t, const char*) {});
  if (!LooksLikeDiscImage(image)) Damaged(image, "no ISO 9660 or UDF volume descriptor");
  Reader& reader = *reader_;
  reader.image = image;
  const std::string extension = LowerExtension(image);
  ReadFolder read_folder;
  StatFolder stat_folder;
  const ReadBytes read_bytes = [&reader](int64_t position, char* out, int64_t count) {
    try {
      reader.Read(position, out, count, "folder");
      return true;
    } catch (const Exception&) {
      return false;
    }
  };
  uint8_t joliet_level = 0;
  if (extension == ".cue" || extension == ".nrg") {
    // A CD image driver reads the sectors, whatever their mode; the disc layer lists the tree.
    reader.cdio.reset(extension == ".cue" ? cdio_open_cue(image.c_str()) : cdio_open_nrg(image.c_str()));
    if (!reader.cdio) Damaged(image, "its data cannot be opened");
    const lsn_t last = cdio_get_disc_last_lsn(reader.cdio.get());
    reader.disc_bytes = last == CDIO_INVALID_LSN ? 0 : static_cast<int64_t>(last) * kBlockSize;
    CdIo_t* cdio = reader.cdio.get();
    read_folder = [cdio](const char* path) { return iso9660_fs_readdir(cdio, path); };
    stat_folder = [cdio](const char* path) { return iso9660_fs_stat_translate(cdio, path); };
    // Rock Ridge names keep the modes (executable programs); the Joliet tree, read otherwise, has none.
    if (!iso9660_fs_read_superblock(cdio, ISO_EXTENSION_ALL & ~ISO_EXTENSION_JOLIET)) {
      Damaged(image, "no ISO 9660 file system on it");
    }
    if (!HasRockRidge(read_folder, stat_folder, read_bytes, reader.disc_bytes))
      iso9660_fs_read_superblock(cdio, ISO_EXTENSION_ALL);
    joliet_level = cdio_get_joliet_level(cdio);
  } else {
    const fs::path data = extension == ".ccd" ? CloneCdData(image) : image;
    std::error_code ec;
    const auto size = static_cast<int64_t>(fs::file_size(data, ec));
    if (ec) throw EFOpenError(PathToUtf8(data) + ": " + ec.message());
    File head(data, FileAccess::kRead);
    char id[5] = {};
    const bool raw = head.ReadAt(16 * 2048 + 1, id, 5) != 5 ||
                     (std::memcmp(id, "CD001", 5) != 0 && std::memcmp(id, "BEA01", 5) != 0 &&
                      std::memcmp(id, "NSR0", 4) != 0);
    reader.image = data;
    const auto open = [&](iso_extension_mask_t mask) {
      return IsoHandle(raw ? iso9660_open_fuzzy_ext(data.c_str(), mask, 20)
                           : iso9660_open_ext(data.c_str(), mask));
    };
    reader.disc_bytes = raw ? size / kRawSectorSize * kBlockSize : size;
    if (!raw) reader.plain.emplace(std::move(head));
    reader.iso = open(ISO_EXTENSION_ALL & ~ISO_EXTENSION_JOLIET);
    read_folder = [&reader](const char* path) { return iso9660_ifs_readdir(reader.iso.get(), path); };
    stat_folder = [&reader](const char* path) { return iso9660_ifs_stat_translate(reader.iso.get(), path); };
    if (reader.iso && !HasRockRidge(read_folder, stat_folder, read_bytes, reader.disc_bytes))
      reader.iso = open(ISO_EXTENSION_ALL);
    if (reader.iso) {
      joliet_level = iso9660_ifs_get_joliet_level(reader.iso.get());
    } else if (!raw) {
      reader.udf.reset(udf_open(data.c_str()));
      UdfDirent root(reader.udf ? udf_get_root(reader.udf.get(), true, 0) : nullptr);
      if (!root) Damaged(image, "its volume descriptors cannot be read");
      ListUdf(root.release(), image, reader.disc_bytes, "", 0, entries_);
      return;
    } else {
      Damaged(image, "no ISO 9660 file system in its sectors");
    }
  }
  ListIso(read_folder, stat_folder, read_bytes, joliet_level, image, reader.disc_bytes, "", 0, entries_);
}

DiscImage::~DiscImage() = default;

File DiscImage::OpenFile(const DiscImageEntry& entry) const {
  if (reader_->plain && entry.extents.size() == 1 && entry.extents[0].recorded) {
    return File::Window(reader_->image, entry.extents[0].block * kBlockSize, entry.size);
  }
  const fs::path name = image_ / Utf8ToPath(entry.path);
  return File::FromSource(name, std::make_shared<ImageFileSource>(reader_, entry, PathToUtf8(name)));
}

void DiscImage::ExtractTo(const fs::path& folder,
                          const std::function<bool(const DiscImageEntry&)>& wanted) const {
  for (const DiscImageEntry& entry : entries_) {
    const fs::path target = folder / Utf8ToPath(entry.path);
    if (entry.directory) {
      if (::mkdir(target.c_str(), 0755) != 0)
        throw EWriteError(PathToUtf8(target) + ": " + std::strerror(errno));
      continue;
    }
    if (wanted && !wanted(entry)) continue;
    File source = OpenFile(entry);
    std::optional<File> copy = File::CreateNew(target);
    if (!copy) throw EWriteError(PathToUtf8(target) + ": " + std::strerror(EEXIST));
    if (copy->CopyRangeFrom(source, 0, 0, entry.size) != entry.size) {
      throw EReadError(PathToUtf8(image_ / Utf8ToPath(entry.path)) + ": cannot be read whole");
    }
    copy->Close();
    if (IsProgram(entry, source)) ::chmod(target.c_str(), 0755);
    if (entry.time > 0) {
      const struct timeval times[2] = {{entry.time, 0}, {entry.time, 0}};
      ::utimes(target.c_str(), times);
    }
  }
}

}  // namespace vn
