// vnkit pack / merge / append: writing "vf" archives.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "archive/vr_files.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/cli.h"

namespace vn::cli {

namespace fs = std::filesystem;

namespace {

struct PackFile {
  DataString name;
  std::string relative;  // UTF-8 with '/', for matching --separate
};

bool MatchesAny(const std::vector<std::string>& globs, const std::string& relative) {
  for (std::string glob : globs) {
    std::replace(glob.begin(), glob.end(), '\\', '/');
    if (MatchesPattern(glob, relative)) return true;
  }
  return false;
}

// Removes an archive that could not be finished, with its part files.
void RemoveArchive(const fs::path& out) {
  std::error_code ec;
  TBigFileStream parts(out, TBigFileStream::kCreate);  // creating deletes every existing part
  fs::remove(out, ec);
}

void Pack(const std::string& dir, const std::string& out, const std::vector<std::string>& separate) {
  const fs::path root = Utf8ToPath(dir);
  const fs::path target = Utf8ToPath(out);
  std::error_code ec;
  if (!fs::is_directory(root, ec)) throw EFOpenError(dir + ": no such folder");
  // The archive may be written inside the folder it packs: it is recognised by its identity, one
  // stat a file, where resolving every path would cost dozens of system calls each.
  const std::optional<FileIdentity> target_id = IdentityOf(target);

  std::vector<PackFile> files;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (!item.is_regular_file()) continue;
    if (target_id && IdentityOf(item.path()) == target_id) continue;
    const std::string relative = item.path().lexically_relative(root).generic_string();
    std::string stored = relative;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    PackFile f{{}, relative};
    if (!TryUtf8ToCp932(stored, f.name)) {
      throw EConvertError(PathToUtf8(item.path()) +
                          ": the name has no Shift-JIS form, so it cannot be stored");
    }
    files.push_back(std::move(f));
  }
  // Sorted by the stored bytes, so the same folder always packs to the same archive.
  std::sort(files.begin(), files.end(), [](const PackFile& a, const PackFile& b) { return a.name < b.name; });

  TVrFileCollection archive;
  archive.Open(root);
  for (const PackFile& f : files) archive.Add(f.name).Separate = MatchesAny(separate, f.relative);

  ProgressBar bar("pack", static_cast<int64_t>(files.size()));
  archive.OnProgress = [&](TVrFileCollection&, TVrFile&, int64_t, int32_t index, int32_t, bool&) {
    bar.Update(index + 1);
  };
  int64_t size = 0;
  try {
    TBigFileStream stream(target, TBigFileStream::kCreate);
    archive.SaveToStream(stream);
    size = stream.GetSize();
  } catch (...) {
    bar.Finish();
    RemoveArchive(target);
    throw;
  }
  bar.Finish();
  std::printf("%s: %zu entries, %lld bytes\n", out.c_str(), files.size(), static_cast<long long>(size));
  SetResult(kOk);
}

void Merge(const std::string& data_file, const std::string& source_file) {
  const fs::path data_path = Utf8ToPath(data_file);
  std::error_code ec;
  if (fs::is_directory(data_path, ec)) throw EFOpenError(data_file + ": is a folder, not a data file");
  TVrFileCollection source;
  OpenArchiveForTool(source, source_file);
  TVrFileCollection data;
  data.Open(data_path);

  int64_t total = 0;
  for (int i = 0; i + 1 < source.Count(); ++i) total += source[i].Size;
  ProgressBar bar("merge", total);
  int64_t done = 0;
  int taken = 0;
  data.OnProgress = [&](TVrFileCollection&, TVrFile&, int64_t size, int32_t, int32_t, bool&) {
    bar.Update(done += size);
    ++taken;
  };
  const bool changed = data.Merge(source);
  bar.Finish();
  if (changed) {
    std::printf("%s: %d entries taken over from %s\n", data_file.c_str(), taken, source_file.c_str());
  } else {
    std::printf("%s: already up to date\n", data_file.c_str());
  }
  SetResult(kOk);
}

void Append(const std::string& exe, const std::string& archive, const std::string& out) {
  std::error_code ec;
  if (!fs::is_regular_file(Utf8ToPath(exe), ec)) throw EFOpenError(exe + ": no such file");
  {
    // only a readable archive is appended
    TVrFileCollection check;
    OpenArchiveForTool(check, archive);
  }
  const fs::path target = Utf8ToPath(out);
  const fs::path temp = TemporarySibling(target);
  try {
    fs::copy_file(Utf8ToPath(exe), temp, fs::copy_options::overwrite_existing);
    AppendArchive(temp, Utf8ToPath(archive));
    fs::rename(temp, target);
  } catch (...) {
    fs::remove(temp, ec);
    throw;
  }
  SetResult(kOk);
}

void Register(CLI::App& app) {
  static std::string dir, out, data_file, source, exe, archive;
  static std::vector<std::string> separate;

  auto* pack = app.add_subcommand("pack", "Pack the files under DIR into a new archive");
  pack->add_option("DIR", dir, "folder whose files become the entries (names relative, with '\\')")
      ->required();
  pack->add_option("-o,--output", out, "archive to write")->required();
  pack->add_option("--separate", separate,
                   "mark entries matching GLOB (relative path with '/', any case) as separate files");
  pack->callback([] { Pack(dir, out, separate); });

  auto* merge = app.add_subcommand("merge", "Bring DATAFILE and its .ext side file up to date from SOURCE");
  merge->add_option("DATAFILE", data_file, "installed data file (created when missing)")->required();
  merge->add_option("SOURCE", source, "archive with the new entries")->required();
  merge->callback([] { Merge(data_file, source); });

  auto* append = app.add_subcommand("append", "Write EXE + ARCHIVE + exe trailer to OUT");
  append->add_option("EXE", exe)->required();
  append->add_option("ARCHIVE", archive)->required();
  append->add_option("-o,--output", out)->required();
  append->callback([] { Append(exe, archive, out); });
}

RegisterCommands reg(11, Register);

}  // namespace

}  // namespace vn::cli
