// The "vf" archive: an open archive's entries, lookup by name, reading an entry's content, checking
// the checksums, and (vr_write.cpp) packing and merging. Directory parsing lives in
// archive_directory.cpp, apart from the entry reading here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_directory.h"
#include "archive/big_stream.h"
#include "archive/hash_collection.h"
#include "archive/stream.h"
#include "platform/text.h"

namespace vn {

class DiscFiles;
class TVrFileCollection;

// One entry. Offset counts in the collection's Stream (the archive's start already added).
class TVrFile : public THashCollectionItem {
 public:
  int64_t Offset = 0;
  int64_t Size = 0;     // stored length
  bool Stored = false;  // true: the stored bytes are the content; false: a zlib stream of it
  int32_t Time = 0;     // DOS date-time of the packed file
  uint32_t CRC = 0;     // 0: no checksum
  bool Separate = false;
  // Packing: the loose file this entry is packed from, when it is not BasePath + Name (a tool
  // packs the path it listed, whatever the name's round trip through the code page would give).
  // Kept as the path's native text: a path object also holds each of its components, which costs
  // a kilobyte or more per entry of a deep folder.
  std::filesystem::path::string_type Source;

  void Assign(const THashCollectionItem& source) override;

 private:
  friend class TVrFileCollection;
  TVrFile() = default;
};

// Whether an entry was superseded in a merge: a newer entry of the same name took its place, and it
// is kept for its place in the data only (its name begins with '/').
bool Superseded(const DataString& name);

// An entry's stored bytes: where they lie in the archive's data and what they are checked by.
struct TVrEntryData {
  int64_t offset = 0;
  int64_t size = 0;
  uint32_t crc = 0;  // 0: no checksum
  bool stored = false;
  bool separate = false;
  bool superseded = false;
};
TVrEntryData EntryDataOf(const TVrFile& entry);
// An entry read from a directory whose archive starts at `start` in the data.
TVrEntryData EntryDataOf(const DirectoryEntry& entry, int64_t start);

// How thoroughly entries are checked.
struct TVrCheckRules {
  // Which compressed entries are inflated as well: none (their checksum alone, as the installer
  // checks a data file), those without a checksum of their stored bytes to go by (no checksum, or a
  // separate entry's over its content), or all of them: a checksum that matches damaged deflate
  // data does not make an entry readable.
  enum Inflate { kNone, kUnchecked, kAll } inflate = kNone;
  bool superseded = false;  // superseded entries are checked too
};

// What checking one entry found.
struct TVrEntryCheck {
  enum State { kIntact, kDamaged, kCutOff } state = kIntact;
  std::string reason;  // for kDamaged and kCutOff
};

// Checks the entries handed out by `next` (in directory order; false after the last) by `rules`,
// reading `data`; with `second` (another stream over the same data) on two threads. Entries are
// cut off when they reach past the data, damaged when their checksum does not match (a separate
// compressed entry's may be that of its content) or, where inflated, their zlib stream is broken.
// progress(index, bytes of the entries before it) is called for every tenth entry and returns true
// to cancel the check, which is then no failure. bad_index and bad receive the first entry that
// failed and why (else -1).
bool VerifyEntryData(TBigStream& data, TBigStream* second, const TVrCheckRules& rules,
                     const std::function<bool(TVrEntryData&)>& next,
                     const std::function<bool(int32_t index, int64_t bytes_before)>& progress, int* bad_index,
                     TVrEntryCheck* bad);

// Progress and cancellation: (sender, entry, byte count, index, total, abort). The handler sets
// abort to stop the running operation.
using TVrProgressEvent = std::function<void(TVrFileCollection& sender, TVrFile& item, int64_t size,
                                            int32_t index, int32_t total, bool& abort)>;

class TVrFileCollection : public THashCollection {
 public:
  // The end marker added after the stored entries of every directory read.
  static const DataString& EofName();

  TVrFileCollection() = default;
  ~TVrFileCollection() override;

