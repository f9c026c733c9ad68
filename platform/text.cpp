#include "platform/text.h"

#include <algorithm>
#include <cstring>

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
  // Every name indexed or looked up passes here. Eight bytes at a time where they are all single-byte
  // characters below 0x80 (letters upper-cased in the word), else byte by byte: a lead byte and its
  // trail byte as they are, other letters upper-cased. Which way a byte goes depends only on what
  // upper-casing keeps (bytes from 0x80 up, lead and trail positions), so names equal but for
  // letter case hash alike.
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  const char* bytes = s.data();
  const size_t n = s.size();
  uint64_t h = n * kMul;
  const auto mix = [&h](uint64_t v) {
    h = (h ^ v) * kMul;
    h ^= h >> 32;
  };
  size_t i = 0;
  while (i < n) {
    if (n - i >= 8) {
      uint64_t word;
      std::memcpy(&word, bytes + i, 8);
      if ((word & kHigh) == 0) {
        // a byte at least 'a' gets its top bit from + 0x1F; one above 'z' from + 0x05 (no carries:
        // every byte is below 0x80)
        const uint64_t lower = (word + 0x1F1F1F1F1F1F1F1Full) & ~(word + 0x0505050505050505ull) & kHigh;
        mix(word - (lower >> 2));
        i += 8;
        continue;
      }
    }
    uint64_t b = static_cast<uint8_t>(bytes[i]);
    if (IsLeadByte(static_cast<uint8_t>(b))) {
      // the trail byte stays as it is
      if (i + 1 < n) b |= uint64_t{static_cast<uint8_t>(bytes[i + 1])} << 8;
      i += 2;
      mix(b | uint64_t{1} << 16);
      continue;
    }
    if (b >= 'a' && b <= 'z') b -= 'a' - 'A';
    mix(b);
    ++i;
  }
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  return static_cast<size_t>(h ^ (h >> 32));
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
