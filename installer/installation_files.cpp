#include "installer/installation_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include "messages/messages.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/folder_handle.h"
#include "platform/mutex.h"
#include "platform/paths.h"

namespace vn {
namespace fs = std::filesystem;

namespace {

size_t Depth(const fs::path& p) {
  return static_cast<size_t>(std::distance(p.begin(), p.end()));
}

}  // namespace

fs::path InstalledFilePath(PathJoiner& joiner, const DataString& name) {
  const fs::path& install_folder = joiner.Base();
  fs::path path;
  try {
    path = joiner.Join(name);
  } catch (const Exception&) {
    return {};
  }
  fs::path walk = install_folder;
  const std::optional<fs::path> rel = RelativeInside(install_folder, path);
  if (!rel) return {};
  std::error_code ec;
  for (auto it = rel->begin(); it != rel->end() && std::next(it) != rel->end(); ++it) {
    walk /= *it;
    if (fs::is_symlink(fs::symlink_status(walk, ec))) return {};
  }
  return path;
}

namespace {

// The names of `files` (the bases of temporaries to look for) by the folder they are in.
std::map<fs::path, std::set<std::string>> NamesByFolder(const std::vector<fs::path>& files) {
  std::map<fs::path, std::set<std::string>> by_folder;
  for (const fs::path& file : files) {
    if (file.has_filename()) by_folder[file.parent_path()].insert(PathToUtf8(file.filename()));
  }
  return by_folder;
}

}  // namespace

void RemoveStaleTemporaries(const std::vector<fs::path>& files) {
  for (const auto& [folder, bases] : NamesByFolder(files)) {
    try {
      RemoveStaleTemporariesIn(FolderHandle::Open(folder), bases);
    } catch (const Exception&) {
      // a folder that cannot be opened holds nothing to remove
    }
  }
}

void RemoveStaleTemporaries(const FolderHandle& folder, const std::vector<fs::path>& files) {
  for (const auto& [inner, bases] : NamesByFolder(files)) {
    try {
      RemoveStaleTemporariesIn(folder.OpenFolder(inner), bases);
    } catch (const Exception&) {
      // missing, or a link: nothing of this installation's there
    }
  }
}

void AddFoldersOnPath(const fs::path& base, const fs::path& file, std::set<fs::path>& folders) {
  const std::optional<fs::path> rel = RelativeInside(base, file);
  if (!rel) return;
  fs::path walk = base;
  for (auto it = rel->begin(); it != rel->end() && std::next(it) != rel->end(); ++it) {
    walk /= *it;
    folders.insert(walk);
  }
}

void RemoveFoldersIfEmpty(const std::set<fs::path>& folders) {
  std::vector<fs::path> deepest_first(folders.begin(), folders.end());
  std::stable_sort(deepest_first.begin(), deepest_first.end(),
                   [](const fs::path& a, const fs::path& b) { return Depth(a) > Depth(b); });
  for (const fs::path& folder : deepest_first) {
    std::error_code ec;
    if (IsRealFolder(folder) && fs::is_empty(folder, ec) && !ec) fs::remove(folder, ec);
  }
}

int64_t ProgramLengthBeforeArchive(const fs::path& exe) {
  File file(exe, FileAccess::kRead);
  const int64_t size = file.Size();
  char trailer[6];
  if (size < 6 || file.ReadAt(size - 6, trailer, 6) != 6 || std::memcmp(trailer + 4, "vd", 2) != 0) return -1;
  int32_t start = 0;
  std::memcpy(&start, trailer, 4);
  if (start < 0 || start > size - 6) throw EFormatError(PathToUtf8(exe) + ": the archive trailer is damaged");
  return start;
}

void CopyProgramAloneInto(const fs::path& program, File& target) {
  int64_t length = ProgramLengthBeforeArchive(program);
  File from(program, FileAccess::kRead);
  if (length < 0) length = from.Size();
  CopyFileContent(from, target, length);
  target.Sync();
  std::error_code ec;
  FileSetPermissions(target, fs::status(program, ec).permissions() | fs::perms::owner_write);
  const fs::file_time_type time = fs::last_write_time(program, ec);
  if (!ec) FileSetModified(target, time);
}

void CopyProgramAlone(const fs::path& program, const fs::path& target) {
  // as CopyFileOver: a read-only file is not replaced
  if (IsReadOnly(target)) throw EWriteError(PathToUtf8(target) + ": the file is read-only");
  FolderHandle::Open(target.parent_path().empty() ? fs::path(".") : target.parent_path())
      .ReplaceFile(target.filename(), [&](File& copy) {
        CopyProgramAloneInto(program, copy);
        return true;
      });
}

InstanceMutex LockFolderForRun(const fs::path& folder) {
  std::error_code ec;
  fs::path place = fs::weakly_canonical(FolderWithoutDelimiter(folder), ec);
  if (ec) place = FolderWithoutDelimiter(folder).lexically_normal();
  uint64_t hash = 14695981039346656037ull;  // FNV-1a over the folder's path
  for (const auto c : place.native()) hash = (hash ^ static_cast<uint64_t>(c)) * 1099511628211ull;
  char name[48];
  std::snprintf(name, sizeof name, "vnsetup-folder-%016llx", static_cast<unsigned long long>(hash));
  std::optional<InstanceMutex> lock = CreateInstanceMutex(DataString(name));
  if (!lock) {
    throw Exception(PathToUtf8(FolderWithoutDelimiter(folder)) + "\r\n" + Tr(Msg::kFolderBusy));
  }
  return std::move(*lock);
}

void PauseForTest(std::string_view point) {
  // read once: the data file's build passes here for every entry
  static const char* const wanted = std::getenv("VNSETUP_TEST_PAUSE");
  if (wanted == nullptr || *wanted == '\0') return;
  static std::map<std::string, int, std::less<>> passed;
  const int count = ++passed[std::string(point)];
  const std::string_view name(wanted);
  if (name != point && name != std::string(point) + ":" + std::to_string(count)) return;
  const char* marker = std::getenv("VNSETUP_TEST_PAUSE_FILE");
  const bool marked = marker != nullptr && *marker != '\0';
  if (marked) WriteFileAtomically(Utf8ToPath(marker), std::string(point));
  // The test kills the run here, or removes the marker to let it go on; one that does neither must
  // not leave a process behind forever.
  for (int i = 0; i < 6000; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::error_code ec;
    if (marked && !std::filesystem::exists(Utf8ToPath(marker), ec) && !ec) return;
  }
  std::_Exit(3);
}

int CopyDelayForTest() {
  static const int milliseconds = [] {
    const char* value = std::getenv("VNSETUP_TEST_SLOW_COPY");
    return value != nullptr ? std::max(std::atoi(value), 0) : 0;
  }();
  return milliseconds;
}

}  // namespace vn
