// The search for an executable that carries a game's archive (an update or a disc that ships the
// launcher with the archive appended).
#include "archive/vr_files.h"
#include "platform/folders.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

bool EndsWithArchiveTrailer(const fs::path& path) {
  File file(path, FileAccess::kRead);
  const int64_t size = file.Size();
  char tail[2] = {0, 0};
  return size >= 2 && file.ReadAt(size - 2, tail, 2) == 2 && tail[0] == 'v' && tail[1] == 'd';
}

}  // namespace

fs::path FindArchiveExe(const fs::path& folder, const DataString& title,
                        const TArchiveTitleReader& read_title) {
  std::vector<fs::path> candidates;
  // plain files of every attribute but folders and volume labels, no recursion
  ListFolder(folder, kFaReadOnly | kFaHidden | kFaSysFile | kFaArchive, true, true, candidates, false, false,
             false, ".exe");
  for (const fs::path& exe : candidates) {
    // The first executable without an archive ends the search.
    if (!EndsWithArchiveTrailer(exe)) return {};
    TVrFileCollection archive;
    archive.Open(exe);
    TMemoryStream settings;
    archive.ReadEntry(settings, DataString("install.dat"));
    if (read_title(settings) == title) return exe;
  }
  return {};
}

}  // namespace vn