  TVrFile& Add(const DataString& name);
  TVrFile& operator[](int index) const { return static_cast<TVrFile&>(ItemAt(index)); }
  TVrFile& Items(int index) const { return (*this)[index]; }

  // Opens an archive file (its directory from the ".ext" side file when one lies beside it), an
  // executable (".exe"/".scr") through its trailer, or, when no such file exists, a folder of loose
  // files. An empty name closes the archive.
  void Open(const std::filesystem::path& file_name, bool use_folder_of_file = false);
  // Opens the archive file `name` of a disc (letters compared without regard to case): in a folder
  // as Open above; in a disc image read where it lies, with its side file and part files from the
  // image, and the image's loose files served as entries as those under BasePath are.
  void Open(std::shared_ptr<const DiscFiles> disc, std::string_view name);
  // Opens an archive held as a resource of a module; a module that cannot be loaded leaves the
  // collection empty without an error.
  void OpenResource(const std::filesystem::path& module, const std::string& name, const std::string& type);
  // Appends the entries of the directory at source's position (and the end marker).
  void LoadFromStream(TBigStream& source);

  // The content of an entry (or of the loose file of that name under BasePath) into target at its
  // position; a memory stream is emptied first. Target stands at position 0 afterwards.
  void ReadEntry(TStream& target, const DataString& name);
  // Another read-only stream over the archive's data (its file opened again), so that several
  // threads can read entries at once, each through a stream of its own; null when the archive is
  // not read from a file.
  std::unique_ptr<TBigStream> OpenDataStream() const;
  // The content of a stored entry read through `data` (from OpenDataStream) into target at its
  // position; the collection's own stream is left alone. Target stands after the content.
  void ReadEntryFrom(TBigStream& data, const TVrFile& entry, TStream& target) const;

  // Checks the CRC-32 of every entry that has one (superseded ones left out). bad_index, when
  // given, receives the first entry that failed (-1 when none did).
  bool Verify(int* bad_index = nullptr);
  // Checks one entry by `rules` (as VerifyEntryData does), reading it through `data` (Stream(), or
  // a stream from OpenDataStream so that threads can check at once).
  static TVrEntryCheck CheckEntry(TBigStream& data, const TVrEntryData& entry, const TVrCheckRules& rules);

  // Opens an archive as Open does, but leaves its entries in the directory: the reader hands them
  // out one by one, so that an archive of any size is listed or checked in memory that does not
  // grow with it. The collection holds no entries then; the reader lives while the archive is open
  // and reads through Stream() unless the directory came from a side file. Null when there is no
  // archive file.
  ArchiveDirectoryReader* OpenDirectory(const std::filesystem::path& file_name);
  // Verify for an archive opened by OpenDirectory, by `rules`; the rest as for VerifyEntryData.
  bool VerifyDirectory(const TVrCheckRules& rules, int* bad_index, TVrEntryCheck* bad,
                       const std::function<bool(int32_t index, int64_t bytes_before)>& progress);

  // Writing (vr_write.cpp).
  bool SaveToStream(TBigStream& target);
  // What the collection holds once Merge has written the side file.
  enum class AfterMerge {
    kEntries,  // every entry of the merged data file, as Open would read them
    // Nothing: the collection is closed. A caller that does not read the merged entries back spares
    // making them; merged into a data file that had no entries, none is made at all (the directory
    // is written as the source's entries go by, and OnProgress is handed a stand-in item, in no
    // collection, that holds the entry's fields).
    kClosed,
  };
  // Appends the entries of source that are new or newer to this data file and writes its directory
  // to the side file. The source may be opened by OpenDirectory: it is then read entry by entry.
  bool Merge(TVrFileCollection& source, AfterMerge after = AfterMerge::kEntries);
  // Where Merge appends to this data file: the end of the data its directory knows.
  int64_t MergeStartPosition() const;

  TBigStream* Stream() const { return stream_.get(); }
  const std::filesystem::path& BasePath() const { return base_path_; }
  const std::filesystem::path& FileName() const { return file_name_; }
  // Version of the directory read last (0 for the oldest form without magic).
  int32_t Version() const { return version_; }

