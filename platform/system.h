// Small system services: the administrator check, the running executable, number formatting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vn {

// Whether the user may install. POSIX: always true -- installs go into the user's own folders and
// need no elevation. Windows: shell32's test for membership of the administrators group.
bool IsAdministrator();

// The full path of the running executable; empty when the system cannot tell.
std::filesystem::path OwnExecutablePath();

// A path that reads the running program's own bytes, even after its file was deleted (the temporary
// copy removes itself once started): /proc/self/exe on Linux, else OwnExecutablePath().
std::filesystem::path RunningImagePath();

// Decimal digits with ',' between groups of three from the right: 0 gives "0", 1000 "1,000",
// 1234567 "1,234,567". A negative value keeps its sign in front of the first group.
std::string FormatThousands(int64_t value);

// Asks the system to back fresh, not yet touched memory with huge pages where it can (Linux's
// transparent huge pages), so that filling a large buffer takes a page fault per 2 MiB instead of
// one per 4 KiB. Advice only: nothing changes where the system has no such pages (Windows).
void AdviseHugePages(void* data, size_t size);

}  // namespace vn
