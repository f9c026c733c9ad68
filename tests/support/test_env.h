// The sandbox every test runs in: HOME, TMPDIR and XDG_* point into one temporary folder.
#pragma once

#include <filesystem>
#include <string>

namespace vn::test {

// The sandbox root (created before the first test, removed after the last).
const std::filesystem::path& SandboxRoot();

// A fresh, empty folder inside the sandbox, unique per call.
std::filesystem::path MakeTempDir(const std::string& hint = "t");

// Writes bytes to a file, creating parent folders.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// `arg` as one word of a shell command line (single-quoted).
std::string ShellQuoted(const std::string& arg);

// Runs a shell command line with its standard output and error captured (through files in `dir`).
struct CommandResult {
  int status = -1;  // the exit status, -1 when the command did not exit normally
  std::string out;
  std::string err;
};
CommandResult RunShell(const std::string& command, const std::filesystem::path& dir);

// Turns a UDF bridge image (genisoimage -udf) into a UDF-only one: of its volume descriptors in
// sectors 16 to 31 only the UDF ones (BEA01, NSR02/03, TEA01) are kept, moved to the front; false
// when there are not three of them.
bool KeepOnlyUdfDescriptors(const std::filesystem::path& image);

}  // namespace vn::test
