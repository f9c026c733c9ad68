// What every launcher window shares: the designed font, the application title, the error box that
// reports an error escaping a window's creation, and the conversion of data strings for display.
#pragma once

#include <QFont>
#include <QString>
#include <functional>

#include "platform/text.h"

class QWidget;

namespace vn {

// The designed font family; on systems without it a Japanese Gothic face stands in.
inline constexpr char kFormFontFamily[] = "ＭＳ Ｐゴシック";
inline constexpr int kFormFontPixels = 12;

// Registers the stand-in for the designed font once (IPAPGothic, else another installed Japanese
// Gothic face) unless the designed font itself is installed. Needs the application object.
void InstallFormFontSubstitute();
// The designed font: "ＭＳ Ｐゴシック" at 12 pixels.
QFont FormFont();

// The application title (the product's Title once a window set it), the caption of error boxes.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// Shows an error's message the way errors escaping a window's event handler or creation are shown:
// a modal box with the application title as caption and an OK button. Tests and unattended runs
// replace the reporter.
using ErrorReporter = std::function<void(QWidget* parent, const QString& message)>;
void ShowErrorBox(QWidget* parent, const QString& message);
ErrorReporter SetErrorReporter(ErrorReporter reporter);  // returns the previous one

// A data string (code page 932) for display; bytes without a character show as U+FFFD.
QString FromData(const DataString& text);

// Gives a window the fixed client size of a dialog border and centres it on its screen.
void FixClientSize(QWidget& window, int width, int height);

// Loads Qt's own Japanese texts (standard dialogs, edit menus) from the installed translations, as the
// program's own texts are Japanese. Needs the application object; false when none were found.
bool InstallQtTranslations();

}  // namespace vn
