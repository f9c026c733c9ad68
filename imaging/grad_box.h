// TGradBox: an area painted as a colour gradient of solid bands, drawn into a surface. The window
// layer wraps it in a widget; here it is plain state plus painting.
#pragma once

#include <cstdint>
#include <functional>

#include "imaging/dib_surface.h"

namespace vn {

enum class TGradDirection : uint8_t { gdHorizontal, gdVertical, gdHorzCenter };

class TGradBox {
 public:
  // Colours are RGB colour values with red in the low byte.
  uint32_t StartColor() const { return start_color_; }
  uint32_t EndColor() const { return end_color_; }
  uint8_t GradStep() const { return grad_step_; }
  TGradDirection Direction() const { return direction_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }

  // Each setter asks for a repaint and raises OnChange; Direction only when it changes.
  void SetStartColor(uint32_t color);
  void SetEndColor(uint32_t color);
  void SetGradStep(uint8_t step);
  void SetDirection(TGradDirection direction);
  void SetBounds(int32_t width, int32_t height);

  std::function<void(TGradBox&)> OnChange;
  // Called when the control needs painting again (the widget connects its update here).
  std::function<void()> OnInvalidate;

  // Paints the control's Width x Height area into target from (0, 0), cut at both edges. The
  // colours are first taken to the nearest colour the target can show.
  void Paint(TDIBSurface& target) const;

 private:
  void Changed();

  uint32_t start_color_ = 0xFFFFFF;
  uint32_t end_color_ = 0;
  uint8_t grad_step_ = 128;
  TGradDirection direction_ = TGradDirection::gdVertical;
  int32_t width_ = 128;
  int32_t height_ = 128;
};

}  // namespace vn
