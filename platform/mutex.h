// Named mutexes shared between processes: one launcher per title, and the test for a running game.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/text.h"

namespace vn {

// A held instance mutex. It exists for other processes while this object lives (at the latest until
// the process ends, however it ends). Movable, not copyable.
//
// Windows: the named kernel mutex (CreateMutexW, not owned), the name converted from code page 932.
// POSIX: an advisory lock (flock) on a file in $XDG_RUNTIME_DIR/vnsetup (else, or when that cannot be
// used, /tmp/vnsetup-UID), whose name is derived from the mutex name by MutexFilePath.
class InstanceMutex {
 public:
  InstanceMutex(InstanceMutex&& other) noexcept;
  InstanceMutex& operator=(InstanceMutex&& other) noexcept;
  InstanceMutex(const InstanceMutex&) = delete;
  InstanceMutex& operator=(const InstanceMutex&) = delete;
  ~InstanceMutex();

 private:
  friend std::optional<InstanceMutex> CreateInstanceMutex(const DataString& name);
  InstanceMutex(intptr_t handle, std::filesystem::path file) : handle_(handle), file_(std::move(file)) {}
  void Release() noexcept;
  intptr_t handle_ = -1;
  std::filesystem::path file_;
};

// Creates the mutex `name` (code page 932 bytes, any content), not owned by anyone. None when a mutex
// of that name already exists -- in this or another process -- or it cannot be created.
std::optional<InstanceMutex> CreateInstanceMutex(const DataString& name);

// Gives the mutex up (nothing when `handle` holds none); `handle` is empty afterwards.
void ReleaseInstanceMutex(std::optional<InstanceMutex>& handle);

// True while some process holds a mutex of that name.
bool MutexExists(const DataString& name);

// The file that stands for the mutex `name`: up to 40 characters of its text with everything but ASCII
// letters, digits, '-', '_' and '.' made '_', then '-' and the 64-bit FNV-1a hash of all its bytes in
// hexadecimal. A game holds the mutex of its install folder by holding an flock on this file.
// Empty on Windows, where a game holds the named mutex itself.
std::filesystem::path MutexFilePath(const DataString& name);

}  // namespace vn
