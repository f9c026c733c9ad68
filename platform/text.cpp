#include "platform/text.h"

#include <algorithm>

namespace vn {

namespace {

constexpr uint8_t kDelimiter = 0x5C;

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
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

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

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

namespace {

// Walks a string's bytes as AnsiUpperCase would give them, without making the copy: lookups by
// name run this for every comparison and must not allocate.
class UpperCaseBytes {
 public:
  explicit UpperCaseBytes(const DataString& s) : s_(s) {}
  // The upper-cased byte at position i; positions are visited in order from 0.
  uint8_t Next(size_t i) {
    const uint8_t b = s_[i];
    if (trail_) {
      trail_ = false;
      return b;
    }
    if (IsLeadByte(b)) {
      trail_ = true;
      return b;
    }
    return static_cast<uint8_t>(AsciiUpper(static_cast<char>(b)));
  }

 private:
  const DataString& s_;
  bool trail_ = false;
};

}  // namespace

int AnsiCompareText(const DataString& a, const DataString& b) {
  UpperCaseBytes ua(a), ub(b);
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const uint8_t ca = ua.Next(i), cb = ub.Next(i);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

size_t AnsiTextHash(const DataString& s) {
  // FNV-1a over the upper-cased bytes (the bytes UpperCaseBytes gives, in one tight loop: every
  // name indexed or looked up passes here)
  constexpr uint64_t kPrime = 1099511628211ull;
  const std::string& bytes = s.bytes();
  const size_t n = bytes.size();
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = static_cast<uint8_t>(bytes[i]);
    if (IsLeadByte(b)) {
      h = (h ^ b) * kPrime;
      if (++i == n) break;
      b = static_cast<uint8_t>(bytes[i]);  // the trail byte stays as it is
    } else if (b >= 'a' && b <= 'z') {
      b = static_cast<uint8_t>(b - 'a' + 'A');
    }
    h = (h ^ b) * kPrime;
  }
  return static_cast<size_t>(h);
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
