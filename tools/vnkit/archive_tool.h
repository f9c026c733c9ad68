// Pieces the archive commands of vnkit share.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/vr_files.h"
#include "platform/text.h"

namespace vn::cli {

// The file an ARCHIVE argument names; "-" is standard input, spooled once to a temporary file that
// is removed when the program ends.
std::filesystem::path ArchivePath(const std::string& archive);
// The argument as messages name it ("standard input" for "-").
std::string ArchiveLabel(const std::string& archive);

// A message about a temporary file (standard input spooled, a file written beside its target) that
// names the user's file instead: every mention of `temporary` becomes `shown`.
std::string NamingUserFile(std::string message, const std::filesystem::path& temporary,
                           const std::string& shown);

// Opens an existing archive (a missing file is an error here, not a folder of loose files). With
// cut_off_data, a truncated archive is opened too (its entries after the cut cannot be read).
void OpenArchiveForTool(TVrFileCollection& files, const std::string& archive, bool cut_off_data = false);
// The same with the entries left in the directory (TVrFileCollection::OpenDirectory), for the
// commands that go through them once in order.
ArchiveDirectoryReader& OpenArchiveDirectoryForTool(TVrFileCollection& files, const std::string& archive,
                                                    bool cut_off_data = false);

// Standard output as a stream for ReadEntry and archives; it cannot seek, so seeking is ignored.
class StdoutStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t, SeekOrigin) override { return written_; }

 private:
  int64_t written_ = 0;
};

// Writes an entry's content, read through `data` (the archive's stream or another over its data), to
// target as it is read. False when a stored entry's bytes do not give its checksum: they are written
// all the same, and the caller says so (a compressed entry is checked by zlib as it is inflated).
bool WriteEntryChecked(const TVrFileCollection& files, TBigStream& data, const TVrFile& entry,
                       TStream& target);

// True for a directory of the oldest form (no magic, so any bytes read as one: eight zero bytes
// make an empty directory) whose entries cover none of a data file that holds bytes. The format
// allows it, but the archive's content is then most likely hidden; NoDataWarning says so.
bool DirectoryCoversNoData(const ArchiveDirectoryReader& directory, TBigStream& data);
std::string NoDataWarning(TBigStream& data);

// Entry names on the command line and in JSON are UTF-8.
std::string NameToUtf8(const DataString& name);
DataString NameFromUtf8(const std::string& name);
// A text for the terminal: UTF-8, with NUL, control characters and bytes that are no Shift-JIS
// character shown as \xNN, so nothing is cut off or sent to the terminal raw.
std::string DisplayText(const DataString& text);
// An entry name for listings and messages: DisplayText with '/' between folders, as every command
// writes paths (the stored '\' stays in JSON).
std::string DisplayName(const DataString& name);

// The entries a NAME argument selects. The entry of that name ('/' may stand for '\' after the first
// character, which marks a superseded entry); otherwise, when NAME has wildcards (* ? [...]), every
// entry found under its own name that matches it without regard to case ('/' or '\' between
// folders; superseded entries only for a pattern that begins with '/'). Empty when none.
std::vector<int> SelectEntries(const TVrFileCollection& files, const std::string& name, bool* is_pattern);

// True when the entry is found under its own name (not superseded in a merge, not hidden by a later
// entry of the same name).
bool IsCurrentEntry(const TVrFileCollection& files, int index);

struct ExtractOptions {
  std::string out_dir = ".";
  bool keep = false;     // leave existing files as they are
  bool salvage = false;  // a truncated or damaged archive: write the entries that are intact
};
// Extracts the named entries (all when names is empty) under out_dir; returns the exit code.
int ExtractArchive(const std::string& archive, const ExtractOptions& options,
                   const std::vector<std::string>& names);

}  // namespace vn::cli
