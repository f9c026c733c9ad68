// Windows icon and cursor files (".ico", ".cur"): reading one image of the file with its
// transparency, and writing a one-image icon or cursor.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/dib_surface.h"

namespace vn {

// What the directory and the image's own header say about one image.
struct TIconImageInfo {
  int32_t width = 0;
  int32_t height = 0;  // the picture's: half the stored bitmap height
  int32_t bits = 0;
};

// The images of an icon or cursor file, in file order. Raises EFormatError for a damaged directory.
std::vector<TIconImageInfo> ListIconImages(std::string_view bytes);

// The chooser's line for the image at index (from 0), e.g. "001 : 32 x 32  8 bpp".
std::string IconChooserLine(int32_t index, const TIconImageInfo& info);

struct TIconLoadOptions {
  bool keep_alpha = false;
  // Without keep_alpha, transparent pixels are painted with a key showing this RGB colour value.
  uint32_t key_color = 0;
  // Called with the image list when the file holds more than one image; returns the index to read.
  // None: image 0. This is how the icon chooser window plugs in.
  std::function<int32_t(const std::vector<TIconImageInfo>&)> choose;
};

struct TIconLoadResult {
  int32_t transparent = -1;  // the key as a pixel value of the picture, -1 none
  int32_t hot_x = 0;         // a cursor's hot spot
  int32_t hot_y = 0;
};

// Reads one image of an icon or cursor file (a file starting with "BM" is read as a bitmap file).
// 32-bit images (and PNG-compressed ones) become 24-bit; they carry their alpha, so their AND
// mask may be missing from the entry. With keep_alpha the transparency goes to
// the alpha plane; without, pictures of more than 1 bit per pixel get the key colour where they
// are transparent and no alpha plane. Raises EFormatError with the reason.
TIconLoadResult ReadIcon(std::string_view bytes, TDIBSurface& target, const TIconLoadOptions& options);

struct TIconSaveOptions {
  bool cursor = false;  // type 2 with the hot spot, else an icon
  int32_t hot_x = 0;
  int32_t hot_y = 0;
  int32_t transparent = -1;  // pixel value of the source that becomes transparent
  bool with_alpha = false;   // take transparency from the source's alpha plane
  bool icon32 = false;       // with alpha: write 32 bits with the alpha in the fourth byte
};

// Writes the surface as a one-image icon or cursor file (at most 256 x 256 pixels; 16- and 32-bit
// pictures are written at 24 bits unless a 32-bit icon with alpha is asked for).
std::string EncodeIcon(const TDIBSurface& source, const TIconSaveOptions& options);

}  // namespace vn
