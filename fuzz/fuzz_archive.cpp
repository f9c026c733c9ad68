// The "vf" archive as a user opens it: a data file with its directory inside, a data file with a
// side file, or an executable with the archive behind its trailer. Every entry is read into memory
// and into a plain stream, and the whole archive is verified; then it is read again entry by entry from
// its directory, verified that way and merged into a new data file, which must then give every entry
// the same content (the round trip: read, written, read again); merged once more without making its
// entries, the new data file must come out byte for byte the same.
//
// Input: one byte for the form (0 plain, 1 side file, 2 executable); for the side-file form two
// bytes (little-endian) for the side file's length, then the side file; the rest is the file.
#include <fstream>
#include <iterator>
#include <map>

#include "archive/vr_files.h"
#include "fuzz/fuzz_support.h"
#include "platform/error.h"

namespace {

// Every entry the archive's lookup finds under its name reads the same from the merged data file.
// Merge skips separate entries (the installer extracts them), and keeps the newer of names equal
// but for letter case where the lookup takes the last: those are left out here.
void CheckMerged(const std::filesystem::path& file, const std::filesystem::path& merged_file) {
  using namespace vn;
  TVrFileCollection source;
  try {
    source.Open(file);
  } catch (const Exception&) {
    return;  // read as a directory only (a cut-off archive)
  }
  std::error_code ec;
  if (!std::filesystem::exists(merged_file, ec))
    fuzz::RoundTripFailed("merge took entries over but made no data file");
  TVrFileCollection merged;
  merged.Open(merged_file);
  std::map<DataString, int> spellings;
  for (int i = 0; i + 1 < source.Count(); ++i) ++spellings[AnsiUpperCase(source[i].Name())];
  for (int i = 0; i + 1 < source.Count() && i < 64; ++i) {
    const TVrFile& entry = source[i];
    if (entry.Separate || source.IndexOf(entry.Name()) != i || spellings[AnsiUpperCase(entry.Name())] > 1)
      continue;
    TMemoryStream before, after;
    try {
      source.ReadEntry(before, entry.Name());
    } catch (const Exception&) {
      continue;  // damaged in the source: it is copied as it is
    }
    try {
      merged.ReadEntry(after, entry.Name());
    } catch (const Exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      fuzz::RoundTripFailed("an entry read from the archive cannot be read from the merged data file");
    }
    if (before.Bytes() != after.Bytes()) fuzz::RoundTripFailed("an entry merged has another content");
  }
}

// A file's bytes, or "-" when there is none.
std::string BytesOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "-";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Merges source into a new data file `name`.dat: 1 when entries were taken over, 0 when none,
// -1 when the merge failed.
int MergeInto(vn::TVrFileCollection& source, const std::filesystem::path& folder, const char* name,
              vn::TVrFileCollection::AfterMerge after) {
  vn::fuzz::RemoveFile(folder / (std::string(name) + ".dat"));
  vn::fuzz::RemoveFile(folder / (std::string(name) + ".ext"));
  try {
    vn::TVrFileCollection merged;
    merged.Open(folder / (std::string(name) + ".dat"));
    return merged.Merge(source, after) ? 1 : 0;
  } catch (const vn::Exception&) {
    return -1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  if (size < 1) return 0;
  std::string_view input = fuzz::AsView(data + 1, size - 1);
  const int form = data[0] % 3;
  const std::filesystem::path folder = fuzz::Scratch();
  const std::filesystem::path file = folder / (form == 2 ? "game.exe" : "game.dat");
  fuzz::RemoveFile(folder / "game.dat");
  fuzz::RemoveFile(folder / "game.ext");
  fuzz::RemoveFile(folder / "game.exe");
  if (form == 1) {
    if (input.size() < 2) return 0;
    const size_t length = std::min<size_t>(uint8_t(input[0]) | (uint8_t(input[1]) << 8), input.size() - 2);
    fuzz::WriteBytes(folder / "game.ext", input.substr(2, length));
    input.remove_prefix(2 + length);
  }
  fuzz::WriteBytes(file, input);
  try {
    TVrFileCollection files;
    files.Open(file);
    for (int i = 0; i + 1 < files.Count() && i < 64; ++i) {
      const DataString name = files[i].Name();
      try {
        TMemoryStream memory;
        files.ReadEntry(memory, name);
        fuzz::CountingStream plain;
        files.ReadEntry(plain, name);
      } catch (const Exception&) {
      }
    }
    files.Verify();
  } catch (const Exception&) {
  }
  // The same archive left in its directory, as the listing and checking tools read it: every entry
  // handed out, verified, then merged into a new data file.
  try {
    TVrFileCollection source;
    if (ArchiveDirectoryReader* directory = source.OpenDirectory(file)) {
      for (DirectoryEntry entry; directory->Next(entry);) {
      }
      source.VerifyDirectory(TVrCheckRules{TVrCheckRules::kAll, true}, nullptr, nullptr, nullptr);
      const int kept = MergeInto(source, folder, "merged", TVrFileCollection::AfterMerge::kEntries);
      // Merged as vnkit merges into a new data file (no entries made, the directory written as the
      // source goes by): the same outcome and the same bytes.
      const int direct = MergeInto(source, folder, "direct", TVrFileCollection::AfterMerge::kClosed);
      if (kept != direct) fuzz::RoundTripFailed("merging without making entries ends otherwise");
      if (BytesOf(folder / "merged.dat") != BytesOf(folder / "direct.dat") ||
          BytesOf(folder / "merged.ext") != BytesOf(folder / "direct.ext")) {
        fuzz::RoundTripFailed("merging without making entries writes other bytes");
      }
      if (kept == 1) CheckMerged(file, folder / "merged.dat");
    }
  } catch (const Exception&) {
  }
  return 0;
}
