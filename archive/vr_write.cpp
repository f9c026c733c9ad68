// Writing archives: packing a collection into a new archive, merging another archive into a data
// file with its directory side file, and appending an archive to an executable.
#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "archive/archive_directory.h"
#include "archive/crc32.h"
#include "archive/rxa_probe.h"
#include "archive/vr_files.h"
#include "archive/zlib_stream.h"
#include "platform/error.h"
#include "platform/fileops.h"
#include "platform/folder_handle.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// Files of this size or more are stored as they are.
constexpr int64_t kCompressLimit = 5242880;
// Extensions of files that are already compressed (or are data files of their own).
constexpr std::string_view kStoredExtensions = ".WAV.WMA.OGG.AVI.MPG.MPEG.M1V.WMV.ASF.DAT.";
constexpr size_t kCopyChunk = 4 << 20;

bool IsEofName(const DataString& name) {
  return name == TVrFileCollection::EofName();
}

// Prepares entries ahead of the writer on worker threads, so that compression runs in parallel
// while the archive is still written in order (the bytes are those of packing one by one).
template <typename Result>
class PrepareAhead {
 public:
  PrepareAhead(size_t count, std::function<Result(size_t)> prepare)
      : prepare_(std::move(prepare)), results_(count) {
    const size_t threads = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
    window_ = 2 * threads;
    for (size_t t = 0; t < std::min(threads, count); ++t) threads_.emplace_back([this] { Work(); });
  }
  ~PrepareAhead() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (auto& t : threads_) t.join();
  }

  // Waits for entry j; errors of the preparation are raised here, in entry order.
  Result Take(size_t j) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return results_[j].has_value(); });
    auto r = std::move(*results_[j]);
    results_[j].reset();
    taken_ = j + 1;
    changed_.notify_all();
    if (r.second) std::rethrow_exception(r.second);
    return std::move(r.first);
  }

 private:
  void Work() {
    for (;;) {
      size_t j;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || (next_ < results_.size() && next_ < taken_ + window_); });
        if (stop_ || next_ >= results_.size()) return;
        j = next_++;
      }
      std::pair<Result, std::exception_ptr> r;
      try {
        r.first = prepare_(j);
      } catch (...) {
        r.second = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        results_[j] = std::move(r);
      }
      changed_.notify_all();
    }
  }

  std::function<Result(size_t)> prepare_;
  std::vector<std::optional<std::pair<Result, std::exception_ptr>>> results_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t window_ = 2;
  size_t next_ = 0;
  size_t taken_ = 0;
  bool stop_ = false;
};

// Data that is compressed already (pictures, sound) shrinks by a few per cent at most, far from the
// tenth KeepsCompressedForm asks for. A file of some size is stored without compressing it whole
// when none of three samples (its start, middle and end) shrinks by more than 3 %: a file that
// would shrink enough almost always shows it in one of them (text, uncompressed pictures, padding).
bool LooksCompressed(const std::string& content) {
  constexpr size_t kSample = 65536;
  if (content.size() < 4 * kSample) return false;
  for (const size_t at : {size_t{0}, content.size() / 2 - kSample / 2, content.size() - kSample}) {
    if (CompressedLength(content.data() + at, kSample, 2) * 100 < kSample * 97) return false;
  }
  return true;
}

}  // namespace

bool KeepsCompressedForm(int64_t packed_length, int64_t file_length) {
  // In 32-bit signed arithmetic, as the archives this system must reproduce were packed: above
  // about 238 MB the product wraps (only RXA pictures get there; they are then mostly stored).
  const auto product = static_cast<int32_t>(static_cast<uint32_t>(file_length) * 9u);
  return packed_length <= product / 10;
}

bool ShouldCompress(const fs::path& file, const TVrFile& entry) {
  return ShouldCompress(file, entry.Name());
}

