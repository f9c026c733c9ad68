// The "vf" archive as a user opens it: a data file with its directory inside, a data file with a
// side file, or an executable with the archive behind its trailer. Every entry is read into memory
// and into a plain stream, and the whole archive is verified; then it is read again entry by entry from
// its directory, verified that way and merged into a new data file.
//
// Input: one byte for the form (0 plain, 1 side file, 2 executable); for the side-file form two
// bytes (little-endian) for the side file's length, then the side file; the rest is the file.
#include "archive/vr_files.h"
#include "fuzz/fuzz_support.h"
#include "platform/error.h"

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
      fuzz::RemoveFile(folder / "merged.dat");
      fuzz::RemoveFile(folder / "merged.ext");
      TVrFileCollection merged;
      merged.Open(folder / "merged.dat");
      merged.Merge(source);
    }
  } catch (const Exception&) {
  }
  return 0;
}
