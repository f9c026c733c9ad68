// Pieces the archive commands of vnkit share.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/vr_files.h"
#include "platform/text.h"

namespace vn::cli {

// Opens an existing archive (a missing file is an error here, not a folder of loose files).
void OpenArchiveForTool(TVrFileCollection& files, const std::string& archive);

// Entry names on the command line and in JSON are UTF-8.
std::string NameToUtf8(const DataString& name);
DataString NameFromUtf8(const std::string& name);

// Extracts the named entries (all when names is empty) under out_dir; returns the exit code.
int ExtractArchive(const std::string& archive, const std::string& out_dir,
                   const std::vector<std::string>& names);

}  // namespace vn::cli
