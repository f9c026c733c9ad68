// vnkit extract: every entry through the one safe path join; a refused or damaged entry is reported
// and the others are still extracted.
#include <algorithm>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/folder_handle.h"
#include "platform/paths.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/cli.h"
#include "tools/vnkit/extract_workers.h"
#include "tools/vnkit/unfinished_files.h"

namespace vn::cli {

namespace fs = std::filesystem;

namespace {

// Where an entry is written: under its name; a superseded one (named to be extracted) under its
// name without the leading '/'.
DataString OutputName(const DataString& name) {
  return Superseded(name) ? DataString(name.bytes().substr(1)) : name;
}

// Names that go to one file have one key: letters folded as the archive's lookup folds them, and one
// folder delimiter.
std::string OutputKey(const DataString& name) {
  std::string key = AnsiUpperCase(OutputName(name)).bytes();
  std::replace(key.begin(), key.end(), '/', '\\');
  return key;
}

}  // namespace

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
  // Entries that would be written to one file (names equal but for letter case or the folder
  // delimiter) are not left to whichever writer comes last: the one the archive's lookup finds,
  // the last in directory order, is extracted, and the others are reported.
  {
    std::unordered_set<int> named;
    std::unordered_map<std::string, int> last_of_name;
    std::vector<int> unique;
    for (int index : wanted) {
      if (!named.insert(index).second) continue;  // selected twice
      unique.push_back(index);
      int& last = last_of_name[OutputKey(files[index].Name())];
      last = std::max(last, index);
    }
    wanted.clear();
    for (int index : unique) {
      const int last = last_of_name[OutputKey(files[index].Name())];
      if (last == index) {
        wanted.push_back(index);
        continue;
      }
      PrintError(label + ": " + DisplayName(files[index].Name()) + ": not extracted: the later entry " +
                 DisplayName(files[last].Name()) +
                 " goes to the same file (names are compared without regard to letter case)");
      failed = true;
    }
  }
  for (int index : wanted) total += files[index].Size;

  // The names are joined here, in archive order, and the folders made; the files are written by
  // the workers. Results are reported in archive order as they come in.
  // The output folder is opened once; every folder below it is walked from this handle without
  // following links, so an entry never passes through a link, planted or not.
  const FolderHandle root = FolderHandle::Open(target);
  UnfinishedFilesGuard unfinished;
  ExtractWorkers workers(files, options, root, wanted.size());
  unfinished.WritersStarted();
  PathJoiner joiner(target);
  std::unordered_set<fs::path::string_type> folders_made;
  // The files handed out, by a hash of their path (a match by chance costs only a wait).
  std::unordered_set<size_t> files_handed_out;
  const auto key = [](const fs::path& path) { return std::hash<fs::path::string_type>{}(path.native()); };
  // A folder where an earlier entry's file goes (an archive naming both "a" and "a\b") is made only
  // once that file is written, so the outcome is the one of writing the entries one by one.
  const auto make_folder = [&](const fs::path& folder) {
    if (folders_made.count(folder.native()) != 0) return;
    for (fs::path p = folder; p.native().size() > target.native().size(); p = p.parent_path()) {
      if (files_handed_out.count(key(p)) != 0) {
        workers.WaitForAll();
        break;
      }
    }
    if (folder != target) root.OpenFolder(folder.lexically_relative(target), true);
    folders_made.insert(folder.native());
  };

  int64_t done = 0;
  ProgressBar bar("extract", total);
  size_t reported = 0;
  const auto report = [&](size_t slot) {
    const TVrFile& entry = files[wanted[slot]];
    switch (workers.Wait(slot)) {
      case EntryResult::kExtracted:
        SayVerbose("extracted " + DisplayName(entry.Name()));
        break;
      case EntryResult::kKept:
        SayVerbose("kept     " + DisplayName(entry.Name()));
        break;
      case EntryResult::kFailed:
        bar.Finish();
        PrintError(label + ": " + DisplayName(entry.Name()) + ": not extracted: " + workers.Error(slot));
        failed = true;
        break;
      default:
        break;
    }
    done += entry.Size;
    bar.Update(done);
  };

  for (size_t slot = 0; slot < wanted.size(); ++slot) {
    const int index = wanted[slot];
    const DataString name = OutputName(files[index].Name());
    try {
      fs::path path = joiner.Join(name);
      if (HasTrailingDelimiter(name)) {
        make_folder(path);
        workers.SetResult(slot, EntryResult::kFolder);
      } else {
        fs::path folder = path.parent_path();
        make_folder(folder);
        files_handed_out.insert(key(path));
        workers.Extract(slot, index, std::move(path), folder);
      }
    } catch (const std::exception& e) {
      workers.SetResult(slot, EntryResult::kFailed, Worded(e));
    }
    while (reported < wanted.size() && workers.IsDone(reported)) report(reported++);
  }
  workers.Close();
  while (reported < wanted.size()) report(reported++);
  bar.Finish();
  return failed ? kError : kOk;
}

}  // namespace vn::cli
