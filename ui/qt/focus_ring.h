// A clear mark of the keyboard focus: a ring in the highlight colour drawn just outside whichever
// control of a window has the focus (buttons, check boxes, the folder tree, edit boxes). The
// style's own focus marks are faint, and an item view shows its focus only by the tint of its
// selection.
#pragma once

#include <QPointer>
#include <QWidget>

namespace vn {

class TFocusRing : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 2;  // pixels, outside the control

  // Follows the focus among the controls of `window` from now on; owned by the window.
  explicit TFocusRing(QWidget& window);

  // The control the ring is drawn around, or null while no control of the window has the focus.
  QWidget* Target() const { return target_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Follow(QWidget* focused);
  void Place();

  QWidget& window_;
  QPointer<QWidget> target_;
};

}  // namespace vn