  TVrProgressEvent OnProgress;
  // Packing: called for an entry whose loose file changed while it was read (another program wrote
  // it meanwhile). The archive holds what was read, consistently, but not the file as it is now.
  std::function<void(const TVrFile& entry, const std::filesystem::path& file)> OnFileChanged;
  // When set before Open, a directory whose entries run past the end of the data (a truncated
  // archive) is read anyway, so that the entries before the cut can be checked and salvaged; reading
  // an entry that is cut off then fails.
  bool AcceptCutOffData = false;

 private:
  void Close();
  // Another stream over the data for a second checking thread, where one can be opened and run.
  std::unique_ptr<TBigStream> SecondStreamForCheck() const;
  void LoadDirectory(TBigStream& source, int64_t data_end, const std::string& label);
  // The directory of the archive in stream_: from `side` (the side file's content) when given, else
  // from an executable's trailer or from the data itself.
  void LoadOpenedArchive(TBigMemoryStream* side, const std::string& side_label);
  bool ReadDiscEntry(TStream& target, const DataString& name);
  void ReadStoredEntry(TBigStream& data, const TVrFile& entry, TStream& target) const;
  bool CallProgress(TVrFile& item, int64_t size, int32_t index, int32_t total);
  struct PreparedEntry;
  PreparedEntry PrepareEntry(const TVrFile& entry) const;
  void EmitEntry(TVrFile& entry, PreparedEntry& prepared, TBigStream& target);
  // Merge's work on the data file opened for it, at its end.
  bool MergeInto(TBigFileStream& out, TVrFileCollection& source, AfterMerge after);
  std::string Describe() const;

  std::filesystem::path base_path_;
  std::unique_ptr<TBigStream> stream_;
  std::shared_ptr<const DiscFiles> disc_;  // the disc image the archive was opened from
  std::filesystem::path file_name_;
  int32_t version_ = 0;
  // OpenDirectory: the entries are left in the directory, read by directory_ (from side_directory_
  // when the directory came from a side file).
  bool entries_in_directory_ = false;
  std::unique_ptr<TBigMemoryStream> side_directory_;
  std::unique_ptr<ArchiveDirectoryReader> directory_;
};

// Packing rules: whether a loose file is worth compressing for an entry of this name (by the
// extension of the name; ".RXA" pictures by what their header says; files of 5 MiB or more never).
bool ShouldCompress(const std::filesystem::path& file, const TVrFile& entry);
bool ShouldCompress(const std::filesystem::path& file, const DataString& entry_name);
// Whether the compressed form of a loose file is kept: when it is at most (length x 9) div 10,
// reckoned in 32-bit signed integers.
bool KeepsCompressedForm(int64_t packed_length, int64_t file_length);
// The directory side file of a data file: its name with the extension ".ext".
std::filesystem::path DirectoryFileOf(const std::filesystem::path& data_file);
// Appends a packed archive to an executable, followed by the trailer (the executable's old length
// and "vd") through which readers find it.
void AppendArchive(const std::filesystem::path& exe, const std::filesystem::path& archive);
// The same with the archive's bytes from a stream (all of it, from its start).
void AppendArchive(const std::filesystem::path& exe, TBigStream& archive);

// CRC-32 of all bytes of a stream from its start.
uint32_t StreamCRC32(TStream& stream);
// CRC-32 of the next count bytes of a stream, read through buffer; ends early with the stream.
uint32_t RangeCRC32(TBigStream& stream, int64_t count, char* buffer, int64_t buffer_length);

// The install settings' title of an archive's "install.dat" (supplied by the settings layer).
using TArchiveTitleReader = std::function<DataString(TMemoryStream& install_dat)>;

// Searches a folder for an executable that carries the archive of the game with this title: the
// ".exe" files directly in the folder, in listing order; the first one without the "vd" trailer
// ends the search. Returns the path, or an empty path.
std::filesystem::path FindArchiveExe(const std::filesystem::path& folder, const DataString& title,
                                     const TArchiveTitleReader& read_title);

}  // namespace vn
