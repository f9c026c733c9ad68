// Helpers of the Windows backend: UTF-16 for the W functions, system error texts, registry reads.
// Only the win32/ sources include this header.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vn::win32 {

// UTF-8 <-> UTF-16 for the W functions; EConvertError for text that is not valid UTF-8 / UTF-16.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// "<path>: <what>: <system message>" for the error code `error` (GetLastError's).
std::string Describe(const std::filesystem::path& path, const char* what, DWORD error);

// A REG_SZ or REG_EXPAND_SZ value (the latter not expanded) without its terminating zero; none when the
// value is missing, of another type, or cannot be read.
std::optional<std::wstring> QueryRegString(HKEY key, const wchar_t* name);

// Attributes of a file or folder as GetFileAttributesW gives them; none when it does not exist.
std::optional<DWORD> AttributesOf(const std::filesystem::path& path);

// True when `text` begins with `prefix`, ASCII letters compared without regard to case.
bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix);

}  // namespace vn::win32
