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

// True for a directory of the oldest form (no magic, so any bytes read as one: eight zero bytes
// make an empty directory) whose entries cover none of a data file that holds bytes. The format
// allows it, but the archive's content is then most likely hidden; NoDataWarning says so.
bool DirectoryCoversNoData(const TVrFileCollection& files);
std::string NoDataWarning(const TVrFileCollection& files);

// Entry names on the command line and in JSON are UTF-8.
std::string NameToUtf8(const DataString& name);
DataString NameFromUtf8(const std::string& name);

// Extracts the named entries (all when names is empty) under out_dir; returns the exit code.
int ExtractArchive(const std::string& archive, const std::string& out_dir,
                   const std::vector<std::string>& names);

}  // namespace vn::cli
