// The icon chooser on Qt's offscreen platform, over a three-image icon built here. The screenshot
// goes to screenshots/ in the build tree.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include "imaging/dib_format.h"
#include "imaging/icon_file.h"
#include "tests/support/qt_test_main.h"
#include "ui/qt/icon_chooser_window.h"

namespace vn {
namespace {

// One picture per image: 16 x 16 at 8 bits, 32 x 32 at 24 bits, 48 x 48 at 32 bits with alpha.
std::string OneImageIcon(int side) {
  TDIBSurface s;
  TIconSaveOptions options;
  if (side == 16) {
    s.Palette()[1] = {0, 0, 255, 0};
    s.Palette()[2] = {0, 255, 0, 0};
    s.SetSize(16, 16, 8);
    s.FillRect({0, 0, 16, 16}, 1);
    s.FillRect({0, 8, 16, 16}, 2);
  } else {
    s.SetSize(side, side, 24);
    s.FillRect(s.BoundsRect(), side == 32 ? 0x0000FF : 0xFFC000);
    if (side == 48) {
      s.EnsureAlphaPlane();
      s.AlphaPlane()->FillRect(s.BoundsRect(), 255);
      s.AlphaPlane()->FillRect({0, 0, 48, 12}, 0);
      options.with_alpha = options.icon32 = true;
    }
  }
  return EncodeIcon(s, options);
}

// The one-image files joined under one directory.
std::string ThreeImageIcon() {
  std::vector<std::string> files = {OneImageIcon(16), OneImageIcon(32), OneImageIcon(48)};
  std::string head, images;
  Append(head, uint16_t{0});
  Append(head, uint16_t{1});
  Append(head, uint16_t(files.size()));
  uint32_t offset = 6 + 16 * uint32_t(files.size());
  for (const std::string& f : files) {
    head += f.substr(6, 12);  // the entry up to its offset
    Append(head, offset);
    images += f.substr(22);
    offset += uint32_t(f.size() - 22);
  }
  return head + images;
}

QRgb Shown(const TIconChooserWindow& w, int x, int y) {
  return w.Image->pixmap().toImage().pixel(x, y);
}

}  // namespace

class IconChooserTest : public QObject {
  Q_OBJECT

 private slots:
  void WindowLinesAndSelection() {
    const std::string file = ThreeImageIcon();
    TIconChooserWindow w(file, ListIconImages(file));
    QCOMPARE(w.size(), QSize(290, 180));
    QCOMPARE(w.windowTitle(), QStringLiteral("Select One from Multiple Icons"));
    QVERIFY(!(w.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(w.pos(), area.topLeft() + QPoint((area.width() - 290) / 2, (area.height() - 180) / 2));
    QCOMPARE(w.List->geometry(), QRect(8, 8, 154, 150));
    QCOMPARE(w.Image->geometry(), QRect(180, 16, 100, 100));
    QCOMPARE(w.Image->objectName(), QStringLiteral("Image"));
    QCOMPARE(w.OK->pos(), QPoint(200, 140));
    QCOMPARE(w.OK->text(), QStringLiteral("OK"));

    QCOMPARE(w.List->count(), 3);
    QCOMPARE(w.List->item(0)->text(), QStringLiteral("001 : 16 x 16  8 bpp"));
    QCOMPARE(w.List->item(1)->text(), QStringLiteral("002 : 32 x 32  24 bpp"));
    QCOMPARE(w.List->item(2)->text(), QStringLiteral("003 : 48 x 48  32 bpp"));

    // The first image shows on opening: red above green, as its palette says.
    QCOMPARE(w.List->currentRow(), 0);
    QCOMPARE(w.Image->pixmap().size(), QSize(16, 16));
    QCOMPARE(Shown(w, 3, 2), qRgb(255, 0, 0));
    QCOMPARE(Shown(w, 3, 12), qRgb(0, 255, 0));

    w.List->setCurrentRow(2);
    QCOMPARE(w.SelectedIndex(), 2);
    QCOMPARE(w.Image->pixmap().size(), QSize(48, 48));
    QCOMPARE(qAlpha(Shown(w, 5, 5)), 0);
    QCOMPARE(Shown(w, 5, 30), qRgb(0xFF, 0xC0, 0x00));

    w.List->setCurrentRow(1);
    QCOMPARE(Shown(w, 31, 31), qRgb(0, 0, 0xFF));
    w.show();
    const QString folder = QStringLiteral(VN_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    QVERIFY(w.grab().save(folder + "/icon_chooser.png"));
  }

  // As the icon reader runs it: the dialog opens, the user picks the third line and presses OK.
  void ChooserPicksTheImageTheReaderLoads() {
    const std::string file = ThreeImageIcon();
    TIconLoadOptions options;
    options.keep_alpha = true;
    options.choose = IconChooser(file);
    QTimer::singleShot(0, [] {
      auto* w = qobject_cast<TIconChooserWindow*>(QApplication::activeModalWidget());
      QVERIFY(w);
      w->List->setCurrentRow(2);
      QTest::mouseClick(w->OK, Qt::LeftButton);
    });
    TDIBSurface s;
    ReadIcon(file, s, options);
    QCOMPARE(s.Width(), 48);
    QCOMPARE(s.Pixels(5, 30), 0xFFC000u);
  }
};

}  // namespace vn

VN_QTEST_MAIN(vn::IconChooserTest, (void)0)
#include "icon_chooser_window_test.moc"
