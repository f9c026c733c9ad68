// vnkit list / cat / extract / verify: reading "vf" archives.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "archive/vr_files.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/cli.h"

namespace vn::cli {

namespace fs = std::filesystem;

namespace {

// Standard output as a stream for ReadEntry; it cannot seek, so seeking is ignored.
class StdoutStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    const char* p = static_cast<const char*>(buffer);
    int64_t left = count;
    while (left > 0) {
      const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<size_t>(left));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw EWriteError(std::string("standard output: cannot write: ") + std::strerror(errno));
      p += n;
      left -= n;
    }
    written_ += count;
    return count;
  }
  int64_t Seek(int64_t, SeekOrigin) override { return written_; }

 private:
  int64_t written_ = 0;
};

std::string DosTimeText(int32_t dos) {
  const DosDateTimeFields f = SplitDosDateTime(dos);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                f.second);
  return text;
}

void List(const std::string& archive, bool json) {
  TVrFileCollection files;
  OpenArchiveForTool(files, archive);
  if (json) {
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (int i = 0; i + 1 < files.Count(); ++i) {
      const TVrFile& e = files[i];
      entries.push_back({{"name", NameToUtf8(e.Name())},
                         {"offset", e.Offset},
                         {"size", e.Size},
                         {"stored", e.Stored},
                         {"time", e.Time},
                         {"crc", e.CRC},
                         {"separate", e.Separate}});
    }
    const nlohmann::ordered_json out = {{"version", files.Version()}, {"entries", entries}};
    std::printf("%s\n", out.dump(2).c_str());
  } else {
    for (int i = 0; i + 1 < files.Count(); ++i) {
      const TVrFile& e = files[i];
      std::printf("%12lld  %-6s  %08x  %s  %s%s\n", static_cast<long long>(e.Size),
                  e.Stored ? "stored" : "zlib", e.CRC, DosTimeText(e.Time).c_str(),
                  NameToUtf8(e.Name()).c_str(), e.Separate ? "  [separate]" : "");
    }
  }
  if (DirectoryCoversNoData(files)) PrintError(archive + ": warning: " + NoDataWarning(files));
  SetResult(kOk);
}

void Cat(const std::string& archive, const std::string& name) {
  TVrFileCollection files;
  OpenArchiveForTool(files, archive);
  StdoutStream out;
  try {
    files.ReadEntry(out, NameFromUtf8(name));
  } catch (const Exception& e) {
    throw Exception(archive + ": " + e.what());
  }
  SetResult(kOk);
}

void Verify(const std::string& archive) {
  TVrFileCollection files;
  OpenArchiveForTool(files, archive);
  ProgressBar bar("verify", files.Count() - 1);
  files.OnProgress = [&](TVrFileCollection&, TVrFile&, int64_t, int32_t index, int32_t, bool&) {
    bar.Update(index + 1);
  };
  int bad = -1;
  const bool intact = files.Verify(&bad);
  bar.Finish();
  if (!intact) {
    PrintError(archive + ": entry " + NameToUtf8(files[bad].Name()) + " is damaged (checksum mismatch)");
    SetResult(kNegative);
    return;
  }
  if (DirectoryCoversNoData(files)) {
    PrintError(archive + ": " + NoDataWarning(files));
    SetResult(kNegative);
    return;
  }
  int checked = 0;
  for (int i = 0; i + 1 < files.Count(); ++i) {
    if (files[i].CRC != 0 && files[i].Name().bytes().rfind('/', 0) != 0) ++checked;
  }
  std::printf("%s: intact (%d entries, %d with a checksum)\n", archive.c_str(), files.Count() - 1, checked);
  SetResult(kOk);
}

void Register(CLI::App& app) {
  static std::string archive, name, out_dir = ".";
  static bool json = false;
  static std::vector<std::string> names;

  auto* list = app.add_subcommand("list", "List the stored entries of an archive in directory order");
  list->add_option("ARCHIVE", archive, "archive file, data file or executable with an archive")->required();
  list->add_flag("--json", json, "JSON output");
  list->callback([] { List(archive, json); });

  auto* cat = app.add_subcommand("cat", "Write an entry's content to standard output");
  cat->add_option("ARCHIVE", archive)->required();
  cat->add_option("NAME", name, "entry name (UTF-8, '\\' between folders)")->required();
  cat->callback([] { Cat(archive, name); });

  auto* extract = app.add_subcommand("extract", "Extract entries (all when no NAME is given) into a folder");
  extract->add_option("ARCHIVE", archive)->required();
  extract->add_option("-o,--output", out_dir, "target folder (default: the current folder)");
  extract->add_option("NAME", names, "entry names");
  extract->callback([] { SetResult(ExtractArchive(archive, out_dir, names)); });

  auto* verify = app.add_subcommand("verify", "Check every entry's CRC-32 (exit 1 when one is damaged)");
  verify->add_option("ARCHIVE", archive)->required();
  verify->callback([] { Verify(archive); });
}

RegisterCommands reg(10, Register);

}  // namespace

}  // namespace vn::cli
