#include "ui/qt/form_style_window.h"

#include "messages/messages.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

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

}  // namespace

bool InstallQtTranslations() {
  // Qt's own texts are English as written: only Japanese needs its translations.
  if (CurrentLanguage() != Language::kJapanese) return true;
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
