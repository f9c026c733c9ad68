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

}  // namespace vn::test