bool ShouldCompress(const fs::path& file, const DataString& name) {
  const DataString ext = AnsiUpperCase(ExtractFileExt(name));
  TFileStream stream(file, FileAccess::kRead);
  if (ext.bytes() == ".RXA") return IsUncompressedRxa(stream);
  // A plain substring search: ".MP" or a lone "." count as listed; no extension at all does not.
  const bool listed = !ext.empty() && kStoredExtensions.find(ext.bytes()) != std::string_view::npos;
  return !listed && stream.GetSize() < kCompressLimit;
}

namespace {

// What a loose file looked like when it was first looked at: a file that another program writes
// while it is packed no longer does afterwards.
struct FileState {
  int64_t size = -1;
  fs::file_time_type written;
  bool operator==(const FileState& other) const { return size == other.size && written == other.written; }
};

FileState StateOf(const fs::path& path) {
  std::error_code ec;
  FileState state;
  const auto size = fs::file_size(path, ec);
  state.size = ec ? -1 : static_cast<int64_t>(size);
  state.written = fs::last_write_time(path, ec);
  return state;
}

}  // namespace

struct TVrFileCollection::PreparedEntry {
  enum Kind { kPacked, kCopyFile, kFromArchive } kind = kFromArchive;
  fs::path path;
  std::string bytes;  // kPacked: what goes into the archive
  bool stored = false;
  uint32_t crc = 0;
  int32_t time = 0;
  FileState state;       // the loose file when it was first looked at
  bool changed = false;  // kPacked: it changed while it was read
};

// Reads and compresses one loose file; touches nothing shared, so it can run on any thread.
TVrFileCollection::PreparedEntry TVrFileCollection::PrepareEntry(const TVrFile& entry) const {
  const DataString& name = entry.Name();
  const bool separate = entry.Separate;
  PreparedEntry p;
  if (!entry.Source.empty()) {
    p.path = entry.Source;
  } else if (base_path_.empty()) {
    return p;
  } else {
    p.path = JoinDataPath(base_path_, name);
  }
  std::error_code ec;
  if (!fs::is_regular_file(p.path, ec)) {
    // a file named as the source is read from nowhere else
    if (!entry.Source.empty()) throw EFOpenError(PathToUtf8(p.path) + ": the file is gone");
    return p;
  }
  p.state = StateOf(p.path);
  p.time = FileAge(p.path);
  if (!ShouldCompress(p.path, name)) {
    p.kind = PreparedEntry::kCopyFile;
    return p;
  }
  // The file is read once: its content serves the checksum, the compression and the fallback.
  TMemoryStream packed(ReadWholeFile(p.path, kAnyFileSize));
  const std::string content = packed.Bytes();
  p.changed = static_cast<int64_t>(content.size()) != p.state.size || !(StateOf(p.path) == p.state);
  p.kind = PreparedEntry::kPacked;
  const bool compress = !LooksCompressed(content);
  if (compress) CompressMemoryStream(packed, 2);
  if (compress && KeepsCompressedForm(packed.GetSize(), static_cast<int64_t>(content.size()))) {
    p.bytes = packed.TakeBytes();
  } else {
    p.bytes = content;
    p.stored = true;
  }
  // A separate entry is checked after installing it as a file, so its checksum covers the content.
  p.crc =
      Crc32Update(0, separate ? content.data() : p.bytes.data(), separate ? content.size() : p.bytes.size());
  return p;
}

