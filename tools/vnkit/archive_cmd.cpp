// vnkit list / cat / extract / verify: reading "vf" archives.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "archive/vr_files.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "tools/vnkit/archive_tool.h"
#include "tools/vnkit/cli.h"
#include "tools/vnkit/json_text.h"

namespace vn::cli {

namespace fs = std::filesystem;

namespace {

std::string DosTimeText(int32_t dos) {
  if (dos == 0) return "-";  // no time stored
  const DosDateTimeFields f = SplitDosDateTime(dos);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                f.second);
  return text;
}

// The JSON listing entry by entry, in the very layout of a JSON document dumped with an indent of 2,
// read from the directory as it is written: an archive of any size is listed in the same memory.
void PrintJsonListing(ArchiveDirectoryReader& directory) {
  std::string out = "{\n  \"version\": " + std::to_string(directory.Version()) + ",\n  \"entries\": [";
  const auto flush = [&] {
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
      throw EWriteError(std::string("standard output: cannot write: ") + std::strerror(errno));
    out.clear();
  };
  const auto boolean = [](bool b) { return b ? "true" : "false"; };
  bool first = true;
  for (DirectoryEntry e; directory.Next(e); first = false) {
    out += first ? "\n    {\n      \"name\": " : ",\n    {\n      \"name\": ";
    // a name without an exact UTF-8 form is an object, indented as the document around it
    std::string name = TextToJson(e.name).dump(2);
    for (size_t at = 0; (at = name.find('\n', at)) != std::string::npos; at += 7)
      name.insert(at + 1, "      ");
    out += name;
    out += ",\n      \"offset\": " + std::to_string(e.offset + directory.Start());
    out += ",\n      \"size\": " + std::to_string(e.size);
    out += ",\n      \"stored\": ";
    out += boolean(e.stored);
    out += ",\n      \"time\": " + std::to_string(e.time);
    out += ",\n      \"crc\": " + std::to_string(e.crc);
    out += ",\n      \"separate\": ";
    out += boolean(e.separate);
    out += "\n    }";
    if (out.size() >= 65536) flush();
  }
  out += first ? "]\n}\n" : "\n  ]\n}\n";
  flush();
}

void List(const std::string& archive, bool json) {
  TVrFileCollection files;
  ArchiveDirectoryReader& directory = OpenArchiveDirectoryForTool(files, archive);
  if (json) {
    PrintJsonListing(directory);
  } else if (CurrentVerbosity() == Verbosity::kQuiet) {
    // as tar t: the names alone, one a line, for scripts
    for (DirectoryEntry e; directory.Next(e);) std::printf("%s\n", DisplayName(e.name).c_str());
  } else {
    // as unzip -l (with -v also each entry's offset in the file): a header, one line per entry, the total
    const bool verbose = CurrentVerbosity() == Verbosity::kVerbose;
    if (verbose) std::printf("%12s  ", "offset");
    std::printf("%12s  %-6s  %-8s  %-19s  %s\n", "size", "form", "crc", "time", "name");
    int64_t bytes = 0;
    for (DirectoryEntry e; directory.Next(e);) {
      bytes += e.size;
      if (verbose) std::printf("%12lld  ", static_cast<long long>(e.offset + directory.Start()));
      std::printf("%12lld  %-6s  %08x  %-19s  %s%s\n", static_cast<long long>(e.size),
                  e.stored ? "stored" : "zlib", e.crc, DosTimeText(e.time).c_str(),
                  DisplayName(e.name).c_str(), e.separate ? "  [separate]" : "");
    }
    std::printf("%s, %s\n", Counted(directory.Count(), "entry", "entries").c_str(),
                Counted(bytes, "byte", "bytes").c_str());
  }
  if (DirectoryCoversNoData(directory, *files.Stream()))
    PrintError(ArchiveLabel(archive) + ": warning: " + NoDataWarning(*files.Stream()));
  SetResult(kOk);
}

void Cat(const std::string& archive, const std::vector<std::string>& names) {
  KeepStdoutForData();
  TVrFileCollection files;
  OpenArchiveForTool(files, archive);
  StdoutStream out;
  int result = kOk;
  for (const std::string& name : names) {
    bool pattern = false;
    const std::vector<int> selected = SelectEntries(files, name, &pattern);
    try {
      if (selected.empty() && pattern) {
        throw EFOpenError("no entry matches " + name);
      } else if (selected.empty()) {
        // not an entry: the loose file of that name beside the archive, as the installer reads it
        try {
          files.ReadEntry(out, NameFromUtf8(name));
        } catch (const EFOpenError&) {
          throw EFOpenError("no entry named " + name + ", and no such file beside it");
        }
      }
      for (int index : selected) {
        // this very entry (superseded ones may share a name); the content goes out as it is read,
        // so damaged stored bytes are reported once they are out
        const TVrFile& entry = files[index];
        if (!WriteEntryChecked(files, *files.Stream(), entry, out)) {
          PrintError(ArchiveLabel(archive) + ": entry " + DisplayName(entry.Name()) +
                     " is damaged: checksum mismatch (its bytes were written as stored)");
          result = kError;
        }
      }
    } catch (const Exception& e) {
      PrintError(ArchiveLabel(archive) + ": " + e.what());
      result = kError;
    }
  }
  SetResult(result);
}

void Verify(const std::string& archive, bool quick) {
  TVrFileCollection files;
  // A truncated archive is checked up to the cut, which is then reported like any damage. The
  // entries are read from the directory as they are checked, twice at the most: the memory used
  // does not grow with their number.
  ArchiveDirectoryReader& directory = OpenArchiveDirectoryForTool(files, archive, true);
  TBigStream& data = *files.Stream();
  const std::string label = ArchiveLabel(archive);
  ProgressBar bar("verify", directory.EndOffset() - directory.FirstOffset());

  // Each entry's bytes are read once, at the pace of reading the file: summed, and (unless quick)
  // a compressed entry inflated as they come, so that "intact" means every entry can be extracted.
  // Superseded entries keep their bytes in the data file, and are checked too.
  const TVrCheckRules rules{quick ? TVrCheckRules::kUnchecked : TVrCheckRules::kAll, true};
  int bad_index = -1;
  TVrEntryCheck bad;
  try {
    files.VerifyDirectory(rules, &bad_index, &bad, [&](int32_t, int64_t bytes_before) {
      bar.Update(bytes_before);
      return false;
    });
  } catch (const std::bad_alloc&) {
    throw Exception(label + ": not enough memory to check it");
  }
  bar.Finish();

  int current = 0, checked = 0, superseded = 0;
  directory.Rewind();
  DirectoryEntry e;
  for (int i = 0; directory.Next(e); ++i) {
    const bool is_superseded = Superseded(e.name);
    if (i == bad_index) {
      PrintError(label + ": entry " + DisplayName(e.name) + (is_superseded ? " (superseded)" : "") + " is " +
                 (bad.state == TVrEntryCheck::kCutOff ? "" : "damaged: ") + bad.reason);
      SetResult(kNegative);
      return;
    }
    if (is_superseded) {
      ++superseded;
    } else {
      ++current;
      if (e.crc != 0) ++checked;
    }
    SayVerbose("ok  " + DisplayName(e.name));
  }
  if (DirectoryCoversNoData(directory, data)) {
    PrintError(label + ": " + NoDataWarning(data));
    SetResult(kNegative);
    return;
  }
  Say(label + ": intact (" + Counted(current, "entry", "entries") + ", " + std::to_string(checked) +
      " with a checksum" +
      (superseded > 0 ? "; " + Counted(superseded, "superseded entry", "superseded entries") : "") + ")");
  SetResult(kOk);
}

void Register(CLI::App& app) {
  static std::string archive;
  static bool json = false;
  static std::vector<std::string> names;
  static ExtractOptions extract_options;
  const char* archive_help = "archive file, data file or executable with an archive; - for standard input";

  auto* list = app.add_subcommand("list", "List the stored entries of an archive in directory order");
  list->add_option("ARCHIVE", archive, archive_help)->required();
  list->add_flag("--json", json, "JSON output");
  AddVerbosityFlags(*list, "also each entry's offset in the file", "the names alone, one a line");
  list->callback([] { List(archive, json); });

  auto* cat = app.add_subcommand("cat", "Write entries' content to standard output");
  cat->add_option("ARCHIVE", archive, archive_help)->required();
  cat->add_option("NAME", names,
                  "entry name (UTF-8, '\\' or '/' between folders) or pattern (*.txt); a name that is no "
                  "entry reads the file of that name beside the archive")
      ->required();
  cat->callback([] { Cat(archive, names); });

  auto* extract = app.add_subcommand("extract", "Extract entries (all when no NAME is given) into a folder");
  extract->add_option("ARCHIVE", archive, archive_help)->required();
  extract->add_option("-o,--output,-C", extract_options.out_dir,
                      "target folder (default: the current folder)");
  extract->add_option("NAME", names, "entry names or patterns (*.txt, scenario/*), any letter case");
  extract->add_flag("-k,--keep", extract_options.keep, "leave files that already exist as they are");
  extract->add_flag("--salvage", extract_options.salvage,
                    "from a truncated or damaged archive, write the entries that are intact");
  AddVerbosityFlags(*extract);
  extract->callback([] { SetResult(ExtractArchive(archive, extract_options, names)); });

  static bool quick = false;
  auto* verify = app.add_subcommand(
      "verify",
      "Check that every entry can be extracted (CRC-32, and compressed entries inflated); exit 1 when one "
      "is damaged");
  verify->add_option("ARCHIVE", archive, archive_help)->required();
  verify->add_flag("--quick", quick,
                   "checksums only: compressed entries are inflated only where no checksum is stored");
  AddVerbosityFlags(*verify);
  verify->callback([] { Verify(archive, quick); });
}

RegisterCommands reg(10, Register);

}  // namespace

}  // namespace vn::cli
