#include "ui/qt/grad_box_view.h"

#include <QPainter>
#include <QResizeEvent>

#include "ui/qt/paint_box_view.h"

namespace vn {

TGradBoxView::TGradBoxView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  gradient_.OnInvalidate = [this] {
    cache_ = QImage();
    update();
  };
  gradient_.SetBounds(width(), height());
}

void TGradBoxView::resizeEvent(QResizeEvent* event) {
  gradient_.SetBounds(event->size().width(), event->size().height());
  QWidget::resizeEvent(event);
}

void TGradBoxView::paintEvent(QPaintEvent*) {
  if (cache_.isNull() && width() > 0 && height() > 0) {
    TDIBSurface surface;
    surface.SetSize(width(), height(), 24);
    gradient_.Paint(surface);
    cache_ = TDXPaintBox::ToImage(surface);
  }
  QPainter painter(this);
  painter.drawImage(0, 0, cache_);
}

}  // namespace vn
