// The gradient control as a widget: the imaging layer's TGradBox paints into a surface, which this
// widget shows.
#pragma once

#include <QImage>
#include <QWidget>

#include "imaging/grad_box.h"

namespace vn {

class TGradBoxView : public QWidget {
  Q_OBJECT

 public:
  explicit TGradBoxView(QWidget* parent = nullptr);

  // Colour and step changes repaint the control.
  TGradBox& Gradient() { return gradient_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  TGradBox gradient_;
  QImage cache_;  // the last painting, dropped on every change
};

}  // namespace vn
