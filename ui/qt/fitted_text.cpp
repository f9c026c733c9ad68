#include "ui/qt/fitted_text.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVariant>
#include <algorithm>
#include <map>

#include "ui/qt/form_style_window.h"

namespace vn {

namespace {

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

}  // namespace vn
