#include "ui/qt/paint_box_view.h"

#include <QPainter>
#include <cstring>

namespace vn {

TDXPaintBox::TDXPaintBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

QImage TDXPaintBox::ToImage(const TDIBSurface& surface) {
  if (surface.Empty() || surface.BitCount() != 24) return {};
  // A 24-bit surface keeps each pixel as blue, green, red bytes: Qt's BGR888.
  QImage image(surface.Width(), surface.Height(), QImage::Format_BGR888);
  const size_t row_bytes = static_cast<size_t>(surface.Width()) * 3;
  for (int32_t y = 0; y < surface.Height(); ++y)
    std::memcpy(image.scanLine(y), surface.ScanLine(y), row_bytes);
  return image;
}

void TDXPaintBox::PictureChanged() {
  image_ = ToImage(picture_.DIB);
  update();
}

TDXPaintBoxPicture& TDXPaintBox::Picture() {
  // A hidden widget gets its resize events only when shown; its geometry is current at once.
  picture_.Width = width();
  picture_.Height = height();
  return picture_;
}

void TDXPaintBox::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  QPainter painter(this);
  // On a high-density screen (or stretched) the picture is scaled: smoothly, not pixel by pixel.
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  if (picture_.Stretch) {
    painter.drawImage(rect(), image_);
    return;
  }
  int32_t x, y;
  PictureOrigin(Picture(), x, y);
  painter.drawImage(x, y, image_);
}

}  // namespace vn
