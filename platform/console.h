// What a command-line program needs from the system: its arguments as UTF-8, standard output that
// carries bytes unchanged, and wildcard patterns for names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vn {

// The program's arguments (the program name first) as UTF-8. POSIX: argv as given. Windows: the
// wide command line, never the ANSI code page, so every file name comes through.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes standard input and output carry bytes unchanged and lets a console show UTF-8. Windows: binary
// mode (no "\n" -> "\r\n"), UTF-8 console output. POSIX: nothing to do.
void PrepareStandardStreams();

// Shell wildcards: '*' any run of characters, '?' one character, "[...]" one of a set; ASCII letters
// match without regard to case and '/' like any other character. POSIX: fnmatch(FNM_CASEFOLD).
bool MatchesPattern(std::string_view pattern, std::string_view text);

}  // namespace vn
