#include "platform/win32/wide.h"

#include <climits>

#include "platform/error.h"
#include "platform/paths.h"

namespace vn::win32 {

std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  if (utf8.size() > INT_MAX) throw EConvertError("text too long to convert");
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (n <= 0) throw EConvertError("\"" + std::string(utf8) + "\" is not valid UTF-8");
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n);
  return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  if (wide.size() > INT_MAX / 4) throw EConvertError("text too long to convert");
  const int size = static_cast<int>(wide.size());
  const int n =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) throw EConvertError("a name has an unpaired UTF-16 surrogate");
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

std::string Describe(const std::filesystem::path& path, const char* what, DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n > 0 && text ? std::wstring(text, n) : L"error " + std::to_wstring(error);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.')) {
    message.pop_back();
  }
  std::string utf8;
  try {
    utf8 = WideToUtf8(message);
  } catch (const Exception&) {
    utf8 = "error " + std::to_string(error);
  }
  return PathToUtf8(path) + ": " + what + ": " + utf8;
}

std::optional<std::wstring> QueryRegString(HKEY key, const wchar_t* name) {
  // The value may change size between the two calls; a few rounds settle it.
  for (int round = 0; round < 4; ++round) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    if (size <= sizeof(wchar_t)) return std::wstring();
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LSTATUS r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    data.resize(got / sizeof(wchar_t));
    // Stored strings usually end in one zero, but nothing forces them to.
    while (!data.empty() && data.back() == L'\0') data.pop_back();
    return data;
  }
  return std::nullopt;
}

std::optional<DWORD> AttributesOf(const std::filesystem::path& path) {
  const DWORD attr = GetFileAttributesW(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attr;
}

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const auto fold = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; };
    if (fold(text[i]) != fold(prefix[i])) return false;
  }
  return true;
}

}  // namespace vn::win32
