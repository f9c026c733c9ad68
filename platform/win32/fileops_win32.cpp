#include <windows.h>

#include <chrono>

#include "platform/file.h"
#include "platform/fileops.h"
#include "platform/win32/wide.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kDosFirst = 0x00210000;                        // 1980-01-01 00:00:00
constexpr int32_t kDosLast = static_cast<int32_t>(0xFF9FBF7Du);  // 2107-12-31 23:59:58
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;     // 1970-01-01 in 100 ns units
constexpr int64_t kFileTimeUnitsPerSecond = 10000000;

FILETIME ToFileTime(int64_t units) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(units) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(units) >> 32);
  return ft;
}

int64_t FromFileTime(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

// A file time (UTC) as DOS date-time in local time, by the system's own conversion: the bias in
// force now, as every Windows program applies it.
int32_t FileTimeToDos(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return kDosFirst;
  if (st.wYear < 1980) return kDosFirst;
  if (st.wYear > 2107) return kDosLast;
  WORD date = 0, time = 0;
  if (!FileTimeToDosDateTime(&local, &date, &time)) return kDosFirst;
  return static_cast<int32_t>(static_cast<uint32_t>(date) << 16 | time);
}

bool DosToFileTime(int32_t dos, FILETIME& utc) {
  if (!IsValidDosDateTime(dos)) return false;
  const auto value = static_cast<uint32_t>(dos);
  FILETIME local;
  return DosDateTimeToFileTime(static_cast<WORD>(value >> 16), static_cast<WORD>(value & 0xFFFF), &local) &&
         LocalFileTimeToFileTime(&local, &utc);
}

bool IsLink(DWORD attr) {
  return (attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

int32_t TimeToDosDateTime(std::time_t time) {
  const int64_t units = static_cast<int64_t>(time) * kFileTimeUnitsPerSecond + kUnixEpochAsFileTime;
  if (units < 0) return kDosFirst;
  return FileTimeToDos(ToFileTime(units));
}

std::optional<std::time_t> DosDateTimeToTime(int32_t dos) {
  FILETIME utc;
  if (!DosToFileTime(dos, utc)) return std::nullopt;
  return static_cast<std::time_t>((FromFileTime(utc) - kUnixEpochAsFileTime) / kFileTimeUnitsPerSecond);
}

int32_t FileAge(const fs::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return -1;
  }
  return FileTimeToDos(data.ftLastWriteTime);
}

bool FileSetDate(const fs::path& file, int32_t dos) {
  FILETIME utc;
  if (!DosToFileTime(dos, utc)) return false;
  const HANDLE h = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetFileTime(h, nullptr, &utc, &utc);
  CloseHandle(h);
  return ok;
}

bool FileSetDate(File& file, int32_t dos) {
  FILETIME utc;
  return DosToFileTime(dos, utc) &&
         SetFileTime(reinterpret_cast<HANDLE>(file.NativeHandle()), nullptr, &utc, &utc);
}

bool FileSetPermissions(File&, fs::perms) {
  return true;
}

bool FileSetModified(File& file, fs::file_time_type time) {
  const int64_t ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            fs::file_time_type::clock::to_sys(time).time_since_epoch())
                                .count() /
                            100 +
                        kUnixEpochAsFileTime;
  const FILETIME utc = ToFileTime(ticks);
  return SetFileTime(reinterpret_cast<HANDLE>(file.NativeHandle()), nullptr, &utc, &utc);
}

bool CopyFileOver(const fs::path& source, const fs::path& target) {
  const std::optional<DWORD> from = win32::AttributesOf(source);
  if (!from || (*from & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (const std::optional<DWORD> existing = win32::AttributesOf(target)) {
    if (*existing & FILE_ATTRIBUTE_DIRECTORY) return false;
    if (*existing & FILE_ATTRIBUTE_READONLY) return false;
  }
  // CopyFileW carries the time stamps and attributes over; the copy lands beside the target and is
  // renamed over it, so a failure leaves the old target whole.
  const fs::path tmp = TemporarySibling(target);
  if (!CopyFileW(source.c_str(), tmp.c_str(), TRUE)) {
    DeleteFileW(tmp.c_str());
    return false;
  }
  if (!MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    SetFileAttributesW(tmp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(tmp.c_str());
    return false;
  }
  return true;
}

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
  const HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

int64_t FileSizeOf(const fs::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return 0;
  }
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool ClearReadOnly(const fs::path& path) {
  const std::optional<DWORD> attr = win32::AttributesOf(path);
  if (!attr || IsLink(*attr)) return false;
  if (!(*attr & FILE_ATTRIBUTE_READONLY)) return true;
  return SetFileAttributesW(path.c_str(), *attr & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

bool IsReadOnly(const fs::path& path) {
  const std::optional<DWORD> attr = win32::AttributesOf(path);
  return attr && !IsLink(*attr) && (*attr & FILE_ATTRIBUTE_READONLY);
}

bool IsRealFolder(const fs::path& path) {
  const std::optional<DWORD> attr = win32::AttributesOf(path);
  return attr && (*attr & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(*attr);
}

bool DeleteFileIfExists(const fs::path& file) {
  const std::optional<DWORD> attr = win32::AttributesOf(file);
  if (!attr) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  // A link to a folder is removed as a folder; what it points to stays.
  if ((*attr & FILE_ATTRIBUTE_DIRECTORY) && IsLink(*attr)) return RemoveDirectoryW(file.c_str());
  if (DeleteFileW(file.c_str())) return true;
  // The read-only attribute stops DeleteFileW; on POSIX a file without write permission is deleted
  // all the same, and callers expect the same here.
  if (GetLastError() == ERROR_ACCESS_DENIED && (*attr & FILE_ATTRIBUTE_READONLY) &&
      SetFileAttributesW(file.c_str(), *attr & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
    if (DeleteFileW(file.c_str())) return true;
    SetFileAttributesW(file.c_str(), *attr);
  }
  return false;
}

}  // namespace vn