void TVrFileCollection::EmitEntry(TVrFile& entry, PreparedEntry& p, TBigStream& target) {
  entry.Stored = false;
  switch (p.kind) {
    case PreparedEntry::kPacked:
      target.Write(p.bytes.data(), static_cast<int64_t>(p.bytes.size()));
      entry.Stored = p.stored;
      entry.CRC = p.crc;
      entry.Time = p.time;
      break;
    case PreparedEntry::kCopyFile: {
      File file(p.path, FileAccess::kRead);
      std::vector<char> buffer(kCopyChunk);
      uint32_t crc = 0;
      // the length it had when it was first looked at, or less where it has shrunk since
      int64_t left = p.state.size;
      while (left > 0) {
        const int64_t got =
            file.Read(buffer.data(), std::min<int64_t>(left, static_cast<int64_t>(buffer.size())));
        if (got <= 0) break;
        crc = Crc32Update(crc, buffer.data(), static_cast<size_t>(got));
        target.Write(buffer.data(), got);
        left -= got;
      }
      p.changed = left != 0 || !(StateOf(p.path) == p.state);
      entry.Stored = true;
      entry.CRC = crc;
      entry.Time = p.time;
      break;
    }
    case PreparedEntry::kFromArchive: {
      // Not a loose file: taken from the archive this collection has open (Time stays).
      TMemoryStream m;
      ReadEntry(m, entry.Name());
      if (m.GetSize() >= kCompressLimit) {
        entry.Stored = true;
      } else {
        CompressMemoryStream(m, 2);
      }
      entry.CRC = StreamCRC32(m);
      target.Write(m.Memory(), m.GetSize());
      break;
    }
  }
  if (p.changed && OnFileChanged) OnFileChanged(entry, p.path);
}

bool TVrFileCollection::SaveToStream(TBigStream& target) {
  std::vector<int> order;  // positions of the entries written, sentinels left out
  ArchiveDirectory dir;
  for (int i = 0; i < Count(); ++i) {
    if (IsEofName((*this)[i].Name())) continue;
    order.push_back(i);
    dir.names.push_back((*this)[i].Name());
  }
  const size_t n = order.size();
  // Header and names, then zeroed tables until the entries are written.
  const int64_t start = target.GetPosition();
  std::string head = EncodeArchiveDirectory(dir);
  const size_t tables = 8 * (n + 1) + 10 * n;
  std::fill(head.end() - static_cast<std::ptrdiff_t>(tables), head.end(), '\0');
  target.Write(head.data(), static_cast<int64_t>(head.size()));

  // The workers read the entries' fields, which the writer changes only after taking an entry.
  PrepareAhead<PreparedEntry> ahead(n, [&](size_t j) { return PrepareEntry((*this)[order[j]]); });

  dir.offsets.resize(n + 1);
  for (size_t j = 0; j < n; ++j) {
    const int i = order[j];
    TVrFile& entry = (*this)[i];
    if (CallProgress(entry, 0, i, Count())) return false;
    dir.offsets[j] = target.GetPosition() - start;
    try {
      PreparedEntry p = ahead.Take(j);
      EmitEntry(entry, p, target);
    } catch (const std::exception& e) {
      throw Exception("エラー:" + Cp932ToUtf8Lossy(entry.Name()) + ": " + e.what());
    }
    dir.stored.push_back(entry.Stored);
    dir.time.push_back(entry.Time);
    dir.crc.push_back(entry.CRC);
    dir.separate.push_back(entry.Separate);
    if (CallProgress(entry, target.GetPosition() - start - dir.offsets[j], i, Count())) return false;
  }
  const int64_t end = target.GetPosition();
  dir.offsets[n] = end - start;
  const std::string full = EncodeArchiveDirectory(dir);
  target.SetPosition(start);
  target.Write(full.data(), static_cast<int64_t>(full.size()));
  target.SetPosition(end);
  return true;
}

namespace {

// The entries of a directory whose names are equal to another's but for letter case. Every name is
// hashed once and the hashes are put in a table of their own; only entries whose hash is not alone
// (twins, and the rare names that merely hash alike) are read a second time, by name.
class TwinNames {
 public:
  TwinNames() = default;
  explicit TwinNames(std::unordered_map<DataString, int, AnsiTextHasher, AnsiTextEqual> last,
                     std::vector<bool> twin, size_t name_bytes)
      : last_of_name_(std::move(last)), twin_(std::move(twin)), name_bytes_(name_bytes) {}
  // Whether entry i, named name, is the last of its name (the one a reader finds).
  bool IsLastOfName(int i, const DataString& name) const {
    if (static_cast<size_t>(i) >= twin_.size() || !twin_[static_cast<size_t>(i)]) return true;
    return last_of_name_.find(name)->second == i;
  }
  // The bytes of all names gone through.
  size_t NameBytes() const { return name_bytes_; }

