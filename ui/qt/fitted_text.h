// Texts kept whole in the designed geometry of the windows. The layout is fixed in pixels for the
// designed font; a stand-in font with full-width kana (Noto Sans CJK JP, Droid Sans Fallback) is
// wider, so a line that would be cut gets a smaller font or, in a tall enough label, more lines.
#pragma once

#include <QString>
#include <initializer_list>

class QLabel;
class QWidget;

namespace vn {

// Keeps every text of a window whole within the designed geometry: a label whose text would be cut
// wraps when its height holds the lines, else its font (like that of a button) shrinks a pixel at a
// time, down to kSmallestFontPixels. Run after texts change; a text that fits again gets the designed
// size back.
inline constexpr int kSmallestFontPixels = 8;
void FitTexts(QWidget& window);
// The lines of one sentence (a text split over two labels) keep one font size: the smallest any of
// them needs.
void ShareFontSize(std::initializer_list<QWidget*> lines);
// Shows `text` in the label, cut in the middle with "…" when it is wider than the label (long file
// names); the whole text is then the label's tool tip.
void SetElidedText(QLabel& label, const QString& text);
// True when the control's text is drawn whole at its present font and geometry (labels, buttons,
// check boxes, radio buttons; other widgets count as fitting).
bool TextFits(const QWidget& control);

}  // namespace vn
