#include "launcher/background.h"

#include "archive/vr_files.h"
#include "imaging/ruxa.h"
#include "settings/settings.h"

namespace vn {

void PictureOrigin(const TDXPaintBoxPicture& box, int32_t& x, int32_t& y) {
  x = 0;
  y = 0;
  if (box.Center) {
    // Division truncating toward zero, as the picture is placed: a larger picture is cut evenly.
    x = (box.Width - box.DIB.Width()) / 2;
    y = (box.Height - box.DIB.Height()) / 2;
  }
}

void DrawBackground(TDXPaintBoxPicture& box, const TVondInstallSet& settings, TVrFileCollection& archive) {
  if (settings.BackgroundPicture.empty()) return;
  box.DIB.Clear();
  TMemoryStream stream;
  archive.ReadEntry(stream, settings.BackgroundPicture);
  TRuxaFrameList frames(settings.PictureKey);
  frames.LoadFromStream(stream, /*FirstFrameOnly=*/true, /*ApplyTransparency=*/false, /*KeepLayers=*/false);
  TDIBSurface& picture = frames.GetFrame(0).Surface;
  // The box's picture is 8-8-8 RGB; a frame of another depth is converted as a plain copy would.
  if (picture.BitCount() != 24) picture.ConvertBitCount(24);
  const int32_t w = picture.Width(), h = picture.Height();

  switch (settings.BackgroundMode) {
    case 0:
    case 1:
      box.DIB.SetSize(w, h, 24);
      box.DIB.CopyFrom(0, 0, picture);
      box.Stretch = settings.BackgroundMode == 1;
      box.Center = settings.BackgroundMode == 0;
      break;
    case 2:
      if (w <= 0 || h <= 0 || box.Width <= 0 || box.Height <= 0) break;
      box.DIB.SetSize(box.Width, box.Height, 24);
      for (int32_t y = 0; y < box.Height; y += h) {
        for (int32_t x = 0; x < box.Width; x += w) box.DIB.CopyFrom(x, y, picture);
      }
      break;
    default:
      break;  // no picture: the gradient shows alone
  }
}

}  // namespace vn