 private:
  std::unordered_map<DataString, int, AnsiTextHasher, AnsiTextEqual> last_of_name_;
  std::vector<bool> twin_;  // empty when no name's hash is shared
  size_t name_bytes_ = 0;
};

// `each(visit)` calls visit(i, name) for every entry in order, i counting from 0.
template <typename EachName>
TwinNames FindTwinNames(size_t n, const EachName& each) {
  std::vector<uint64_t> hashes(n);
  size_t name_bytes = 0;
  each([&](size_t i, const DataString& name) {
    hashes[i] = AnsiTextHash(name);
    name_bytes += name.size();
  });
  // open addressing over the entries' positions (+1, 0 is a free slot), at most half full
  size_t slots = 16;
  while (slots < 2 * n) slots *= 2;
  std::vector<uint32_t> table(slots, 0);
  std::vector<bool> twin;
  for (size_t i = 0; i < n; ++i) {
    size_t at = static_cast<size_t>((hashes[i] * 0x9E3779B97F4A7C15ull) >> 20) & (slots - 1);
    while (table[at] != 0 && hashes[table[at] - 1] != hashes[i]) at = (at + 1) & (slots - 1);
    if (table[at] == 0) {
      table[at] = static_cast<uint32_t>(i + 1);
      continue;
    }
    if (twin.empty()) twin.resize(n, false);
    twin[table[at] - 1] = true;
    twin[i] = true;
  }
  std::unordered_map<DataString, int, AnsiTextHasher, AnsiTextEqual> last_of_name;
  if (!twin.empty()) {
    each([&](size_t i, const DataString& name) {
      if (twin[i]) last_of_name[name] = static_cast<int>(i);
    });
  }
  return TwinNames(std::move(last_of_name), std::move(twin), name_bytes);
}

TwinNames FindTwinNames(ArchiveDirectoryReader& directory) {
  return FindTwinNames(static_cast<size_t>(directory.Count()), [&](const auto& visit) {
    directory.ForEachName([&](int32_t i, const DataString& name) { visit(static_cast<size_t>(i), name); });
  });
}

// For a collection whose last entry of each name is the one found (nothing renamed): without
// building its name index.
TwinNames FindTwinNames(const TVrFileCollection& source) {
  return FindTwinNames(static_cast<size_t>(source.Count()), [&](const auto& visit) {
    for (int i = 0; i < source.Count(); ++i) visit(static_cast<size_t>(i), source[i].Name());
  });
}

}  // namespace

int64_t TVrFileCollection::MergeStartPosition() const {
  const int64_t size = stream_ ? stream_->GetSize() : 0;
  std::error_code ec;
  // With a side file, new entries go where the data it knows ends, not at the end of the file: a
  // merge stopped before it wrote its directory (aborted, killed) leaves bytes there that no entry
  // owns, and as an entry's size is the distance to the next offset, the last old entry would take
  // them in and fail its check. (A data file that carries its own directory keeps it: that one is
  // appended to.)
  if (!fs::is_regular_file(DirectoryFileOf(file_name_), ec)) return size;
  int64_t known = 0;
  for (int i = 0; i < Count(); ++i) {
    const TVrFile& e = (*this)[i];
    if (!IsEofName(e.Name())) known = std::max(known, e.Offset + e.Size);
  }
  return known > 0 && known < size ? known : size;
}

