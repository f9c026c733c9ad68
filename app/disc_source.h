// Where a disc named on the command line is read from: a folder (a mounted medium or a copy of one),
// or a disc image, whose files the engines read in place (platform/disc_files.h).
#pragma once

#include <filesystem>
#include <string>

namespace vn {

struct EntryEnvironment;

// Reads the directory of `path` when it is a disc image, so that a damaged or truncated image is
// refused at once, and refuses a file named as a disc image that is none: raises EFormatError naming
// it. Nothing for a folder or any other file.
void CheckDiscImage(const std::filesystem::path& path);

// Applies the disc arguments of a windowed run to `env`: `--disc DIR|IMAGE` makes the run the
// launcher of that disc (no argument left for the role decision); a first argument that is a disc
// image (as the temporary copy of such a run receives it) is checked and kept. Returns an error
// message for a command line it cannot use, empty when all is well; errors of the image itself are
// raised.
std::string ApplyDiscArguments(EntryEnvironment& env);

}  // namespace vn
