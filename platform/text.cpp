#include "platform/text.h"

namespace vn {

namespace {

constexpr uint8_t kDelimiter = 0x5C;

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Applies fn to every byte in a single-byte position; double-byte characters pass unchanged.
template <typename Fn>
DataString MapSingleBytes(const DataString& s, Fn fn) {
  std::string out = s.bytes();
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsLeadByte(static_cast<uint8_t>(out[i]))) {
      ++i;  // the trail byte belongs to the character
      continue;
    }
    out[i] = fn(out[i]);
  }
  return DataString(std::move(out));
}

}  // namespace

bool IsCharStart(const DataString& s, size_t i) {
  if (i >= s.size()) return false;
  size_t p = 0;
  while (p < i) p += IsLeadByte(s[p]) ? 2 : 1;
  return p == i;
}

bool IsPathDelimiter(const DataString& s, size_t i) {
  return i < s.size() && s[i] == kDelimiter && IsCharStart(s, i);
}

size_t FirstDelimiter(const DataString& s, size_t from) {
  for (size_t i = 0; i < s.size(); i += IsLeadByte(s[i]) ? 2 : 1) {
    if (i >= from && s[i] == kDelimiter) return i;
  }
  return std::string::npos;
}

size_t LastDelimiter(const DataString& s) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < s.size(); i += IsLeadByte(s[i]) ? 2 : 1) {
    if (s[i] == kDelimiter) found = i;
  }
  return found;
}

bool HasTrailingDelimiter(const DataString& s) {
  return !s.empty() && LastDelimiter(s) == s.size() - 1;
}

DataString AnsiUpperCase(const DataString& s) {
  return MapSingleBytes(s, AsciiUpper);
}
DataString AnsiLowerCase(const DataString& s) {
  return MapSingleBytes(s, AsciiLower);
}

int AnsiCompareText(const DataString& a, const DataString& b) {
  const std::string ua = AnsiUpperCase(a).bytes();
  const std::string ub = AnsiUpperCase(b).bytes();
  const int c = ua.compare(ub);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

DataString AddPathDelimiter(const DataString& s) {
  if (HasTrailingDelimiter(s)) return s;
  return s + DataString("\\");
}

void ParentKeyPath(DataString& path) {
  if (path.empty()) return;
  if (HasTrailingDelimiter(path)) path.bytes().pop_back();
  const size_t last = LastDelimiter(path);
  if (last == std::string::npos) {
    path.clear();
  } else {
    path.bytes().resize(last);
  }
}

DataString ExtractFileName(const DataString& path) {
  const size_t last = LastDelimiter(path);
  if (last == std::string::npos) return path;
  return DataString(path.bytes().substr(last + 1));
}

DataString ExtractFilePath(const DataString& path) {
  const size_t last = LastDelimiter(path);
  if (last == std::string::npos) return DataString();
  return DataString(path.bytes().substr(0, last + 1));
}

DataString ExtractFileExt(const DataString& path) {
  const DataString name = ExtractFileName(path);
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); i += IsLeadByte(name[i]) ? 2 : 1) {
    if (name[i] == '.') dot = i;
  }
  if (dot == std::string::npos) return DataString();
  return DataString(name.bytes().substr(dot));
}

}  // namespace vn