bool TVrFileCollection::Merge(TVrFileCollection& source, AfterMerge after) {
  // The data file is appended to in place; its directory goes to the side file.
  const int64_t start = MergeStartPosition();
  stream_.reset();
  const bool created = !fs::is_regular_file(file_name_);
  auto data = std::make_unique<TBigFileStream>(
      file_name_, created ? TBigFileStream::kCreate : TBigFileStream::kReadWrite);
  TBigFileStream& out = *data;
  stream_ = std::move(data);
  // The side file is replaced only by the one who writes the data file, which this run now holds:
  // a temporary of it still there is what a run killed while it wrote the directory left.
  RemoveStaleTemporariesOf(DirectoryFileOf(file_name_));
  // Bytes past the start were left by a merge that was stopped (killed) before it wrote its
  // directory: the space is taken back before anything is appended.
  const int64_t end = std::min(out.GetSize(), start);
  if (end < out.GetSize()) out.Truncate(end);
  const int64_t old_size = end;
  out.SetPosition(end);
  try {
    const bool changed = MergeInto(out, source, after);
    if (after == AfterMerge::kClosed) Close();
    return changed;
  } catch (...) {
    // A merge that fails (a full disk, a side file that cannot be written) takes its appended data
    // back: the old side file describes the data file as it was, and a data file it made is no data
    // file at all (a second run would refuse it as a damaged archive).
    try {
      if (created) {
        stream_.reset();
        RemoveDataFile(file_name_);
      } else {
        out.Truncate(old_size);
      }
    } catch (const std::exception&) {
      // the error that ended the merge is the one to report
    }
    throw;
  }
}

