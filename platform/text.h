// Data strings: the exact bytes stored in install.dat and archives, in code page 932 (Shift-JIS).
// They are compared, case-folded and searched on bytes, and become native text only through the
// explicit conversions below. The process locale never takes part.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

namespace vn {

class DataString {
 public:
  DataString() = default;
  explicit DataString(std::string bytes) : bytes_(std::move(bytes)) {}
  explicit DataString(std::string_view bytes) : bytes_(bytes) {}
  explicit DataString(const char* bytes) : bytes_(bytes) {}
  DataString(const char* bytes, size_t size) : bytes_(bytes, size) {}

  const std::string& bytes() const { return bytes_; }
  std::string& bytes() { return bytes_; }
  const char* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  uint8_t operator[](size_t i) const { return static_cast<uint8_t>(bytes_[i]); }
  void clear() { bytes_.clear(); }

  DataString& operator+=(const DataString& other) {
    bytes_ += other.bytes_;
    return *this;
  }
  friend DataString operator+(DataString a, const DataString& b) { return a += b; }
  friend bool operator==(const DataString&, const DataString&) = default;
  friend std::strong_ordering operator<=>(const DataString&, const DataString&) = default;

 private:
  std::string bytes_;
};

// --- Conversion -----------------------------------------------------------------------------

// Exact conversions: a byte sequence that has no counterpart raises EConvertError naming the offset.
std::string Cp932ToUtf8(const DataString& text);
DataString Utf8ToCp932(std::string_view utf8);
// False instead of an exception.
bool TryCp932ToUtf8(const DataString& text, std::string& out);
bool TryUtf8ToCp932(std::string_view utf8, DataString& out);
// For messages and listings only: unconvertible bytes are shown as U+FFFD, never dropped silently.
std::string Cp932ToUtf8Lossy(const DataString& text);

// --- Byte helpers -----------------------------------------------------------------------------

// First byte of a double-byte character in code page 932.
constexpr bool IsLeadByte(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// True when byte i starts a character (it is not the second byte of a double-byte character).
bool IsCharStart(const DataString& s, size_t i);
// True when byte i is a '\' that is a path delimiter (not a trail byte).
bool IsPathDelimiter(const DataString& s, size_t i);
// Position of the last / first path delimiter, or npos.
size_t LastDelimiter(const DataString& s);
size_t FirstDelimiter(const DataString& s, size_t from = 0);
// True when the last character of s is a '\' delimiter.
bool HasTrailingDelimiter(const DataString& s);

// ASCII letters A-Z as a-z, every other byte as it is: names compared as Windows compares them where
// they are UTF-8 (each byte of a multi-byte character is above 0x7F) or plain ASCII.
char AsciiLower(char c);
std::string AsciiLowerCase(std::string_view s);

// ANSI casing of the system: ASCII letters in single-byte positions change; double-byte
// characters (lead and trail byte) and single-byte katakana stay as they are.
DataString AnsiUpperCase(const DataString& s);
DataString AnsiLowerCase(const DataString& s);
// <0, 0, >0 comparing as AnsiUpperCase would make them equal.
int AnsiCompareText(const DataString& a, const DataString& b);
inline bool AnsiSameText(const DataString& a, const DataString& b) {
  return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}
// A hash under which names that AnsiSameText takes as equal are equal.
size_t AnsiTextHash(const DataString& s);
// A set of names compared as AnsiSameText does.
struct AnsiTextHasher {
  size_t operator()(const DataString& s) const { return AnsiTextHash(s); }
};
struct AnsiTextEqual {
  bool operator()(const DataString& a, const DataString& b) const { return AnsiSameText(a, b); }
};
using AnsiTextSet = std::unordered_set<DataString, AnsiTextHasher, AnsiTextEqual>;

// S with '\' appended unless its last character already is a delimiter ("" gives "\").
DataString AddPathDelimiter(const DataString& s);
// Drops one trailing delimiter, then cuts at the last delimiter; no delimiter leaves it empty.
void ParentKeyPath(DataString& path);
// The part after the last delimiter.
DataString ExtractFileName(const DataString& path);
// The extension of the last component, dot included, or empty.
DataString ExtractFileExt(const DataString& path);

}  // namespace vn
