#include "ui/qt/form_style_window.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTranslator>
#include <QWidget>
#include <algorithm>
#include <map>

namespace vn {

namespace {

QString& TitleStorage() {
  static QString title;
  return title;
}

ErrorReporter& ReporterStorage() {
  static ErrorReporter reporter = [](QWidget* parent, const QString& message) {
    QMessageBox::critical(parent, ApplicationTitle(), message, QMessageBox::Ok);
  };
  return reporter;
}

// Widget properties: the font size a control was designed with, and that a label shows its text
// elided (its font stays as designed).
constexpr char kDesignedPixels[] = "vnDesignedPixels";
constexpr char kElided[] = "vnElided";
constexpr char kFontGroup[] = "vnFontGroup";

// A caption as drawn: "&&" is an ampersand, a single "&" marks the mnemonic and takes no room.
QString DrawnCaption(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return text;
}

bool IsFittedControl(const QWidget& w) {
  return qobject_cast<const QLabel*>(&w) || qobject_cast<const QPushButton*>(&w) ||
         qobject_cast<const QCheckBox*>(&w) || qobject_cast<const QRadioButton*>(&w);
}

void SetPixelSize(QWidget& w, int pixels) {
  if (w.font().pixelSize() == pixels) return;
  QFont font = w.font();
  font.setPixelSize(pixels);
  w.setFont(font);
}

void SetWordWrap(QWidget& w, bool wrap) {
  if (auto* label = qobject_cast<QLabel*>(&w); label && label->wordWrap() != wrap) label->setWordWrap(wrap);
}

void FitText(QWidget& w) {
  QVariant designed = w.property(kDesignedPixels);
  if (!designed.isValid()) {
    designed = w.font().pixelSize() > 0 ? w.font().pixelSize() : kFormFontPixels;
    w.setProperty(kDesignedPixels, designed);
  }
  const int pixels = designed.toInt();
  const bool label = qobject_cast<QLabel*>(&w) != nullptr;
  for (int size = pixels; size >= kSmallestFontPixels; --size) {
    SetPixelSize(w, size);
    SetWordWrap(w, false);
    if (TextFits(w)) return;
    if (label) {  // more lines, where the height holds them, before a smaller font
      SetWordWrap(w, true);
      if (TextFits(w)) return;
    }
  }
}

}  // namespace

bool TextFits(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    if (label->text().isEmpty()) return true;
    if (label->wordWrap()) return label->heightForWidth(label->width()) <= label->height();
    const int room = label->contentsRect().width() - 2 * label->margin();
    return QFontMetrics(label->font()).horizontalAdvance(label->text()) <= room;
  }
  if (const auto* button = qobject_cast<const QPushButton*>(&control)) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->isDefault()) option.features |= QStyleOptionButton::DefaultButton;
    if (button->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
    const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    // Two pixels of air on either side keep the letters off the frame.
    return QFontMetrics(button->font()).horizontalAdvance(DrawnCaption(button->text())) + 4 <= room.width();
  }
  if (qobject_cast<const QCheckBox*>(&control) || qobject_cast<const QRadioButton*>(&control)) {
    return control.sizeHint().width() <= control.width();
  }
  return true;
}

void FitTexts(QWidget& window) {
  std::map<QString, int> group_pixels;  // the smallest size each group of lines needed
  for (QWidget* w : window.findChildren<QWidget*>()) {
    // Message boxes and choosers shown in front of the window are windows of their own.
    if (w->window() != &window || !IsFittedControl(*w) || w->property(kElided).toBool()) continue;
    FitText(*w);
    const QString group = w->property(kFontGroup).toString();
    if (group.isEmpty()) continue;
    auto [it, added] = group_pixels.emplace(group, w->font().pixelSize());
    if (!added) it->second = std::min(it->second, w->font().pixelSize());
  }
  for (QWidget* w : window.findChildren<QWidget*>()) {
    const auto found = group_pixels.find(w->property(kFontGroup).toString());
    if (found != group_pixels.end() && w->font().pixelSize() > found->second) SetPixelSize(*w, found->second);
  }
}

void ShareFontSize(std::initializer_list<QWidget*> lines) {
  const QString group = QString::number(reinterpret_cast<quintptr>(*lines.begin()), 16);
  for (QWidget* line : lines) line->setProperty(kFontGroup, group);
}

void SetElidedText(QLabel& label, const QString& text) {
  label.setProperty(kElided, true);
  const int room = label.contentsRect().width() - 2 * label.margin();
  const QString shown = QFontMetrics(label.font()).elidedText(text, Qt::ElideMiddle, room);
  label.setText(shown);
  label.setToolTip(shown == text ? QString() : text);
}

bool InstallQtTranslations() {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return false;
  }
  return true;
}

void InstallFormFontSubstitute() {
  const QString family = QString::fromUtf8(kFormFontFamily);
  const QStringList installed = QFontDatabase::families();
  if (installed.contains(family)) return;
  // Proportional Gothic faces first, as the designed font is one.
  for (const char* candidate :
       {"IPAPGothic", "IPA Pゴシック", "Noto Sans CJK JP", "IPAGothic", "VL PGothic", "TakaoPGothic"}) {
    if (installed.contains(QString::fromUtf8(candidate))) {
      QFont::insertSubstitution(family, QString::fromUtf8(candidate));
      return;
    }
  }
}

QFont FormFont() {
  QFont font(QString::fromUtf8(kFormFontFamily));
  font.setPixelSize(kFormFontPixels);
  return font;
}

QString ApplicationTitle() {
  return TitleStorage();
}

void SetApplicationTitle(const QString& title) {
  TitleStorage() = title;
}

void ShowErrorBox(QWidget* parent, const QString& message) {
  ReporterStorage()(parent, message);
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  ErrorReporter previous = std::move(ReporterStorage());
  ReporterStorage() = std::move(reporter);
  return previous;
}

QString FromData(const DataString& text) {
  return QString::fromStdString(Cp932ToUtf8Lossy(text));
}

void FixClientSize(QWidget& window, int width, int height) {
  window.setFixedSize(width, height);
  if (const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    window.move(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2);
  }
}

}  // namespace vn
