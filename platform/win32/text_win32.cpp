// Code page 932 <-> UTF-8 through the system's own tables (MultiByteToWideChar / WideCharToMultiByte
// with code page 932 named explicitly), never the process's ANSI code page, so the result is the same
// on every system locale.
#include <windows.h>

#include <climits>

#include "platform/error.h"
#include "platform/text.h"

namespace vn {

namespace {

constexpr UINT kCp932 = 932;

bool ToWide(UINT code_page, std::string_view in, std::wstring& out) {
  out.clear();
  if (in.empty()) return true;
  if (in.size() > INT_MAX / 2) return false;
  const int size = static_cast<int>(in.size());
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), size, nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), size, out.data(), n) == n;
}

bool FromWide(UINT code_page, std::wstring_view in, std::string& out) {
  out.clear();
  if (in.empty()) return true;
  if (in.size() > INT_MAX / 4) return false;
  const int size = static_cast<int>(in.size());
  // Code page 932 would otherwise put a "best fit" look-alike (or '?') in for a character it lacks;
  // UTF-8 would put U+FFFD in for an unpaired surrogate. Either is a loss, so either is an error.
  const DWORD flags = code_page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* lossy = code_page == CP_UTF8 ? nullptr : &used_default;
  const int n = WideCharToMultiByte(code_page, flags, in.data(), size, nullptr, 0, nullptr, lossy);
  if (n <= 0 || used_default) return false;
  out.resize(static_cast<size_t>(n));
  return WideCharToMultiByte(code_page, flags, in.data(), size, out.data(), n, nullptr, lossy) == n &&
         !used_default;
}

bool Convert(UINT from, UINT to, std::string_view in, std::string& out) {
  std::wstring wide;
  return ToWide(from, in, wide) && FromWide(to, wide, out);
}

// Exact only when the result converts back to the same text; the same rule as the POSIX backend, so
// both refuse the same names even where a table maps a character to another one's code.
bool ToCp932Exactly(std::string_view utf8, std::string& out) {
  std::string back;
  return Convert(CP_UTF8, kCp932, utf8, out) && Convert(kCp932, CP_UTF8, out, back) && back == utf8;
}

// Length of the character that starts at in[i]: CP932 lead bytes take their trail byte, UTF-8 lead
// bytes their continuation bytes (a malformed lead counts as one byte).
size_t CharLength(UINT code_page, std::string_view in, size_t i) {
  const auto b = static_cast<uint8_t>(in[i]);
  size_t n = 1;
  if (code_page == kCp932) {
    n = IsLeadByte(b) ? 2 : 1;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
  } else if (b >= 0xE0) {
    n = 3;
  } else if (b >= 0xC2 && b < 0xE0) {
    n = 2;
  }
  return std::min(n, in.size() - i);
}

// Converts character by character: a character without counterpart becomes `replacement` (one per
// byte of it) when lossy, else stops there and returns its offset. npos when everything converted.
size_t ConvertEach(UINT from, UINT to, std::string_view in, std::string& out, bool lossy,
                   std::string_view replacement) {
  out.clear();
  std::string piece;
  for (size_t i = 0; i < in.size();) {
    const size_t n = CharLength(from, in, i);
    if (Convert(from, to, in.substr(i, n), piece)) {
      out += piece;
      i += n;
      continue;
    }
    if (!lossy) return i;
    out += replacement;
    ++i;
  }
  return std::string::npos;
}

}  // namespace

bool TryCp932ToUtf8(const DataString& text, std::string& out) {
  return Convert(kCp932, CP_UTF8, text.bytes(), out);
}

bool TryUtf8ToCp932(std::string_view utf8, DataString& out) {
  return ToCp932Exactly(utf8, out.bytes());
}

std::string Cp932ToUtf8(const DataString& text) {
  std::string out;
  if (Convert(kCp932, CP_UTF8, text.bytes(), out)) return out;
  const size_t bad = ConvertEach(kCp932, CP_UTF8, text.bytes(), out, false, {});
  throw EConvertError("Shift-JIS text has a byte sequence without a Unicode character at offset " +
                      std::to_string(bad == std::string::npos ? 0 : bad));
}

DataString Utf8ToCp932(std::string_view utf8) {
  DataString out;
  if (ToCp932Exactly(utf8, out.bytes())) return out;
  size_t bad = 0;
  std::string piece;
  for (size_t i = 0; i < utf8.size(); i += CharLength(CP_UTF8, utf8, i)) {
    if (!ToCp932Exactly(utf8.substr(i, CharLength(CP_UTF8, utf8, i)), piece)) {
      bad = i;
      break;
    }
  }
  throw EConvertError("\"" + std::string(utf8) + "\" has a character at byte " + std::to_string(bad) +
                      " that Shift-JIS (code page 932) cannot hold");
}

std::string Cp932ToUtf8Lossy(const DataString& text) {
  std::string out;
  if (Convert(kCp932, CP_UTF8, text.bytes(), out)) return out;
  ConvertEach(kCp932, CP_UTF8, text.bytes(), out, true, "\xEF\xBF\xBD");
  return out;
}

}  // namespace vn
