// vnkit pack / merge / append: writing "vf" archives.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <system_error>

#include "archive/big_stream.h"
#include "archive/vr_files.h"
#include "installer/installation_files.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "tools/vnkit/archive_replace.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/cli.h"
#include "tools/vnkit/unfinished_files.h"

namespace vn::cli {

namespace fs = std::filesystem;

namespace {

struct PackFile {
  DataString name;
  std::string relative;  // UTF-8 with '/', for matching --separate
  // the file as listed (a link: the link itself), as native text: a path object would also hold
  // each of its components, a kilobyte or more per file of a deep folder
  fs::path::string_type path;
};

bool MatchesAny(const std::vector<std::string>& globs, const std::string& relative) {
  for (std::string glob : globs) {
    std::replace(glob.begin(), glob.end(), '\\', '/');
    if (MatchesPattern(glob, relative)) return true;
  }
  return false;
}

// As tar's --exclude: a pattern matches the relative path or any folder on the way to it.
bool Excluded(const std::vector<std::string>& globs, const std::string& relative) {
  if (globs.empty()) return false;
  for (size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
    if (MatchesAny(globs, relative.substr(0, slash))) return true;
  }
  return MatchesAny(globs, relative);
}

// A file with its part files and its directory side file: what "the archive at this path" is.
std::vector<fs::path> ArchiveFiles(const fs::path& file) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (int i = 0; i == 0 || fs::exists(PartFileOf(file, i), ec); ++i) files.push_back(PartFileOf(file, i));
  files.push_back(DirectoryFileOf(file));
  return files;
}

// Whether a listed item is packed. Links follow zip: a link to a file inside the folder is stored
// under its own name with the file's content; a link that leads out of the folder, to a folder, or
// nowhere is skipped with a warning (never stored twice, never an escape).
bool ShouldPack(const fs::directory_entry& item, const fs::path& root_real, const std::string& shown) {
  std::error_code ec;
  const fs::file_status own = item.symlink_status(ec);
  if (fs::is_directory(own)) return false;
  if (fs::is_symlink(own)) {
    const fs::path real = fs::canonical(item.path(), ec);
    if (ec) {
      PrintError("warning: " + shown + ": a link that leads nowhere, skipped");
      return false;
    }
    if (!RelativeInside(root_real, real)) {
      PrintError("warning: " + shown + ": a link that leads out of the folder, skipped");
      return false;
    }
    if (fs::is_directory(real, ec)) {
      PrintError("warning: " + shown + ": a link to a folder, skipped");
      return false;
    }
    if (!fs::is_regular_file(real, ec)) {
      PrintError("warning: " + shown + ": a link to something that is not a file, skipped");
      return false;
    }
    return true;
  }
  if (!fs::is_regular_file(own)) {
    PrintError("warning: " + shown + ": not a regular file (a device, pipe or socket), skipped");
    return false;
  }
  return true;
}

std::vector<PackFile> ListPackFiles(const fs::path& root, const std::vector<std::string>& exclude,
                                    const std::vector<fs::path>& skip) {
  std::error_code ec;
  const fs::path root_real = fs::canonical(root, ec);
  std::vector<FileIdentity> skip_ids;
  for (const fs::path& s : skip) {
    if (const std::optional<FileIdentity> id = IdentityOf(s)) skip_ids.push_back(*id);
  }
  std::vector<PackFile> files;
  // A folder that cannot be read fails the pack, naming it: an archive without its files would pass
  // for a whole one.
  std::error_code walk_error;
  fs::path last = root;
  for (fs::recursive_directory_iterator it(root, walk_error), end; !walk_error && it != end;
       it.increment(walk_error)) {
    const fs::directory_entry& item = *it;
    last = item.path();
    const std::string relative = RelativeUtf8(root, item.path());
    if (Excluded(exclude, relative)) {
      if (item.is_directory(ec) && !item.is_symlink(ec)) it.disable_recursion_pending();
      continue;
    }
    // the archive being written (with its parts, side file and work folder) when it lies inside
    // the folder, told by its identity: one stat a file, where resolving every path would cost
    // dozens of calls
    if (!skip_ids.empty()) {
      const std::optional<FileIdentity> id = IdentityOf(item.path());
      if (id && std::find(skip_ids.begin(), skip_ids.end(), *id) != skip_ids.end()) {
        if (item.is_directory(ec) && !item.is_symlink(ec)) it.disable_recursion_pending();
        continue;
      }
    }
    if (!ShouldPack(item, root_real, PathToUtf8(item.path()))) continue;
    // a name holding '\' (possible on POSIX) would be read back as a folder delimiter
    if (relative.find('\\') != std::string::npos) {
      throw EConvertError(PathToUtf8(item.path()) +
                          ": the name holds '\\', which the archive takes for a folder delimiter, so it "
                          "cannot be stored");
    }
    PackFile f{{}, relative, item.path().native()};
    std::string stored = relative;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    if (!TryUtf8ToCp932(stored, f.name)) {
      throw EConvertError(PathToUtf8(item.path()) +
                          ": the name has no exact Shift-JIS form, so it cannot be stored");
    }
    files.push_back(std::move(f));
  }
  if (walk_error) {
    // the folder it was about to enter, or the one whose next item it was reading
    const fs::path folder = fs::is_directory(fs::symlink_status(last, ec)) ? last : last.parent_path();
    throw EReadError(PathToUtf8(folder) + ": cannot read the folder: " + walk_error.message());
  }
  // Sorted by the stored bytes, so the same folder always packs to the same archive.
  std::sort(files.begin(), files.end(), [](const PackFile& a, const PackFile& b) { return a.name < b.name; });
  // Names the archive cannot tell apart (it finds entries without regard to case) would hide a file.
  std::map<DataString, const PackFile*> seen;
  for (const PackFile& f : files) {
    const auto [at, fresh] = seen.emplace(AnsiUpperCase(f.name), &f);
    if (!fresh) {
      throw EConvertError(PathToUtf8(fs::path(f.path)) + ": the archive cannot tell this name from " +
                          PathToUtf8(fs::path(at->second->path)) +
                          " (names are found without regard to case)");
    }
  }
  return files;
}

// Packs into `file` (a temporary name); returns the archive's size. `changed` counts the files that
// changed while they were read.
int64_t WritePack(const fs::path& root, const std::vector<PackFile>& files,
                  const std::vector<std::string>& separate, const fs::path& file, int& changed) {
  TVrFileCollection archive;
  archive.Open(root);
  for (const PackFile& f : files) {
    TVrFile& entry = archive.Add(f.name);
    entry.Separate = MatchesAny(separate, f.relative);
    entry.Source = f.path;
  }
  ProgressBar bar("pack", static_cast<int64_t>(files.size()));
  // as tar does: the archive holds what was read, and the run says so and exits 1
  archive.OnFileChanged = [&](const TVrFile&, const fs::path& path) {
    bar.Finish();
    PrintError("warning: " + PathToUtf8(path) +
               ": file changed as we read it (the archive holds what was read)");
    ++changed;
  };
  int current = -1;
  archive.OnProgress = [&](TVrFileCollection&, TVrFile&, int64_t size, int32_t index, int32_t, bool&) {
    if (index != current) {
      current = index;  // called before and after each entry
      PauseForTest("vnkit-pack-entry");
      return;
    }
    bar.Update(index + 1);
    SayVerbose("packed " + files[static_cast<size_t>(index)].relative + " (" + std::to_string(size) +
               " bytes)");
  };
  try {
    TBigFileStream stream(file, TBigFileStream::kCreate);
    archive.SaveToStream(stream);
    bar.Finish();
    return stream.GetSize();
  } catch (const Exception& e) {
    bar.Finish();
    RemoveDataFile(file);
    if (current < 0) throw;
    // the library names the entry in its own words; say which file could not be read
    const PackFile& f = files[static_cast<size_t>(current)];
    std::string why = e.what();
    const std::string prefix = "エラー:" + Cp932ToUtf8Lossy(f.name) + ": ";
    if (why.compare(0, prefix.size(), prefix) == 0) why = why.substr(prefix.size());
    throw Exception(PathToUtf8(fs::path(f.path)) + ": cannot be packed: " + why);
  } catch (...) {
    bar.Finish();
    RemoveDataFile(file);
    throw;
  }
}

// A temporary name beside the target whose part files cannot be mistaken for the target's.
fs::path TemporaryArchiveName(const fs::path& target) {
  fs::path temp = TemporarySibling(target);
  const std::string ext = FileExtension(target);
  temp += ext.empty() ? std::string(".tmp") : ext;
  return temp;
}

void CopyArchiveToStdout(const fs::path& file) {
  TBigFileStream stream(file, TBigFileStream::kRead);
  StdoutStream out;
  stream.ReadToStream(out, stream.GetSize());
}

void Pack(const std::string& dir, const std::string& out, const std::vector<std::string>& separate,
          const std::vector<std::string>& exclude) {
  const fs::path root = Utf8ToPath(dir);
  const bool to_null = out != "-" && IsNullDevice(Utf8ToPath(out));
  // standard output, or nowhere: packed under a temporary name and copied out, or dropped
  const bool to_stdout = out == "-" || to_null;
  if (out == "-") {
    // as tar does: binary bytes are no use on a terminal
    if (isatty(STDOUT_FILENO) == 1)
      throw EWriteError("standard output is a terminal: redirect the archive to a file or a pipe");
    KeepStdoutForData();
  }
  const fs::path target = to_stdout ? fs::path() : Utf8ToPath(out);
  std::error_code ec;
  if (!fs::is_directory(root, ec)) throw EFOpenError(dir + ": no such folder");
  if (!to_stdout && fs::is_directory(target, ec))
    throw EFOpenError(out + ": is a folder, not an archive file");
  if (!to_stdout) CheckReplaceableOutput(target);

  // Written beside the target and moved into place only when complete: a failure, a signal or a
  // kill leaves whatever was at the target as it was.
  std::optional<ArchiveReplacement> replacement;
  std::vector<fs::path> skip;
  if (!to_stdout) {
    replacement.emplace(target);
    skip = ArchiveFiles(target);
    skip.push_back(replacement->WorkFolder());
  }
  const std::vector<PackFile> files = ListPackFiles(root, exclude, skip);
  int64_t size = 0;
  int changed = 0;
  if (to_stdout) {
    const fs::path temp = TemporaryArchiveName(TemporaryFolder() / "vnkit-pack.dat");
    RemoveOnSignal(TemporaryUse::kOutput, temp);
    size = WritePack(root, files, separate, temp, changed);
    try {
      if (!to_null) CopyArchiveToStdout(temp);
    } catch (...) {
      RemoveDataFile(temp);
      NoLongerRemoveOnSignal(TemporaryUse::kOutput);
      throw;
    }
    RemoveDataFile(temp);
    NoLongerRemoveOnSignal(TemporaryUse::kOutput);
  } else {
    size = WritePack(root, files, separate, replacement->NewArchive(), changed);
    PauseForTest("vnkit-pack-written");
    replacement->Commit();
  }
  Say((out == "-" ? std::string("standard output") : out) + ": " +
      Counted(static_cast<int64_t>(files.size()), "entry", "entries") + ", " +
      Counted(size, "byte", "bytes"));
  SetResult(changed > 0 ? kNegative : kOk);
}

void Merge(const std::string& data_file, const std::string& source_file) {
  const fs::path data_path = Utf8ToPath(data_file);
  std::error_code ec;
  if (fs::is_directory(data_path, ec)) throw EFOpenError(data_file + ": is a folder, not a data file");
  // The directory goes to the data file's name with ".ext": for a ".ext" name that is the data
  // file itself, which would be replaced by the directory.
  if (SameNameIgnoringCase(FileExtension(data_path), ".ext")) {
    throw EFOpenError(data_file + ": a data file cannot have the extension .ext (its directory side file " +
                      "would be the data file itself)");
  }
  CheckReplaceableOutput(data_path);
  CheckReplaceableOutput(DirectoryFileOf(data_path));
  SettleReplacement(data_path);
  const fs::path source_path = ArchivePath(source_file);
  if (fs::equivalent(data_path, source_path, ec)) {
    throw EFOpenError(data_file + ": is the source archive itself");
  }
  // the source is read entry by entry, not loaded: it is gone through once, in order
  TVrFileCollection source;
  const ArchiveDirectoryReader& directory = OpenArchiveDirectoryForTool(source, source_file);
  TVrFileCollection data;
  data.Open(data_path);

  ProgressBar bar("merge", directory.EndOffset() - directory.FirstOffset());
  int64_t done = 0;
  int taken = 0;
  const bool verbose = CurrentVerbosity() == Verbosity::kVerbose;
  data.OnProgress = [&](TVrFileCollection&, TVrFile& entry, int64_t size, int32_t, int32_t, bool&) {
    bar.Update(done += size);
    ++taken;
    if (verbose) Say("added " + DisplayName(entry.Name()) + " (" + std::to_string(size) + " bytes)");
    PauseForTest("vnkit-merge");  // before this entry's bytes are appended
  };
  // Ctrl-C, SIGTERM or SIGHUP before the side file is written take the appended data back (part
  // files made included): the old directory describes the data file as it was. A data file made
  // here goes: without a directory, every later merge would refuse it as damaged.
  const bool made_here = !fs::exists(data_path, ec);
  CutBackOnSignal(data_path, made_here ? -1 : data.MergeStartPosition(), TBigFileStream::kPartSize,
                  DirectoryFileOf(data_path));
  const bool changed = data.Merge(source, TVrFileCollection::AfterMerge::kClosed);
  NoLongerRemoveOnSignal(TemporaryUse::kOutput);
  bar.Finish();
  if (changed) {
    Say(data_file + ": " + Counted(taken, "entry", "entries") + " taken over from " +
        ArchiveLabel(source_file));
  } else {
    Say(data_file + ": already up to date");
  }
  SetResult(kOk);
}

void Append(const std::string& exe, const std::string& archive, const std::string& out) {
  std::error_code ec;
  const fs::path exe_path = Utf8ToPath(exe);
  if (!fs::is_regular_file(exe_path, ec)) throw EFOpenError(exe + ": no such file");
  // The trailer holds where the archive starts as a signed 32-bit number: said before a byte is copied.
  const uintmax_t exe_size = fs::file_size(exe_path, ec);
  if (ec) throw EFOpenError(exe + ": cannot read its size: " + ec.message());
  if (exe_size > static_cast<uintmax_t>(std::numeric_limits<int32_t>::max())) {
    throw EFormatError(exe + ": " + Counted(static_cast<int64_t>(exe_size), "byte", "bytes") +
                       "; a program that carries an archive must be under 2 GiB (the trailer holds "
                       "where the archive starts in 31 bits)");
  }
  // Only a readable archive that is whole in its own file (and its part files) is appended: the
  // offsets of an executable's archive or of a data file's side file would point elsewhere.
  TVrFileCollection check;
  OpenArchiveForTool(check, archive);
  const fs::path archive_path = ArchivePath(archive);
  const std::string ext = FileExtension(archive_path);
  if (SameNameIgnoringCase(ext, ".exe") || SameNameIgnoringCase(ext, ".scr")) {
    throw EFormatError(ArchiveLabel(archive) +
                       ": already appended to an executable; append the archive file");
  }
  if (fs::exists(DirectoryFileOf(archive_path), ec)) {
    throw EFormatError(ArchiveLabel(archive) + ": its directory lies in " +
                       PathToUtf8(DirectoryFileOf(archive_path)) +
                       "; pack the entries into one archive first");
  }
  const fs::path target = Utf8ToPath(out);
  if (IsNullDevice(target)) {  // checked, and dropped
    SetResult(kOk);
    return;
  }
  CheckReplaceableOutput(target);
  SettleReplacement(target);
  // The whole output is written beside the old one before it replaces it: room for all of it first.
  const int64_t needed = static_cast<int64_t>(exe_size) + check.Stream()->GetSize() + 6;
  const fs::space_info space = fs::space(target.has_parent_path() ? target.parent_path() : fs::path("."), ec);
  if (!ec && space.available < static_cast<uintmax_t>(needed)) {
    throw EWriteError(out + ": needs " + Counted(needed, "byte", "bytes") + ", and its folder has " +
                      std::to_string(space.available) + " free");
  }
  const fs::path temp = TemporaryArchiveName(target);
  RemoveOnSignal(TemporaryUse::kOutput, temp);
  try {
    fs::copy_file(exe_path, temp, fs::copy_options::overwrite_existing, ec);
    if (ec) throw EWriteError(out + ": cannot write: " + ec.message());
    AppendArchive(temp, *check.Stream());
    ReplaceFile(temp, target);
  } catch (const Exception& e) {
    fs::remove(temp, ec);
    NoLongerRemoveOnSignal(TemporaryUse::kOutput);
    // the temporary beside OUT is no name the user knows
    throw Exception(NamingUserFile(e.what(), temp, out));
  } catch (...) {
    fs::remove(temp, ec);
    NoLongerRemoveOnSignal(TemporaryUse::kOutput);
    throw;
  }
  NoLongerRemoveOnSignal(TemporaryUse::kOutput);
  SetResult(kOk);
}

void Register(CLI::App& app) {
  static std::string dir, out, data_file, source, exe, archive;
  static std::vector<std::string> separate, exclude;

  auto* pack = app.add_subcommand("pack", "Pack the files under DIR into a new archive");
  pack->add_option("DIR", dir, "folder whose files become the entries (names relative, with '\\')")
      ->required();
  pack->add_option("-o,--output", out,
                   "archive to write (replaced only when complete); - for standard output")
      ->required();
  pack->add_option("--separate", separate,
                   "mark entries matching GLOB (relative path with '/', any case) as separate files");
  pack->add_option("--exclude", exclude,
                   "leave out files and folders matching GLOB (relative path with '/')");
  AddVerbosityFlags(*pack);
  pack->callback([] { Pack(dir, out, separate, exclude); });

  auto* merge = app.add_subcommand("merge", "Bring DATAFILE and its .ext side file up to date from SOURCE");
  merge->add_option("DATAFILE", data_file, "installed data file (created when missing)")->required();
  merge->add_option("SOURCE", source, "archive with the new entries; - for standard input")->required();
  AddVerbosityFlags(*merge);
  merge->callback([] { Merge(data_file, source); });

  auto* append = app.add_subcommand("append", "Write EXE + ARCHIVE + exe trailer to OUT");
  append->add_option("EXE", exe, "the program to carry the archive")->required();
  append->add_option("ARCHIVE", archive, "archive file (with its part files); - for standard input")
      ->required();
  append->add_option("-o,--output", out, "executable to write (replaced only when complete)")->required();
  append->callback([] { Append(exe, archive, out); });
}

RegisterCommands reg(11, Register);

}  // namespace

}  // namespace vn::cli
