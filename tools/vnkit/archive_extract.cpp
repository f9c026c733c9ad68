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

void OpenArchiveForTool(TVrFileCollection& files, const std::string& archive) {
  std::error_code ec;
  const fs::path path = Utf8ToPath(archive);
  if (!fs::exists(path, ec)) throw EFOpenError(archive + ": no such archive file");
  OpenRegularFile(path);  // a folder or a pipe is refused with its reason, and never waited for
  files.Open(path);
}

bool DirectoryCoversNoData(const TVrFileCollection& files) {
  if (files.Version() != 0 || files.Stream() == nullptr || files.Count() < 1) return false;
  for (int i = 0; i + 1 < files.Count(); ++i) {
    if (files[i].Size > 0) return false;
  }
  return files.Stream()->GetSize() > std::max<int64_t>(files[files.Count() - 1].Offset, 8);
}

std::string NoDataWarning(const TVrFileCollection& files) {
  return "the directory (oldest form, without magic) covers none of the " +
         std::to_string(files.Stream()->GetSize()) + " bytes of the data file; it may not belong to it";
}

std::string NameToUtf8(const DataString& name) {
  std::string utf8;
  return TryCp932ToUtf8(name, utf8) ? utf8 : Cp932ToUtf8Lossy(name);
}

DataString NameFromUtf8(const std::string& name) {
  DataString out;
  if (!TryUtf8ToCp932(name, out))
    throw EConvertError("\"" + name + "\" has no Shift-JIS form, so no entry has that name");
  return out;
}

namespace {

bool IsSuperseded(const DataString& name) {
  return !name.empty() && name[0] == '/';
}

}  // namespace

int ExtractArchive(const std::string& archive, const std::string& out_dir,
                   const std::vector<std::string>& names) {
  TVrFileCollection files;
  OpenArchiveForTool(files, archive);
  const fs::path target = Utf8ToPath(out_dir);
  fs::create_directories(target);

  // What to extract: the given names, or every entry found under its own name (an entry hidden by
  // a later one of the same name, or superseded in a merge, would only be overwritten by it).
  std::vector<DataString> wanted;
  int64_t total = 0;
  if (names.empty()) {
    for (int i = 0; i + 1 < files.Count(); ++i) {
      const TVrFile& e = files[i];
      if (IsSuperseded(e.Name()) || files.IndexOf(e.Name()) != i) continue;
      wanted.push_back(e.Name());
      total += e.Size;
    }
  } else {
    for (const std::string& n : names) {
      wanted.push_back(NameFromUtf8(n));
      const int i = files.IndexOf(wanted.back());
      if (i >= 0) total += files[i].Size;
    }
  }

  bool failed = false;
  int64_t done = 0;
  ProgressBar bar("extract", total);
  for (const DataString& name : wanted) {
    const int index = files.IndexOf(name);
    fs::path temp;
    try {
      const fs::path path = JoinDataPath(target, name);
      if (HasTrailingDelimiter(name)) {
        fs::create_directories(path);
        continue;
      }
      fs::create_directories(path.parent_path());
      temp = TemporarySibling(path);
      {
        TFileStream out(temp, FileAccess::kCreate);
        files.ReadEntry(out, name);
      }
      // the stored time becomes the file's modification time, as unzip does
      if (index >= 0 && files[index].Time != 0) FileSetDate(temp, files[index].Time);
      fs::rename(temp, path);
      temp.clear();
    } catch (const std::exception& e) {
      std::error_code ec;
      if (!temp.empty()) fs::remove(temp, ec);
      bar.Finish();
      PrintError(archive + ": " + NameToUtf8(name) + ": not extracted: " + e.what());
      failed = true;
    }
    if (index >= 0) done += files[index].Size;
    bar.Update(done);
  }
  bar.Finish();
  return failed ? kError : kOk;
}

}  // namespace vn::cli
