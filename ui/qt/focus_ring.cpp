#include "ui/qt/focus_ring.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QRegion>

namespace vn {

TFocusRing::TFocusRing(QWidget& window) : QWidget(&window), window_(window) {
  setObjectName("FocusRing");
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide();
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { Follow(now); });
  Follow(QApplication::focusWidget());
}

void TFocusRing::Follow(QWidget* focused) {
  // A focus that leaves for another window (a message box) keeps the ring where it was.
  if (focused && focused->window() != &window_) return;
  if (target_) target_->removeEventFilter(this);
  target_ = focused == &window_ ? nullptr : focused;
  if (target_) target_->installEventFilter(this);
  Place();
}

bool TFocusRing::eventFilter(QObject* watched, QEvent* event) {
  if (watched == target_) {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
        Place();
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFocusRing::Place() {
  if (!target_ || !target_->isVisibleTo(&window_)) {
    hide();
    return;
  }
  const QRect control(target_->mapTo(&window_, QPoint(0, 0)), target_->size());
  const QRect ring = control.adjusted(-kWidth, -kWidth, kWidth, kWidth);
  setGeometry(ring);
  // Only the ring itself covers what lies below; the control inside stays as it draws itself.
  setMask(QRegion(rect()) - QRegion(rect().adjusted(kWidth, kWidth, -kWidth, -kWidth)));
  raise();
  show();
  update();
}

void TFocusRing::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
}

}  // namespace vn
