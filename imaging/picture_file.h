// Loading picture files by their extension: ".tga" TGA, ".ico"/".cur" icon and cursor,
// anything else a bitmap file. The extension is compared without regard to letter case.
#pragma once

#include <filesystem>

#include "imaging/dib_surface.h"
#include "imaging/icon_file.h"

namespace vn {

// keep_alpha, the icon key colour and the image chooser, as for icons; the others use keep_alpha.
using TPictureLoadOptions = TIconLoadOptions;
// The transparent colour found (-1 none) and, for a cursor, its hot spot.
using TPictureLoadResult = TIconLoadResult;

// Clears target and reads the file into it. Errors name the file and the fault.
TPictureLoadResult LoadPictureFile(const std::filesystem::path& file, TDIBSurface& target,
                                   const TPictureLoadOptions& options);

}  // namespace vn
