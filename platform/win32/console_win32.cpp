#include <fcntl.h>
#include <io.h>
#include <windows.h>
// after <windows.h>, whose types it uses
#include <shellapi.h>

#include <cstdio>

#include "platform/console.h"
#include "platform/text.h"
#include "platform/win32/wide.h"

namespace vn {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(win32::WideToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

void PrepareStandardStreams() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);  // an archive may come in on standard input
  SetConsoleOutputCP(CP_UTF8);
}

namespace {

// One "[...]" set at pattern[p] (just after '['): whether c is in it, and where the set ends. A set
// without its ']' is no set: the '[' then stands for itself, as fnmatch takes it.
bool MatchSet(std::string_view pattern, size_t& p, char c, bool& in_set) {
  size_t i = p;
  const bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negate) ++i;
  bool found = false;
  for (bool first = true; i < pattern.size() && (first || pattern[i] != ']'); first = false) {
    char low = pattern[i];
    char high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      high = pattern[i + 2];
      i += 3;
    } else {
      ++i;
    }
    const char f = AsciiLower(c);
    if ((c >= low && c <= high) || (f >= AsciiLower(low) && f <= AsciiLower(high))) found = true;
  }
  if (i >= pattern.size()) return false;
  p = i + 1;
  in_set = found != negate;
  return true;
}

}  // namespace

bool MatchesPattern(std::string_view pattern, std::string_view text) {
  // Backtracking over the last '*' only: linear in practice, never exponential.
  size_t p = 0, t = 0, star_p = std::string_view::npos, star_t = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star_p = ++p;
      star_t = t;
      continue;
    }
    if (p < pattern.size()) {
      size_t next = p + 1;
      bool ok;
      bool in_set = false;
      if (pattern[p] == '?') {
        ok = true;
      } else if (pattern[p] == '[' && (next = p + 1, MatchSet(pattern, next, text[t], in_set))) {
        ok = in_set;
      } else {
        next = p + 1;
        ok = AsciiLower(pattern[p]) == AsciiLower(text[t]);
      }
      if (ok) {
        p = next;
        ++t;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p;
    t = ++star_t;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace vn
