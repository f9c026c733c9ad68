// TDXPaintBox: a windowless-looking control that shows one picture, at its size at the top-left,
// centred, or stretched over the whole control. It paints nothing while the picture is empty, so
// whatever lies behind it (the gradient) shows through.
#pragma once

#include <QImage>
#include <QWidget>

#include "launcher/background.h"

namespace vn {

class TDXPaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit TDXPaintBox(QWidget* parent = nullptr);

  // The picture state, with the box's current size (which tiling fills).
  TDXPaintBoxPicture& Picture();
  // Call after the picture or its flags changed.
  void PictureChanged();

  // The picture as a Qt image (null while the picture is empty).
  static QImage ToImage(const TDIBSurface& surface);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TDXPaintBoxPicture picture_;
  QImage image_;
};

}  // namespace vn
