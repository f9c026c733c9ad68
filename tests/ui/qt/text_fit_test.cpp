// Every text of the start menu, the main window and each wizard page drawn whole with Noto Sans CJK JP
// as the only Japanese font (ctest points FONTCONFIG_FILE at a configuration with no other): its kana
// and punctuation are full width, so the long lines are wider than with the designed font. ctest runs
// it in Japanese and again with VNSETUP_LANG=en, whose texts are often longer. Screenshots of each
// window and page go to screenshots/noto_*.png (noto_en_*.png in English).
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QtTest>

#include "messages/messages.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "settings/settings.h"
#include "tests/support/qt_test_main.h"
#include "tests/support/test_env.h"
#include "ui/qt/fitted_text.h"
#include "ui/qt/form_style_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/start_window.h"
#include "ui/qt/wizard_window.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

QString DrawnCaption(QString text) {
  return text.replace("&&", "\x01").remove('&').replace('\x01', '&');
}

// The visible controls of `window` whose text is drawn cut, each as "name: text".
QStringList CutTexts(QWidget& window) {
  QStringList cut;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!w->isVisible() || w->window() != &window) continue;
    bool whole = true;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w)) {
      text = label->text();
      whole = label->wordWrap()
                  ? label->heightForWidth(label->width()) <= label->height()
                  : QFontMetrics(label->font()).horizontalAdvance(text) <= label->contentsRect().width();
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
      text = button->text();
      whole = QFontMetrics(button->font()).horizontalAdvance(DrawnCaption(text)) + 4 <= button->width();
    } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
      text = static_cast<QAbstractButton*>(w)->text();
      whole = w->sizeHint().width() <= w->width();
    }
    if (!whole) cut << w->objectName() + ": " + text;
  }
  return cut;
}

void SaveScreenshot(QWidget& window, const QString& name) {
  const QString folder = QStringLiteral(VN_SCREENSHOT_DIR);
  QDir().mkpath(folder);
  const QString language = CurrentLanguage() == Language::kEnglish ? "en_" : "";
  QVERIFY(window.grab().save(folder + "/noto_" + language + name + ".png"));
}

void ExpectWhole(QWidget& window, const QString& shot) {
  SaveScreenshot(window, shot);
  const QStringList cut = CutTexts(window);
  QVERIFY2(cut.isEmpty(), qPrintable(shot + ": " + cut.join(" | ")));
}

}  // namespace

class TextFitTest : public QObject {
  Q_OBJECT

  TVondInstallSet settings_;

  void NameControls(QWidget& window) {
    // The fields carry the designed names; give the widgets the same for the messages.
    for (QLabel* label : window.findChildren<QLabel*>()) {
      if (label->objectName().isEmpty()) label->setObjectName(label->text().left(8));
    }
  }

 private slots:
  void init() {
    SetErrorReporter([](QWidget*, const QString& message) { QFAIL(qPrintable(message)); });
    settings_ = TVondInstallSet();
    settings_.Title = Utf8ToCp932("星降る湖");
    settings_.MediaName = Utf8ToCp932("ディスク");
    settings_.FooterText = Utf8ToCp932("(C) 2026 ソフトハウス湖月 All rights reserved.");
    settings_.DefaultFolder = Utf8ToCp932("<ProgramFiles>\\ソフトハウス湖月\\星降る湖");
    settings_.RegistryKey = DataString("VnTextFitTest\\Game");
    settings_.HelloText = Utf8ToCp932("「星降る湖」のセットアップへようこそ。");
    settings_.LicenseText = Utf8ToCp932("使用許諾契約書");
    settings_.OfferRuntimes = true;
    settings_.SetDiscCount(2);
    settings_.ProgSize = settings_.DataSize = settings_.SoundSize = settings_.MovieSize = 123456789;
    settings_.DiscProgSize = settings_.DiscDataSize = settings_.DiscSoundSize =
        settings_.DiscMovieSize = {1, 1};
    fs::create_directories(GetSpecialFolder(kCsidlProgramFiles));
  }

