// The background picture of the start menu and the main window: what the paint box shows, and
// DrawBackground, which fills it from the picture entry named in the settings.
#pragma once

#include <cstdint>

#include "imaging/dib_surface.h"

namespace vn {

class TVondInstallSet;
class TVrFileCollection;

// The state of a paint box: its picture and how the window shows it. Nothing is shown while the
// picture is empty. Stretch: scaled to the whole box. Center: at its size, centred (a larger
// picture is cut equally on both sides). Neither: at its size at the top-left corner.
struct TDXPaintBoxPicture {
  TDIBSurface DIB;
  bool Center = false;
  bool Stretch = false;
  int32_t Width = 0;  // the box's size, which the tiled mode fills
  int32_t Height = 0;
};

// Where the picture's top-left corner lands in the box when it is not stretched.
void PictureOrigin(const TDXPaintBoxPicture& box, int32_t& x, int32_t& y);

// Reads the settings' BackgroundPicture (an RXA picture, decoded with PictureKey) from the archive
// and puts its first frame into the box by BackgroundMode: 0 centred, 1 stretched, 2 tiled over
// the whole box from the top-left, any other value nothing. No picture name: nothing happens.
// Errors of the archive or the decoder are raised to the caller; the box's picture is then empty.
void DrawBackground(TDXPaintBoxPicture& box, const TVondInstallSet& settings, TVrFileCollection& archive);

}  // namespace vn
