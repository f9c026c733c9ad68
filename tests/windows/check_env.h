// A fresh folder under the temporary folder for each check, removed again afterwards.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/fileops.h"
#include "platform/special_folders.h"

namespace vn::check {

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& label) {
    static int counter = 0;
    path_ = TemporaryFolder() / ("vn-check-" + label + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { DeleteFolderTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace vn::check
