// Named mutexes are kernel objects here: the one a game holds is found by its name alone.
#include <windows.h>

#include "platform/mutex.h"
#include "platform/win32/wide.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

// The object name in UTF-16. A name with bytes that are no Shift-JIS character still gets one, the
// same in every process (U+FFFD in their place), rather than no mutex at all.
std::wstring MutexName(const DataString& name) {
  return win32::Utf8ToWide(Cp932ToUtf8Lossy(name));
}

}  // namespace

fs::path MutexFilePath(const DataString&) {
  return {};
}

std::optional<InstanceMutex> CreateInstanceMutex(const DataString& name) {
  // Not owned: any process may open it to test for it; it lives as long as a handle to it does.
  const HANDLE h = CreateMutexW(nullptr, FALSE, MutexName(name).c_str());
  const DWORD error = GetLastError();
  if (!h) return std::nullopt;
  if (error == ERROR_ALREADY_EXISTS) {
    ReleaseMutex(h);
    CloseHandle(h);
    return std::nullopt;
  }
  return InstanceMutex(reinterpret_cast<intptr_t>(h), {});
}

bool MutexExists(const DataString& name) {
  // Asking only for SYNCHRONIZE opens a mutex that a process of higher rights created, too; and
  // should even that be refused, the refusal itself says the mutex exists.
  const HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, MutexName(name).c_str());
  if (h) {
    CloseHandle(h);
    return true;
  }
  return GetLastError() == ERROR_ACCESS_DENIED;
}

void InstanceMutex::Release() noexcept {
  if (handle_ < 0) return;
  ReleaseMutex(reinterpret_cast<HANDLE>(handle_));  // not owned, so this fails; harmless
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

}  // namespace vn
