// Plain files: the handle the streams are built on, and atomic replacement of small files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vn {

enum class FileAccess {
  kRead,       // open an existing file for reading
  kReadWrite,  // open an existing file for reading and writing
  kCreate,     // create or truncate, read and write
};

// The bytes of a file that lies in no one range of another file (a file of a disc image stored in
// several extents, or on an image of raw sectors), read where they are.
class File;
class FileSource {
 public:
  virtual ~FileSource() = default;
  virtual int64_t Size() const = 0;
  // Reads `count` bytes at `position` (both within Size()); raises EReadError naming the file when
  // they cannot be read whole.
  virtual void ReadAt(int64_t position, void* buffer, int64_t count) = 0;
  // How many bytes from `position` on lie in one piece, and, when that piece is a range of a plain
  // file, that file (`*plain`) and where in it (`*offset`): copies then go through the system's copy
  // of ranges instead of this program's memory. 0 at or past the end.
  virtual int64_t Run(int64_t position, File** plain, int64_t* offset) {
    *plain = nullptr;
    *offset = 0;
    return position < 0 || position >= Size() ? 0 : Size() - position;
  }
};

// An open file. Failures raise EFOpenError / EReadError / EWriteError naming the file.
class File {
 public:
  File() = default;
  File(const std::filesystem::path& path, FileAccess access);
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  // Creates a new file for reading and writing; none when anything of that name exists already (a
  // symbolic link is not followed), so nothing there is ever opened or truncated. Other failures
  // raise EFOpenError.
  static std::optional<File> CreateNew(const std::filesystem::path& path);

  // A read-only window onto `length` bytes at `offset` of the file at `path` (a file stored inside a
  // disc image): positions count from the window's start, Size is its length, reads end at its end,
  // and writes are refused (EWriteError). `path` must hold the whole window.
  static File Window(const std::filesystem::path& path, int64_t offset, int64_t length);
  // Takes over a file the system opened already (a descriptor on POSIX, a HANDLE on Windows); `path`
  // names it in messages.
  static File Adopt(intptr_t handle, const std::filesystem::path& path);
  // A read-only file whose bytes `source` reads, known as `path` in messages; a window in every other
  // respect (it has no handle of the system). POSIX only: EFOpenError elsewhere.
  static File FromSource(const std::filesystem::path& path, std::shared_ptr<FileSource> source);

  bool IsOpen() const { return handle_ >= 0 || source_ != nullptr; }
  bool IsWindow() const { return window_length_ >= 0; }
  // False for a folder, a pipe, a socket or a device: anything whose size says nothing about
  // what a read will bring.
  bool IsRegularFile() const;
  const std::filesystem::path& Path() const { return path_; }
  // The system's handle (a descriptor on POSIX, a HANDLE on Windows), for calls made on an open file.
  intptr_t NativeHandle() const { return handle_; }

  // Reads up to count bytes at the current position; fewer only at the end of the file.
  int64_t Read(void* buffer, int64_t count);
  // Writes all count bytes at the current position.
  void Write(const void* buffer, int64_t count);
  // Reads / writes at an absolute position without moving the current one.
  int64_t ReadAt(int64_t position, void* buffer, int64_t count);
  void WriteAt(int64_t position, const void* buffer, int64_t count);
  int64_t Seek(int64_t position);
  int64_t Position() const;
  int64_t Size() const;
  void SetSize(int64_t size);
  // Copies count bytes of `source` from source_position to this file at position, inside the system
  // where it can (no trip through this process's memory; a reflink where the file system shares
  // blocks). Returns the bytes copied: fewer only when the source ends first.
  int64_t CopyRangeFrom(File& source, int64_t source_position, int64_t position, int64_t count);
  // Starts writing the range to the device without waiting for it, so that the Sync that follows a
  // long write finds less left to do. Only a hint: where the system has no such call, nothing.
  void StartWriteBack(int64_t position, int64_t count);
  // Forces written data to the device.
  void Sync();
  // Takes this process's claim to write the file, as a Windows program opens a file that others may
  // read but not write: false when another open file holds it (the claim ends with Close). Readers
  // are never kept out.
  bool TryClaimForWriting();
  void Close();

 private:
  [[noreturn]] void Fail(const char* what) const;
  // Window arithmetic shared by the backends: the bytes of count that lie in the window from
  // `position` on (count itself for a whole file), and the refusal of every write.
  int64_t InWindow(int64_t position, int64_t count) const;
  void RefuseWriteToWindow() const;

  intptr_t handle_ = -1;
  std::filesystem::path path_;
  int64_t window_offset_ = 0;           // where a window starts in the file; 0 for a whole file
  int64_t window_length_ = -1;          // -1: the whole file
  std::shared_ptr<FileSource> source_;  // reads the bytes of a file without a handle
  int64_t source_position_ = 0;         // its current position
};

// Whether the lock file `lock_name` in `folder` shows the folder abandoned by the process that made
// it: the folder is a real folder (no link) of this user, the lock file in it a regular file of this
// user, and no open file holds a claim on it (TryClaimForWriting) on a file system that keeps such
// claims. False in every other case -- held, missing, someone else's, or no way to tell -- and on
// Windows, which marks no folder this way.
bool FolderLockAbandoned(const std::filesystem::path& folder, const char* lock_name);

// The copy of File::CopyRangeFrom through a buffer of this process (where the system cannot do it).
int64_t CopyRangeThroughBuffer(File& source, int64_t source_position, File& target, int64_t position,
                               int64_t count);

// Opens a file for reading that must be a regular file: a pipe or device is refused (EFOpenError
// naming the file) without waiting for a writer, as a folder or a missing file is.
File OpenRegularFile(const std::filesystem::path& path);

// Reads a whole regular file of at most max_size bytes. A pipe or device is refused without
// waiting for a writer, and a larger file from its size before anything is read: EFOpenError naming
// the file and the fault; EReadError when reading fails.
std::string ReadWholeFile(const std::filesystem::path& path, int64_t max_size);
// For readers whose file may be as large as memory allows (a loose file served as an entry).
inline constexpr int64_t kAnyFileSize = INT64_MAX - 1;

// Replaces `path` with `content` so that a crash leaves either the old file or the new one:
// writes a temporary file in the same folder, syncs it and renames it over the target.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view content);

// A temporary name beside `path` for atomic replacement (unique within the process): the name
// followed by ".tmp", the process number, '-' and a counter.
std::filesystem::path TemporarySibling(const std::filesystem::path& path);
// The name of the file that `file_name` (a name without folder, in native text) is a temporary of,
// as TemporarySibling names them; none for any other name.
std::optional<std::string> TemporarySiblingBase(std::string_view file_name);
// Renames `from` over `to` (replacing it) and syncs the folder; EWriteError on failure.
void ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Raises EFOpenError when `path` names a device, a pipe or a socket (or a link to one): a writer
// that replaces its target would put a file in its place (as root, /dev/null itself), and one that
// writes into it would wait for a reader or feed a device. Anything else, or nothing, passes.
void RefuseToReplaceSpecialFile(const std::filesystem::path& path);

}  // namespace vn
