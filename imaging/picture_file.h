// Loading and saving picture files by their extension: ".tga" TGA, ".ico"/".cur" icon and cursor,
// anything else a bitmap file. The extension is compared without regard to letter case.
#pragma once

#include <cstdint>
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

struct TPictureSaveOptions {
  bool with_alpha = false;   // write the alpha plane (TGA and bitmap: 32 bits; icon: mask or icon32)
  int32_t transparent = -1;  // pixel value written as the transparent colour (TGA, icon)
  bool rle = false;          // TGA: run-length encode
  bool icon32 = false;       // icon: 32 bits with alpha
  int32_t hot_x = 0;         // cursor hot spot
  int32_t hot_y = 0;
};

// Writes the picture under a temporary name and renames it over the file.
void SavePictureFile(const std::filesystem::path& file, const TDIBSurface& source,
                     const TPictureSaveOptions& options);

}  // namespace vn
