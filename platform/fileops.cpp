#include "platform/fileops.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

DosDateTimeFields SplitDosDateTime(int32_t dos) {
  const uint32_t value = static_cast<uint32_t>(dos);
  return {1980 + static_cast<int>(value >> 25),   static_cast<int>((value >> 21) & 0x0F),
          static_cast<int>((value >> 16) & 0x1F), static_cast<int>((value >> 11) & 0x1F),
          static_cast<int>((value >> 5) & 0x3F),  static_cast<int>(value & 0x1F) * 2};
}

bool IsValidDosDateTime(int32_t dos) {
  const DosDateTimeFields f = SplitDosDateTime(dos);
  return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= DaysInMonth(f.year, f.month) &&
         f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

bool ForceDirectories(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return fs::is_directory(folder, ec);
}

bool DeleteFolderTree(const fs::path& folder) {
  if (!IsRealFolder(folder)) return DeleteFileIfExists(folder);  // a link, never its target
  // A read-only folder does not protect its contents on Windows; here it would.
  ClearReadOnly(folder);
  // Only the entries directly inside: folders come with a trailing separator and are emptied
  // first; a link is never a folder here, so it goes as a file and its target stays.
  std::vector<fs::path> entries;
  ListFolder(folder, 0x3F, true, false, entries, false, true, false, "");
  for (const fs::path& entry : entries) {
    if (entry.filename().empty()) {
      DeleteFolderTree(entry.parent_path());
    } else {
      DeleteFileIfExists(entry);
    }
  }
  std::error_code ec;
  fs::remove(folder, ec);
  return !fs::exists(fs::symlink_status(folder, ec));
}

bool CopyFileContent(File& source, File& target, int64_t count, const CopyProgress& progress) {
  // in steps when someone follows the progress, else in one call
  const int64_t step = progress ? int64_t{4} << 20 : std::max<int64_t>(count, 1);
  for (int64_t done = 0; done < count;) {
    const int64_t n = std::min(step, count - done);
    if (target.CopyRangeFrom(source, done, done, n) != n) {
      throw EReadError(PathToUtf8(source.Path()) + ": the file ended before its " + std::to_string(count) +
                       " bytes");
    }
    done += n;
    if (progress && !progress(n)) return false;
  }
  return true;
}

bool CopyFileInto(const fs::path& source, File& target, const CopyProgress& progress) {
  std::error_code ec;
  const fs::perms mode = fs::status(source, ec).permissions();
  const fs::file_time_type time = fs::last_write_time(source, ec);
  if (ec) return false;
  try {
    File from = OpenRegularFile(source);
    if (!CopyFileContent(from, target, from.Size(), progress)) return false;
  } catch (const EWriteError&) {
    throw;
  } catch (const Exception&) {
    return false;
  }
  FileSetPermissions(target, (mode & fs::perms::all) | fs::perms::owner_write);
  return FileSetModified(target, time);
}

}  // namespace vn
