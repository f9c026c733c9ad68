#include <windows.h>

#include <algorithm>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

// <windows.h> names its own ReplaceFile; ours is meant here.
#undef ReplaceFile

namespace vn {

namespace fs = std::filesystem;

namespace {

HANDLE AsHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

// ReadFile and WriteFile move at most a DWORD at a time.
constexpr int64_t kMaxChunk = 1 << 30;

OVERLAPPED At(int64_t position) {
  OVERLAPPED o = {};
  o.Offset = static_cast<DWORD>(static_cast<uint64_t>(position) & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(position) >> 32);
  return o;
}

}  // namespace

File::File(const fs::path& path, FileAccess access) : path_(path) {
  DWORD rights = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (access != FileAccess::kRead) rights |= GENERIC_WRITE;
  if (access == FileAccess::kCreate) disposition = CREATE_ALWAYS;
  // Others may read, write, rename and delete meanwhile, as on POSIX: the installer replaces files
  // that a reader still has open.
  const HANDLE h = CreateFileW(path.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw EFOpenError(win32::Describe(path, "cannot open", GetLastError()));
  handle_ = reinterpret_cast<intptr_t>(h);
}

std::optional<File> File::CreateNew(const fs::path& path) {
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return std::nullopt;
    // a folder of that name refuses the creation as access denied
    if (error == ERROR_ACCESS_DENIED && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return std::nullopt;
    }
    throw EFOpenError(win32::Describe(path, "cannot create", error));
  }
  std::optional<File> file(File{});
  file->handle_ = reinterpret_cast<intptr_t>(h);
  file->path_ = path;
  return file;
}

File File::FromSource(const fs::path& path, std::shared_ptr<FileSource>) {
  throw EFOpenError(PathToUtf8(path) + ": a file without a handle of the system cannot be read here");
}

bool File::IsRegularFile() const {
  // A folder cannot be opened here at all (no FILE_FLAG_BACKUP_SEMANTICS); pipes and consoles can.
  return GetFileType(AsHandle(handle_)) == FILE_TYPE_DISK;
}

File::~File() {
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
}

void File::Fail(const char* what) const {
  throw EReadError(win32::Describe(path_, what, GetLastError()));
}

int64_t File::Read(void* buffer, int64_t count) {
  if (IsWindow()) count = InWindow(Position(), count);
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    DWORD got = 0;
    const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxChunk));
    if (!ReadFile(AsHandle(handle_), out + done, chunk, &got, nullptr)) Fail("cannot read");
    if (got == 0) break;
    done += got;
  }
  return done;
}

int64_t File::ReadAt(int64_t position, void* buffer, int64_t count) {
  // A positioned read moves the file pointer of a synchronous handle; it is put back afterwards.
  const int64_t current = Position();
  count = InWindow(position, count);
  position += window_offset_;
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    DWORD got = 0;
    OVERLAPPED o = At(position + done);
    const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxChunk));
    if (!ReadFile(AsHandle(handle_), out + done, chunk, &got, &o)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      Fail("cannot read");
    }
    if (got == 0) break;
    done += got;
  }
  Seek(current);
  return done;
}

void File::Write(const void* buffer, int64_t count) {
  RefuseWriteToWindow();
  const auto* in = static_cast<const char*>(buffer);
  for (int64_t done = 0; done < count;) {
    DWORD put = 0;
    const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxChunk));
    if (!WriteFile(AsHandle(handle_), in + done, chunk, &put, nullptr) || put == 0) {
      throw EWriteError(win32::Describe(path_, "cannot write", GetLastError()));
    }
    done += put;
  }
}

void File::WriteAt(int64_t position, const void* buffer, int64_t count) {
  RefuseWriteToWindow();
  const int64_t current = Position();
  const auto* in = static_cast<const char*>(buffer);
  for (int64_t done = 0; done < count;) {
    DWORD put = 0;
    OVERLAPPED o = At(position + done);
    const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxChunk));
    if (!WriteFile(AsHandle(handle_), in + done, chunk, &put, &o) || put == 0) {
      throw EWriteError(win32::Describe(path_, "cannot write", GetLastError()));
    }
    done += put;
  }
  Seek(current);
}

int64_t File::Seek(int64_t position) {
  LARGE_INTEGER to, now;
  to.QuadPart = position + window_offset_;
  if (!SetFilePointerEx(AsHandle(handle_), to, &now, FILE_BEGIN)) Fail("cannot seek");
  return now.QuadPart - window_offset_;
}

int64_t File::Position() const {
  LARGE_INTEGER zero, now;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(AsHandle(handle_), zero, &now, FILE_CURRENT)) Fail("cannot seek");
  return now.QuadPart - window_offset_;
}

int64_t File::Size() const {
  if (IsWindow()) return window_length_;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(AsHandle(handle_), &size)) Fail("cannot get the size");
  return size.QuadPart;
}

void File::SetSize(int64_t size) {
  // SetEndOfFile cuts at the file pointer; the caller's position stays where it was, as with ftruncate.
  RefuseWriteToWindow();
  const int64_t current = Position();
  Seek(size);
  const bool ok = SetEndOfFile(AsHandle(handle_));
  const DWORD error = GetLastError();
  Seek(current);
  if (!ok) throw EWriteError(win32::Describe(path_, "cannot set the size", error));
}

int64_t File::CopyRangeFrom(File& source, int64_t source_position, int64_t position, int64_t count) {
  return CopyRangeThroughBuffer(source, source_position, *this, position, count);
}

void File::StartWriteBack(int64_t, int64_t) {}

void File::Sync() {
  if (!FlushFileBuffers(AsHandle(handle_))) {
    throw EWriteError(win32::Describe(path_, "cannot flush", GetLastError()));
  }
}

bool File::TryClaimForWriting() {
  // A byte far past any end: locking it keeps out a second claim, and no reader of the data.
  OVERLAPPED at{};
  at.OffsetHigh = 0x40000000;
  if (LockFileEx(AsHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
    return true;
  return GetLastError() != ERROR_LOCK_VIOLATION;  // a share without locks cannot tell: that refuses nobody
}

bool FolderLockAbandoned(const std::filesystem::path&, const char*) {
  return false;
}

void File::Close() {
  if (handle_ >= 0) {
    CloseHandle(AsHandle(handle_));
    handle_ = -1;
  }
}

void ReplaceFile(const fs::path& from, const fs::path& to) {
  try {
    RefuseToReplaceSpecialFile(to);
  } catch (...) {
    DeleteFileW(from.c_str());
    throw;
  }
  // MOVEFILE_WRITE_THROUGH returns only once the rename is on the disk.
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(from.c_str());
    throw EWriteError(win32::Describe(to, "cannot replace", error));
  }
}

}  // namespace vn
