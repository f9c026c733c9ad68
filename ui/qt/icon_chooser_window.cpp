#include "ui/qt/icon_chooser_window.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include "imaging/dib_surface.h"
#include "messages/messages.h"
#include "ui/qt/focus_ring.h"

namespace vn {

namespace {

// The picture with its transparency, as the picture box shows it.
QImage ToImage(TDIBSurface& picture) {
  picture.ConvertBitCount(24);
  const TDIBSurface* alpha = picture.AlphaPlane();
  QImage image(picture.Width(), picture.Height(), QImage::Format_ARGB32);
  for (int32_t y = 0; y < picture.Height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int32_t x = 0; x < picture.Width(); ++x) {
      const uint32_t c = picture.Pixels(x, y);  // 0x00RRGGBB
      line[x] = (alpha ? alpha->Pixels(x, y) << 24 : 0xFF000000u) | c;
    }
  }
  return image;
}

}  // namespace

TIconChooserWindow::TIconChooserWindow(std::string bytes, const std::vector<TIconImageInfo>& images,
                                       QWidget* parent)
    : QDialog(parent), bytes_(std::move(bytes)) {
  // A fixed dialog border without border icons.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint);
  setWindowTitle(QString::fromUtf8(Tr(Msg::kIconChooserCaption)));

  List = new QListWidget(this);
  List->setGeometry(8, 8, 154, 150);
  for (size_t i = 0; i < images.size(); ++i) {
    List->addItem(QString::fromStdString(IconChooserLine(static_cast<int32_t>(i), images[i])));
  }
  Image = new QLabel(this);
  Image->setObjectName(QStringLiteral("Image"));
  Image->setGeometry(180, 16, 100, 100);
  Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image->setWordWrap(true);
  OK = new QPushButton(QStringLiteral("OK"), this);
  OK->setGeometry(200, 140, 75, 25);
  OK->setDefault(true);
  connect(OK, &QPushButton::clicked, this, &QDialog::accept);
  new TFocusRing(*this);
  connect(List, &QListWidget::currentRowChanged, this, &TIconChooserWindow::ShowImage);

  setFixedSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - kClientWidth) / 2, area.y() + (area.height() - kClientHeight) / 2);
  }
  if (List->count() > 0) List->setCurrentRow(0);
}

int32_t TIconChooserWindow::SelectedIndex() const {
  return List->currentRow() < 0 ? 0 : List->currentRow();
}

void TIconChooserWindow::ShowImage(int index) {
  if (index < 0) {
    Image->clear();
    return;
  }
  TIconLoadOptions options;
  options.keep_alpha = true;
  options.choose = [index](const std::vector<TIconImageInfo>&) { return index; };
  TDIBSurface picture;
  try {
    ReadIcon(bytes_, picture, options);
    Image->setPixmap(QPixmap::fromImage(ToImage(picture)));
  } catch (const std::exception& e) {
    // A damaged image shows why instead of a picture; choosing it reports the error again.
    Image->setText(QString::fromUtf8(e.what()));
  }
}

std::function<int32_t(const std::vector<TIconImageInfo>&)> IconChooser(std::string bytes, QWidget* parent) {
  return [bytes = std::move(bytes), parent](const std::vector<TIconImageInfo>& images) {
    TIconChooserWindow window(bytes, images, parent);
    window.exec();
    return window.SelectedIndex();
  };
}

}  // namespace vn
