// vnkit extract: every entry through the one safe path join; a refused or damaged entry is reported
// and the others are still extracted.
#include <system_error>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/cli.h"

namespace vn::cli {

namespace fs = std::filesystem;

int ExtractArchive(const std::string& archive, const ExtractOptions& options,
                   const std::vector<std::string>& names) {
  TVrFileCollection files;
  OpenArchiveForTool(files, archive, options.salvage);
  const std::string label = ArchiveLabel(archive);
  const fs::path target = Utf8ToPath(options.out_dir);
  std::error_code ec;
  if (!fs::create_directories(target, ec) && ec) {
    throw EWriteError(options.out_dir + ": cannot create the folder: " + ec.message());
  }
  bool failed = false;

  // What to extract: the entries the names select (a name that is no entry is an error), or every
  // entry found under its own name (an entry hidden by a later one of the same name, or superseded
  // in a merge, would only be overwritten by it).
  std::vector<int> wanted;
  int64_t total = 0;
  if (names.empty()) {
    for (int i = 0; i + 1 < files.Count(); ++i) {
      if (IsCurrentEntry(files, i)) wanted.push_back(i);
    }
  } else {
    for (const std::string& n : names) {
      bool pattern = false;
      const std::vector<int> selected = SelectEntries(files, n, &pattern);
      if (selected.empty()) {
        PrintError(label + ": " + (pattern ? "no entry matches " : "no entry named ") + n);
        failed = true;
      }
      wanted.insert(wanted.end(), selected.begin(), selected.end());
    }
  }
  for (int index : wanted) total += files[index].Size;

  int64_t done = 0;
  ProgressBar bar("extract", total);
  for (const int index : wanted) {
    const TVrFile& entry = files[index];
    const DataString& name = entry.Name();
    fs::path temp;
    try {
      const fs::path path = JoinDataPath(target, name);
      if (HasTrailingDelimiter(name)) {
        fs::create_directories(path);
        continue;
      }
      if (options.keep && fs::exists(fs::symlink_status(path, ec))) {
        SayVerbose("kept     " + DisplayName(name));
        continue;
      }
      if (options.salvage) {
        const EntryCheck check = CheckEntry(files, index);
        if (check.state != EntryState::kIntact) throw EReadError(check.reason);
      }
      fs::create_directories(path.parent_path());
      temp = TemporarySibling(path);
      {
        TFileStream out(temp, FileAccess::kCreate);
        files.ReadEntry(out, name);
      }
      // the stored time becomes the file's modification time, as unzip does
      if (entry.Time != 0) FileSetDate(temp, entry.Time);
      fs::rename(temp, path);
      temp.clear();
      SayVerbose("extracted " + DisplayName(name));
    } catch (const std::exception& e) {
      if (!temp.empty()) fs::remove(temp, ec);
      bar.Finish();
      PrintError(label + ": " + DisplayName(name) + ": not extracted: " + e.what());
      failed = true;
    }
    done += entry.Size;
    bar.Update(done);
  }
  bar.Finish();
  return failed ? kError : kOk;
}

}  // namespace vn::cli
