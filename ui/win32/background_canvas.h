// The background of the start menu and the main window, composed into a DIB section once and copied
// to the window on every paint: the gradient (main window), the paint box's picture as its mode says
// (at its size, centred, or stretched), and the footer band.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "imaging/grad_box.h"
#include "launcher/background.h"

namespace vn {

// A label drawn on the background: right-aligned white text on an opaque black band.
struct TFooterBand {
  std::wstring text;
  RECT bounds{};
};

// The layout line of a paint box: where its picture lands ("PaintBox left top width height"), or
// "PaintBox 0 0 0 0 hidden" while it is empty.
std::string PaintBoxLayout(const TDXPaintBoxPicture& picture);

class TBackgroundCanvas {
 public:
  TBackgroundCanvas() = default;
  ~TBackgroundCanvas();
  TBackgroundCanvas(const TBackgroundCanvas&) = delete;
  TBackgroundCanvas& operator=(const TBackgroundCanvas&) = delete;

  // Composes a width x height picture: the face colour, or the gradient when there is one; then
  // the paint box's picture (nothing while it is empty); then the footer band when given.
  void Compose(int width, int height, const TGradBox* gradient, const TDXPaintBoxPicture& picture,
               const std::optional<TFooterBand>& footer);
  // Copies the composed picture to dc at (0, 0); the face colour where there is none.
  void Paint(HDC dc, const RECT& client) const;

 private:
  HBITMAP bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace vn