bool TVrFileCollection::MergeInto(TBigFileStream& out, TVrFileCollection& source, AfterMerge after) {
  // The source's entries in order: its items, or its directory when it was opened by OpenDirectory
  // (an archive of any size merged without loading it). The end marker closes the items.
  ArchiveDirectoryReader* const directory = source.directory_.get();
  const int total = directory != nullptr ? directory->Count() + 1 : source.Count();
  if (directory != nullptr) directory->Rewind();
  DirectoryEntry s;
  const auto next = [&](int i) {
    if (directory != nullptr) {
      if (!directory->Next(s)) return false;
      s.offset += directory->Start();
      return true;
    }
    if (i + 1 >= source.Count()) return false;
    const TVrFile& item = source[i];
    s.name = item.Name();
    s.offset = item.Offset;
    s.size = item.Size;
    s.stored = item.Stored;
    s.time = item.Time;
    s.crc = item.CRC;
    s.separate = item.Separate;
    return true;
  };

  // Of source entries whose names are equal but for letter case, readers of the source find the
  // last one: that one alone is taken over.
  const bool last_is_found = directory != nullptr || source.LastOfNameIsFound();
  const TwinNames twins = directory != nullptr ? FindTwinNames(*directory)
                          : last_is_found      ? FindTwinNames(source)
                                               : TwinNames{};
  const auto found_in_source = [&](int i) {
    return last_is_found ? twins.IsLastOfName(i, s.name) : source[i].IsNewestOfName();
  };
  // Only the entries the data file had before can hold a name of the source: of equal names the
  // source hands over one at most.
  const int old_count = Count();
  // Into a data file without entries, for a caller that does not read them back: the directory is
  // written as the entries go by, none is made.
  const bool direct = old_count == 0 && after == AfterMerge::kClosed;
  std::optional<ArchiveDirectoryEncoder> dir;
  TVrFile stand_in;
  if (direct) {
    dir.emplace(static_cast<size_t>(total), twins.NameBytes());
  } else {
    Reserve(old_count + total);
  }

  // Entries whose bytes follow each other in the source are copied as one run, with one call.
  // A run is copied once it holds this much, so that what the progress reports (and what a run
  // stopped midway leaves) stays near the bytes copied; a call per 256 KiB costs nothing that shows.
  constexpr int64_t kRunStep = int64_t{256} << 10;
  int64_t run_offset = 0, run_size = 0;
  DataString run_first;  // the run's first entry, named when the source ends inside the run
  const auto copy_run = [&] {
    if (run_size == 0) return;
    if (source.Stream() == nullptr) throw EReadError(source.Describe() + ": no archive is open");
    source.Stream()->SetPosition(run_offset);
    if (out.CopyFrom(*source.Stream(), run_size) != run_size) {
      throw EReadError(source.Describe() + ": entry " + Cp932ToUtf8Lossy(run_first) +
                       " or one after it is cut short");
    }
    run_size = 0;
  };
  bool changed = false;
  for (int i = 0; next(i); ++i) {
    if (IsEofName(s.name) || s.separate || !found_in_source(i)) continue;
    const int k = old_count > 0 ? IndexOf(s.name) : -1;
    if (k >= 0 && (*this)[k].Time >= s.time) continue;
    changed = true;
    // The older version keeps its bytes but is no longer found under its name.
    if (k >= 0) (*this)[k].SetName(DataString("/") + (*this)[k].Name());
    TVrFile& added = direct ? stand_in : Add(s.name);
    if (direct) added.SetName(s.name);
    added.Offset = out.GetPosition() + run_size;
    added.Size = s.size;
    added.CRC = s.crc;
    added.Time = s.time;
    added.Stored = s.stored;
    if (direct) dir->Add(s.name, added.Offset, s.stored, s.time, s.crc, false);
    if (CallProgress(added, added.Size, i, total)) {
      copy_run();
      return changed;
    }
    if (s.size > 0) {
      if (run_size > 0 && s.offset != run_offset + run_size) copy_run();
      if (run_size == 0) {
        run_offset = s.offset;
        run_first = s.name;
      }
      run_size += s.size;
      if (run_size >= kRunStep) copy_run();
    }
  }
  copy_run();
  if (!changed) return false;

  // A merge of entries that hold no bytes writes no data, but its directory needs the file.
  out.MakeFirstPart();
  // The end marker can only be one of the entries the data file had: the source's are not taken.
  const int eof = old_count > 0 ? IndexOf(EofName()) : -1;
  if (eof >= 0) Delete(eof);
  if (!direct) {
    size_t name_bytes = 0;
    for (int i = 0; i < Count(); ++i) name_bytes += (*this)[i].Name().size();
    dir.emplace(static_cast<size_t>(Count()), name_bytes);
    for (int i = 0; i < Count(); ++i) {
      const TVrFile& e = (*this)[i];
      dir->Add(e.Name(), e.Offset, e.Stored, e.Time, e.CRC, e.Separate);
    }
  }
  // The data reaches the disk before the directory that points into it, and the directory
  // replaces the old one in one step: a crash leaves the old side file or the new one.
  out.Flush();
  WriteFileAtomically(DirectoryFileOf(file_name_), dir->Finish(out.GetPosition()));
  return true;
}

void AppendArchive(const fs::path& exe, const fs::path& archive) {
  // An archive of over 1 GiB lies in part files (game.dat, game.001, ...): all of them are appended.
  TBigFileStream source(archive, TBigFileStream::kRead);
  if (source.PartCount() == 0) throw EFOpenError(PathToUtf8(archive) + ": no such archive file");
  AppendArchive(exe, source);
}

void AppendArchive(const fs::path& exe, TBigStream& source) {
  File target(exe, FileAccess::kReadWrite);
  source.SetPosition(0);
  const int64_t start = target.Size();
  // The trailer holds the start as a signed 32-bit number.
  if (start > std::numeric_limits<int32_t>::max()) {
    throw EFormatError(PathToUtf8(exe) + ": too large to carry an archive (over 2 GiB)");
  }
  std::vector<char> buffer(kCopyChunk);
  int64_t at = start;
  for (;;) {
    const int64_t got = source.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
    if (got <= 0) break;
    target.WriteAt(at, buffer.data(), got);
    at += got;
  }
  char trailer[6];
  const int32_t s = static_cast<int32_t>(start);
  std::memcpy(trailer, &s, 4);
  trailer[4] = 'v';
  trailer[5] = 'd';
  target.WriteAt(at, trailer, 6);
}

}  // namespace vn