  void notoIsTheOnlyJapaneseFont() {
    QCOMPARE(QFontInfo(FormFont()).family(), QString("Noto Sans CJK JP"));
    for (const QString& family : QFontDatabase::families(QFontDatabase::Japanese))
      QVERIFY2(family.startsWith("Noto"), qPrintable(family));
  }

  void startMenu() {
    const fs::path disc = test::MakeTempDir("disc");
    test::WriteFile(disc / "directx" / "dxsetup.exe", "#!/bin/sh\n");
    test::WriteFile(disc / "winmedia" / "mp71.exe", "#!/bin/sh\n");
    TFormStart form(settings_, nullptr, disc);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.btnWinMedia->isVisible());
    ExpectWhole(form, "start_menu");
    QCOMPARE(form.btnWinMedia->geometry(), QRect(28, 136, 213, 29));  // the designed geometry stays
  }

  void mainWindow() {
    TFormMain form(settings_, nullptr);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ExpectWhole(form, "main_window");
  }

  void wizardPages() {
    TFormType form(settings_, nullptr, test::MakeTempDir("source"));
    form.DialogHandler = [](DialogKind, const std::string&, unsigned) { return kButtonYes; };
    form.InstallProcedure = [&](TFormType& wizard) {
      wizard.SetText(
          WizardControl::LabelCopy,
          Tr(Msg::kCopyingFile, {"星降る湖のほとりで出会った二人の物語・第一章・始まりの朝の出来事.ogg"}));
      wizard.SetProgressMax(100);
      wizard.SetProgressPosition(40);
      NameControls(wizard);
      ExpectWhole(wizard, "wizard_copy");
      wizard.ShowPage("exit");
    };
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    NameControls(form);
    for (const char* page : {"Hello", "License", "Media", "file", "seldir", "confirm"}) {
      QCOMPARE(form.Notebook->currentWidget()->objectName(), QString(page));
      if (QString(page) == "License") QTest::mouseClick(form.CheckLicense, Qt::LeftButton);
      if (QString(page) == "file") {
        for (QCheckBox* box : {form.CheckData, form.CheckSound, form.CheckMovie}) box->click();
      }
      ExpectWhole(form, QString("wizard_") + page);
      QTest::mouseClick(form.btnNext, Qt::LeftButton);
    }
    QCOMPARE(form.Notebook->currentWidget()->objectName(), QString("exit"));
    ExpectWhole(form, "wizard_exit");
    form.done(0);

    settings_.Installed = true;
    const fs::path installed = test::MakeTempDir("installed");
    test::WriteFile(installed / "save.dat", "save");  // the save data is offered for deletion
    TFormType uninstall(settings_, nullptr, installed);
    uninstall.UninstallProcedure = [](TFormType& wizard) {
      wizard.SetText(WizardControl::LabelDelTitle, Tr(Msg::kDeletingTitle, {"星降る湖"}));
      wizard.SetText(WizardControl::LabelDel, Tr(Msg::kDeletingFilesProgress));
      wizard.ProcessMessages();
      ExpectWhole(wizard, "wizard_delete");
      wizard.SetText(WizardControl::LabelExit, Tr(Msg::kUninstallCompleted));
      wizard.ShowPage("exit");
    };
    uninstall.show();
    QVERIFY(QTest::qWaitForWindowExposed(&uninstall));
    QVERIFY(uninstall.CheckDelSave->isVisible());
    ExpectWhole(uninstall, "wizard_uninst");
    QTest::mouseClick(uninstall.btnNext, Qt::LeftButton);
    ExpectWhole(uninstall, "wizard_uninstalled");
  }
};

}  // namespace vn

VN_QTEST_MAIN(vn::TextFitTest, {
  int words = 1;
  vn::ChooseLanguage(words, argv);  // VNSETUP_LANG, else Japanese (ctest's LANG asks for none)
  vn::InstallFormFontSubstitute();
  vn::InstallQtTranslations();
})

#include "text_fit_test.moc"
