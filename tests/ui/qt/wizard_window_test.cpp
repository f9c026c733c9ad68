// The wizard window on Qt's offscreen platform: layout, pages, buttons, questions, the folder list,
// and its place in front of the main window. Each case saves screenshots under screenshots/.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>
#include <csignal>
#include <cstdlib>
#include <map>
#include <set>

#include "archive/vr_files.h"
#include "launcher/shared_archive.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/volumes.h"
#include "settings/settings.h"
#include "tests/installer/installer_fixture.h"
#include "tests/support/qt_test_main.h"
#include "tests/support/test_env.h"
#include "ui/qt/focus_ring.h"
#include "ui/qt/form_style_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/wizard_window.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

void SaveScreenshot(QWidget& window, const QString& name) {
  const QString folder = QStringLiteral(VN_SCREENSHOT_DIR);
  QDir().mkpath(folder);
  QVERIFY(window.grab().save(folder + "/" + name + ".png"));
}

}  // namespace

class WizardWindowTest : public QObject {
  Q_OBJECT

 private:
  TVondInstallSet settings_;
  QStringList errors_, questions_;
  QList<DialogButton> answers_;
  int key_counter_ = 0;

  // The wizard with scripted message dialogs, shown.
  std::unique_ptr<TFormType> Open(const fs::path& source = {}) {
    auto form = std::make_unique<TFormType>(settings_, nullptr, source);
    form->DialogHandler = [this](DialogKind, const std::string& text, unsigned) {
      questions_ << QString::fromStdString(text);
      return answers_.isEmpty() ? kButtonNo : answers_.takeFirst();
    };
    form->show();
    [&] { QVERIFY(QTest::qWaitForWindowExposed(form.get())); }();
    return form;
  }

  QString Page(TFormType& form) { return form.Notebook->currentWidget()->objectName(); }

  // From the media page (all discs) to the end of the copy, with the data chosen, into `dest`.
  void InstallBothDiscs(TFormType& form, const fs::path& dest) {
    answers_ << kButtonOK;                            // disc 2 is "in the drive"
    QTest::mouseClick(form.btnNext, Qt::LeftButton);  // Media (all discs) -> file
    QTest::mouseClick(form.CheckData, Qt::LeftButton);
    QTest::mouseClick(form.btnNext, Qt::LeftButton);  // -> seldir
    form.EditDir->setText(QString::fromStdString(PathToUtf8(dest)));
    QTest::mouseClick(form.btnNext, Qt::LeftButton);  // -> confirm
    QTest::mouseClick(form.btnNext, Qt::LeftButton);  // -> copy, both discs
  }

 private slots:
  void init() {
    errors_.clear();
    questions_.clear();
    answers_.clear();
    SetErrorReporter([this](QWidget*, const QString& message) { errors_ << message; });
    settings_ = TVondInstallSet();
    settings_.Title = Utf8ToCp932("夢の続き");
    settings_.MediaName = Utf8ToCp932("ディスク");
    settings_.DefaultFolder = DataString("<ProgramFiles>\\Yume");
    settings_.RegistryKey = DataString("VnWizardWindowTest\\Game" + std::to_string(++key_counter_));
    settings_.SetDiscCount(2);
    settings_.DiscProgSize = {3 * 1048576, 0};
    settings_.DiscDataSize = {0, 200 * 1048576};
    settings_.DiscSoundSize = {0, 50 * 1048576};
    settings_.ProgSize = 3 * 1048576;
    settings_.DataSize = 200 * 1048576;
    settings_.SoundSize = 50 * 1048576;
    fs::create_directories(GetSpecialFolder(kCsidlProgramFiles));
  }

  void layoutAndInstallPages() {
    settings_.HelloText = Utf8ToCp932("「夢の続き」のセットアップへようこそ。\r\n次へを押してください。");
    settings_.LicenseText = Utf8ToCp932("使用許諾契約書\r\n第1条 本ソフトウェアの著作権は…");
    auto form = Open();
    QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
    QCOMPARE(form->size(), QSize(497, 336));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(form->Notebook->geometry(), QRect(0, 0, 497, 293));
    QCOMPARE(form->Notebook->count(), 10);
    QCOMPARE(form->btnBack->geometry(), QRect(244, 300, 75, 25));
    QCOMPARE(form->btnNext->geometry(), QRect(324, 300, 75, 25));
    QCOMPARE(form->btnAbort->geometry(), QRect(416, 300, 75, 25));
    QVERIFY(form->btnNext->isDefault());
    QCOMPARE(form->btnAbort->text(), QString("中断(&A)"));
    QCOMPARE(form->font().pixelSize(), 12);
    QCOMPARE(form->Directory->height(), 161);
    // The file line ends where the bar below it ends.
    QCOMPARE(form->LabelCopy->geometry().right(), form->Progress->geometry().right());

    QCOMPARE(Page(*form), QString("Hello"));
    QCOMPARE(form->windowTitle(), QString("ようこそ"));
    QVERIFY(!form->btnBack->isEnabled());
    QVERIFY(form->EditHello->toPlainText().startsWith("「夢の続き」"));
    SaveScreenshot(*form, "wizard_hello");

    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QCOMPARE(Page(*form), QString("License"));
    QVERIFY(!form->btnNext->isEnabled());
    QTest::mouseClick(form->CheckLicense, Qt::LeftButton);
    QVERIFY(form->btnNext->isEnabled());
    SaveScreenshot(*form, "wizard_license");

    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QCOMPARE(Page(*form), QString("Media"));
    QVERIFY(form->RadioDiskAll->isChecked());
    SaveScreenshot(*form, "wizard_media");

    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QCOMPARE(Page(*form), QString("file"));
    QVERIFY(form->CheckProg->isChecked() && !form->CheckProg->isEnabled());
    QVERIFY(form->CheckData->isVisible() && form->CheckSound->isVisible() && !form->CheckMovie->isVisible());
    QTest::mouseClick(form->CheckData, Qt::LeftButton);
    QCOMPARE(form->LabelSize->text(), QString("最低 203.00 MBのディスクの空き容量が必要です"));
    QTest::mouseClick(form->CheckProg, Qt::LeftButton);  // disabled: stays checked
    QVERIFY(form->CheckProg->isChecked());
    SaveScreenshot(*form, "wizard_file");

    // Back to the media page, this disc only: its data box disappears.
    QTest::mouseClick(form->btnBack, Qt::LeftButton);
    QTest::mouseClick(form->RadioDiskThis, Qt::LeftButton);
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QVERIFY(!form->CheckData->isVisible());
    QCOMPARE(form->LabelSize->text(), QString("最低 3.00 MBのディスクの空き容量が必要です"));

    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QCOMPARE(Page(*form), QString("seldir"));
    const QString games = QString::fromStdString(PathToUtf8(GetSpecialFolder(kCsidlProgramFiles)));
    QCOMPARE(form->EditDir->text(), games + "/Yume");
    QCOMPARE(form->Drive->currentText(),
             QString::fromStdString(PathToUtf8(MountPointOf(GetSpecialFolder(kCsidlProgramFiles)))));
    // Picking another folder in the list keeps the product's sub-folder.
    const fs::path other = test::MakeTempDir("picked");
    auto* model = static_cast<QFileSystemModel*>(form->Directory->model());
    const QModelIndex picked = model->index(QString::fromStdString(PathToUtf8(other)));
    QVERIFY(picked.isValid());
    form->Directory->setCurrentIndex(picked);
    QCOMPARE(form->EditDir->text(), QString::fromStdString(PathToUtf8(other)) + "/Yume");
    form->Directory->setCurrentIndex(model->index(games));
    QTest::qWait(300);  // the folder model fills its rows in the background
    SaveScreenshot(*form, "wizard_seldir");

    form->EditDir->clear();
    QTest::keyClicks(form->EditDir, games + "/Yume");
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QCOMPARE(Page(*form), QString("confirm"));
    QVERIFY(form->LabelBack->isVisible() && form->LabelBack2->isVisible());
    SaveScreenshot(*form, "wizard_confirm");

    // Abort asks; No stays, Yes closes with Cancel.
    QTest::mouseClick(form->btnAbort, Qt::LeftButton);
    QCOMPARE(questions_.last(), QString("インストールを中断しますか？"));
    QVERIFY(form->isVisible());
    QCOMPARE(Page(*form), QString("confirm"));
    answers_ << kButtonYes;
    QTest::mouseClick(form->btnAbort, Qt::LeftButton);
    QVERIFY(!form->isVisible());
    QCOMPARE(form->result(), int(mrCancel));
    QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
  }

  // The keyboard focus is ringed in the highlight colour, just outside the control: a check box, the
  // folder tree, a button; the ring follows Tab and leaves the control as it draws itself.
  void focusRing() {
    auto form = Open();
    auto* ring = form->findChild<TFocusRing*>();
    QVERIFY(ring);
    const QColor highlight = form->palette().color(QPalette::Active, QPalette::Highlight);
    const auto check = [&](QWidget* control, const QString& shot) {
      QCOMPARE(ring->Target(), control);
      const QRect area(control->mapTo(form.get(), QPoint(0, 0)), control->size());
      QCOMPARE(ring->geometry(), area.adjusted(-2, -2, 2, 2));
      QVERIFY(ring->isVisible());
      const QImage image = form->grab().toImage();
      for (const QPoint& p : {area.topLeft() - QPoint(1, 1), area.bottomRight() + QPoint(2, 2),
                              QPoint(area.center().x(), area.top() - 2)}) {
        QCOMPARE(image.pixelColor(p), highlight);
      }
      QVERIFY(image.pixelColor(area.center()) != highlight || control == form->btnNext);
      SaveScreenshot(*form, shot);
    };
    QTest::mouseClick(form->btnNext, Qt::LeftButton);  // file
    form->CheckSound->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form->CheckSound, Qt::Key_Backtab);  // the data box, above it
    check(form->CheckData, "wizard_focus_check_box");
    QTest::mouseClick(form->btnNext, Qt::LeftButton);  // seldir
    check(form->btnNext, "wizard_focus_button");
    form->Directory->setFocus(Qt::TabFocusReason);
    check(form->Directory, "wizard_focus_folder_tree");
    QTest::mouseClick(form->btnBack, Qt::LeftButton);  // the tree's page goes: the ring with it
    QCOMPARE(ring->Target(), form->btnBack);
  }

  // The close box and Escape during the copy mean what Abort means there: the question comes at
  // once, while the copy waits; Return presses the focused button, on the exit page 閉じる.
  void copyAndExitPages() {
    settings_.SetDiscCount(1);
    auto form = Open();
    int shown_during_copy = 0;
    form->InstallProcedure = [&](TFormType& wizard) {
      QVERIFY(!wizard.btnBack->isVisible() && !wizard.btnNext->isVisible());
      QCOMPARE(wizard.windowTitle(), QString("ファイルコピー"));
      wizard.SetText(WizardControl::LabelCopy, "yume.exe をコピー中...");
      wizard.Progress->setValue(40);
      SaveScreenshot(wizard, "wizard_copy");
      // The user presses Escape while a file is copied; the copy lets pending messages run.
      QTimer::singleShot(0, &wizard, [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
      wizard.ProcessMessages();
      QCOMPARE(questions_, QStringList{"インストールを中断しますか？"});  // at once; answered No
      QCOMPARE(wizard.ModalResult(), mrNone);
      ++shown_during_copy;
      wizard.Flow().ShowPage(kPageExit);
    };
    QTest::mouseClick(form->btnNext, Qt::LeftButton);  // file -> seldir
    QTest::keyClick(form->EditDir, Qt::Key_Return);    // -> confirm: Return in an edit box presses Next
    QCOMPARE(Page(*form), QString("confirm"));
    form->btnBack->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // the focused Back, not the default Next
    QCOMPARE(Page(*form), QString("seldir"));
    QTest::mouseClick(form->btnNext, Qt::LeftButton);  // -> confirm
    QTest::mouseClick(form->btnNext, Qt::LeftButton);  // -> copy -> exit
    QCOMPARE(shown_during_copy, 1);
    QCOMPARE(questions_.size(), 1);  // nothing more asked once the copy returned
    QVERIFY(form->isVisible());
    QCOMPARE(Page(*form), QString("exit"));
    QCOMPARE(form->windowTitle(), QString("完了"));
    QCOMPARE(form->btnAbort->text(), QString("閉じる(&C)"));
    QVERIFY(form->btnAbort->hasFocus());
    QVERIFY(!form->btnNext->isVisible() && !form->btnBack->isVisible());
    SaveScreenshot(*form, "wizard_exit");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(questions_.size(), 1);  // closes without a question
    QVERIFY(!form->isVisible());
    QCOMPARE(form->result(), int(mrOK));

    // The close box during the copy, answered Yes: the copy notices the abort at its next check.
    questions_.clear();
    answers_ << kButtonYes;
    form = Open();
    form->InstallProcedure = [&](TFormType& wizard) {
      QTimer::singleShot(0, &wizard, [&wizard] { wizard.close(); });
      wizard.ProcessMessages();
      QCOMPARE(wizard.ModalResult(), mrAbort);
      QVERIFY(wizard.isVisible());  // closes once the procedure has returned
    };
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QCOMPARE(questions_, QStringList{"インストールを中断しますか？"});
    QVERIFY(!form->isVisible());
    QCOMPARE(form->result(), int(mrAbort));

    // SIGTERM during the copy (a `kill`, the session ending): an abort without a question, so the
    // copy removes what it made instead of the program dying in the middle of a file.
    questions_.clear();
    form = Open();
    form->InstallProcedure = [&](TFormType& wizard) {
      std::raise(SIGTERM);
      QCOMPARE(wizard.ModalResult(), mrNone);  // noted only; the copy goes on to its next check
      wizard.ProcessMessages();
      QCOMPARE(wizard.ModalResult(), mrAbort);
    };
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QVERIFY(questions_.isEmpty());
    QVERIFY(!form->isVisible());
    QCOMPARE(form->result(), int(mrAbort));
  }

  // The free-space line follows the folder typed, measured where that folder would be made; a file
  // (or a link to nothing) is refused as a destination before anything is copied.
  void destinationSpaceAndFiles() {
    settings_.SetDiscCount(1);
    auto form = Open();
    const fs::path roomy = test::MakeTempDir("roomy"), cramped = test::MakeTempDir("cramped");
    form->Flow().FreeSpaceOf = [&](const fs::path& path) -> int64_t {
      const std::string text = PathToUtf8(path);
      return (text.rfind(PathToUtf8(roomy), 0) == 0     ? 7000
              : text.rfind(PathToUtf8(cramped), 0) == 0 ? 2
                                                        : 1) *
             int64_t{1048576};
    };
    QTest::mouseClick(form->btnNext, Qt::LeftButton);  // file -> seldir
    QCOMPARE(Page(*form), QString("seldir"));
    const fs::path file = roomy / "notes.txt";
    test::WriteFile(file, "a file, not a folder");
    fs::create_symlink(roomy / "gone", roomy / "dangling");
    for (const fs::path& typed : {file, file / "Yume", roomy / "dangling" / "Yume"}) {
      questions_.clear();
      form->EditDir->clear();
      QTest::keyClicks(form->EditDir, QString::fromStdString(PathToUtf8(typed)));
      QTest::mouseClick(form->btnNext, Qt::LeftButton);
      QCOMPARE(questions_, QStringList{"正しいインストール先を指定してください"});
      QCOMPARE(Page(*form), QString("seldir"));
    }
    QCOMPARE(test::ReadFile(file), std::string("a file, not a folder"));
    form->EditDir->clear();
    QTest::keyClicks(form->EditDir, QString::fromStdString(PathToUtf8(roomy / "new" / "Yume")));
    QCOMPARE(form->LabelSzDrv->text(), QString("このドライブには 7,000 MBの空きがあります"));
    form->EditDir->clear();
    QTest::keyClicks(form->EditDir, QString::fromStdString(PathToUtf8(cramped / "Yume")));
    QCOMPARE(form->LabelSzDrv->text(), QString("このドライブには 2 MBの空きがあります"));
    QTest::mouseClick(form->btnNext, Qt::LeftButton);  // 3 MB needed, 2 free: the same figure asks
    QCOMPARE(questions_.last(),
             QString("ドライブにじゅうぶんな空き容量がありません\r\nこのまま処理を続けますか？"));
    QCOMPARE(Page(*form), QString("seldir"));
  }

  // A failed install has ended: the error is shown over the page "exit", with only 閉じる left.
  void installFailureEndsOnTheExitPage() {
    settings_.SetDiscCount(1);
    settings_.InstallType = 2;
    auto form = Open();
    QCOMPARE(Page(*form), QString("confirm"));
    QVERIFY(!form->btnBack->isEnabled());
    QVERIFY(!form->LabelBack->isVisible());
    form->InstallProcedure = [](TFormType&) { throw Exception("game.dat:ファイルがありません"); };
    QTest::mouseClick(form->btnNext, Qt::LeftButton);
    QCOMPARE(errors_, QStringList{"game.dat:ファイルがありません"});
    QCOMPARE(Page(*form), QString("exit"));
    QVERIFY(!form->btnNext->isVisible() && form->btnAbort->isVisible());
    QCOMPARE(form->btnAbort->text(), QString("閉じる(&C)"));
    QTest::mouseClick(form->btnAbort, Qt::LeftButton);
    QVERIFY(!form->isVisible());
  }

  // The real engines through the window: a one-disc game installed into a chosen folder, then
  // removed again by the wizard of the installed copy.
  void installsAndUninstallsWithTheEngines() {
    TVondInstallSet base = test::GameSettings(1);
    base.ShowReadme = false;
    base.DefaultFolder = DataString("<ProgramFiles>\\Hoshi");
    base.ProgSize = base.DataSize = 4096;
    const fs::path disc = test::BuildDiscSet(test::MakeTempDir("discs"),
                                             {{{{"game.sh", "#!/bin/sh\n"}, {"install.exe", "#!/bin/sh\n"}},
                                               {{"bg\\title.rxa", "picture"}, {"script\\01.txt", "本文"}},
                                               {}}},
                                             base)[0];
    settings_.LoadFromFile(disc / "install.dat");
    const fs::path dest = test::MakeTempDir("dest") / "星の湖";
    // Abort pressed and confirmed during the copy: the last word is what happened, then the window
    // closes with nothing of the run left.
    {
      TVrFileCollection archive;
      archive.Open(disc / "game.dat");
      SharedArchiveScope shared(&archive);
      auto form = Open(disc);
      QTimer presser;
      connect(&presser, &QTimer::timeout, [&] {
        if (form->LabelCopy->text() != "install.exe をコピー中...") return;
        presser.stop();
        QTest::mouseClick(form->btnAbort, Qt::LeftButton);
      });
      presser.start(0);
      answers_ << kButtonYes << kButtonOK;
      QTest::mouseClick(form->btnNext, Qt::LeftButton);  // file -> seldir
      form->EditDir->setText(QString::fromStdString(PathToUtf8(dest)));
      QTest::mouseClick(form->btnNext, Qt::LeftButton);  // -> confirm
      QTest::mouseClick(form->btnNext, Qt::LeftButton);  // -> copy
      QCOMPARE(questions_.size(), 2);
      QCOMPARE(questions_[0], QString("インストールを中断しますか？"));
      QCOMPARE(questions_[1],
               QString("インストールを中止しました\r\nコピーしたファイル 1 個を削除しました\r\n"
                       "インストール先のフォルダも削除しました\r\n") +
                   QString::fromStdString(PathToUtf8(dest)));
      QVERIFY(!form->isVisible());
      QCOMPARE(form->result(), int(mrAbort));
      QVERIFY(!fs::exists(dest));
      questions_.clear();
    }
    {
      TVrFileCollection archive;
      archive.Open(disc / "game.dat");
      SharedArchiveScope shared(&archive);
      auto form = Open(disc);
      QTest::mouseClick(form->CheckData, Qt::LeftButton);
      QTest::mouseClick(form->btnNext, Qt::LeftButton);                  // file -> seldir
      form->EditDir->setText(QString::fromStdString(PathToUtf8(dest)));  // typed (keyClicks is ASCII only)
      QTest::mouseClick(form->btnNext, Qt::LeftButton);                  // -> confirm
      QTest::mouseClick(form->btnNext, Qt::LeftButton);                  // -> copy, the install runs
      QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
      QCOMPARE(Page(*form), QString("exit"));
      QCOMPARE(form->LabelExit->text(), QString("インストールが完了しました"));
      SaveScreenshot(*form, "wizard_installed");
      form->close();  // the install is complete (and recorded as installed): nothing to ask
      QVERIFY(questions_.isEmpty());
      QVERIFY(!form->isVisible());
    }
    QCOMPARE(test::ReadFile(dest / "game.sh"), std::string("#!/bin/sh\n"));
    QVERIFY(fs::exists(dest / "game.dat"));
    QCOMPARE(settings_.ReadValue("InstallPath", ""), PathToUtf8(dest) + "/");

    settings_ = TVondInstallSet();
    settings_.LoadFromFile(dest / "install.dat");
    QVERIFY(settings_.Installed);
    test::WriteFile(dest / "save.dat", "save");
    auto form = Open(dest);  // the uninstaller's source folder is the install folder
    QCOMPARE(Page(*form), QString("uninst"));
    QVERIFY(!form->btnBack->isVisible());
    QCOMPARE(form->btnNext->text(), QString("実行"));
    QVERIFY(form->CheckDelSave->isVisible());
    SaveScreenshot(*form, "wizard_uninst");
    QTest::mouseClick(form->CheckDelSave, Qt::LeftButton);
    QTest::mouseClick(form->btnNext, Qt::LeftButton);  // 実行
    QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
    QCOMPARE(Page(*form), QString("exit"));
    QCOMPARE(form->LabelExit->text(), QString("アンインストールが完了しました"));
    SaveScreenshot(*form, "wizard_uninstalled");
    QVERIFY(!fs::exists(dest / "game.sh"));
    QVERIFY(!fs::exists(dest / "save.dat"));
    form->close();  // the run is complete: the close box asks nothing
    QVERIFY(questions_.isEmpty());
    QVERIFY(!form->isVisible());
  }

  // Two discs, the second not beside the first: the disc prompt, Qt's chooser in Japanese opened
  // beside the first disc, the progress bar over both discs (the launcher on each), and a long file
  // name cut in the middle.
  void twoDiscInstallWithTheChooser() {
    TVondInstallSet base = test::GameSettings(2);
    base.ShowReadme = false;
    base.DefaultFolder = DataString("<ProgramFiles>\\Hoshi");
    const std::string launcher(64 * 1024, 'L');
    const std::string long_name =
        "星降る湖のほとりで出会った二人の物語・第一章・前編・始まりの朝の出来事を記録した"
        "とても長い名前のファイル.txt";
    std::map<std::string, std::string> entries1, entries2;
    for (int i = 0; i < 10; ++i) {
      entries1["script\\" + std::to_string(i) + ".txt"] = "本文";
      entries2["script\\2-" + std::to_string(i) + ".txt"] = "続き";
    }
    const fs::path root = test::MakeTempDir("set");
    std::vector<fs::path> discs =
        test::BuildDiscSet(root,
                           {{{{"game.sh", "#!/bin/sh\n"}, {"install.exe", launcher}}, entries1, {}},
                            {{{"install.exe", launcher}, {"data/" + long_name, "朝"}}, entries2, {}}},
                           base);
    // The sizes count a file on several discs once, as a disc set's install.dat does.
    const int64_t prog1 = 10 + launcher.size(), prog2 = launcher.size() + 3;
    const int64_t data1 = fs::file_size(discs[0] / "game.dat"), data2 = fs::file_size(discs[1] / "game.dat");
    for (int i = 0; i < 2; ++i) {
      TVondInstallSet disc;
      disc.LoadFromFile(discs[i] / "install.dat");
      disc.DiscProgSize = {prog1, prog2};
      disc.DiscDataSize = {data1, data2};
      disc.ProgSize = 10 + launcher.size() + 3;
      disc.DataSize = data1 + data2;
      disc.SaveToFile(discs[i] / "install.dat");
    }
    const fs::path elsewhere = test::MakeTempDir("elsewhere") / "disc2";
    fs::rename(discs[1], elsewhere);
    settings_.LoadFromFile(discs[0] / "install.dat");
    const fs::path dest = test::MakeTempDir("dest") / "星の湖";

    struct Sample {
      int value, maximum;
      QString label;
      bool fits, after_prompt;
    };
    std::vector<Sample> samples;
    QString chooser_folder;
    QStringList chooser_buttons;
    TVrFileCollection archive;
    archive.Open(discs[0] / "game.dat");
    SharedArchiveScope shared(&archive);
    auto form = Open(discs[0] / "");  // as the temporary copy gets it: the folder with its '/'
    QTimer sampler;
    QString chooser_columns;  // size and type hidden, dates listed, the date column wide enough
    connect(&sampler, &QTimer::timeout, [&] {
      if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        // Only folders are listed: no type column, no size; the dates whole.
        if (const QTreeView* view = chooser->findChild<QTreeView*>("treeView")) {
          // The folder is listed by a thread of the model: its dates can be measured once it is there.
          if (view->model()->rowCount(view->rootIndex()) == 0) return;
          const QHeaderView* header = view->header();
          const int dates = static_cast<const QAbstractItemView*>(view)->sizeHintForColumn(3);
          chooser_columns = QString("%1 %2 %3 %4")
                                .arg(header->isSectionHidden(1))
                                .arg(header->isSectionHidden(2))
                                .arg(dates > 0)
                                .arg(header->sectionSize(3) >= dates);
        }
        SaveScreenshot(*chooser, "wizard_disc_chooser");
        chooser_folder = chooser->directory().absolutePath();
        for (const QPushButton* b : chooser->findChildren<QPushButton*>()) chooser_buttons << b->text();
        chooser->selectFile(QString::fromStdString(PathToUtf8(elsewhere)));
        static_cast<QDialog*>(chooser)->accept();  // as its Choose button does
        return;
      }
      const QLabel* label = form->LabelCopy;
      samples.push_back(
          {form->Progress->value(), form->Progress->maximum(), label->text(),
           QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->contentsRect().width(),
           !questions_.isEmpty()});
    });
    sampler.start(0);
    InstallBothDiscs(*form, dest);
    sampler.stop();
    QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
    QCOMPARE(questions_, QStringList{"ディスク2を入れてからOKをクリックしてください"});
    QCOMPARE(Page(*form), QString("exit"));
    QCOMPARE(test::ReadFile(dest / "data" / Utf8ToPath(long_name)), std::string("朝"));

    bool long_name_shown = false;
    for (const Sample& sample : samples) {
      QVERIFY2(sample.fits, qPrintable(sample.label));
      if (sample.label.endsWith("をコピー中...") && sample.label.contains("…")) {
        long_name_shown = true;
        QVERIFY(sample.label.startsWith("星降る湖"));
      }
      // Merging disc 2 is work that remains: the bar may not stand at its end before the check.
      if (sample.after_prompt && sample.label.startsWith("データファイルを構築中"))
        QVERIFY2(sample.value < sample.maximum,
                 qPrintable(QString("%1 of %2").arg(sample.value).arg(sample.maximum)));
    }
    QVERIFY(long_name_shown);

    QCOMPARE(chooser_columns, QString("1 1 1 1"));
    QCOMPARE(chooser_folder, QString::fromStdString(PathToUtf8(root)));
    QVERIFY2(chooser_buttons.contains("キャンセル") && !chooser_buttons.contains("Cancel"),
             qPrintable(chooser_buttons.join(", ")));
  }

  // Two discs with a few large files, copied through a slowed source: whenever the copy lets the
  // window run, the bar is compared with the bytes in the install folder. It is never ahead of them,
  // it moves inside a large file, and over both discs it comes to its end. The file line's tool tip
  // names the file whole, also while the question after Abort blocks the window.
  void progressFollowsTheBytes() {
    TVondInstallSet base = test::GameSettings(2);
    base.ShowReadme = false;
    constexpr int64_t kLarge = 9 << 20;  // more than two of the copy's steps
    const std::string large(kLarge, 'x');
    const std::vector<test::DiscSpec> specs = {
        {{{"game.sh", "#!/bin/sh\n"}, {"data/first.bin", large}, {"data/second.bin", large}},
         {{"cg\\large.rxa", large}, {"script\\a.txt", "本文"}},
         {}},
        {{{"data/third.bin", large}}, {{"cg\\later.rxa", large}}, {}}};
    const fs::path root = test::MakeTempDir("large");
    const std::vector<fs::path> discs = test::BuildDiscSet(root, specs, base);
    for (const fs::path& disc : discs) {
      TVondInstallSet settings;
      settings.LoadFromFile(disc / "install.dat");
      settings.DiscProgSize = {10 + 2 * kLarge, kLarge};
      settings.DiscDataSize = {int64_t(fs::file_size(discs[0] / "game.dat")),
                               int64_t(fs::file_size(discs[1] / "game.dat"))};
      settings.ProgSize = settings.DiscProgSize[0] + settings.DiscProgSize[1];
      settings.DataSize = settings.DiscDataSize[0] + settings.DiscDataSize[1];
      settings.SaveToFile(disc / "install.dat");
    }
    settings_.LoadFromFile(discs[0] / "install.dat");
    const fs::path dest = test::MakeTempDir("dest") / "星の湖";

    struct Sample {
      int64_t bar, maximum, on_disk;
      QString label;
    };
    std::vector<Sample> samples;
    QString tip;
    TVrFileCollection archive;
    archive.Open(discs[0] / "game.dat");
    SharedArchiveScope shared(&archive);
    auto form = Open(discs[0]);
    // The question after Abort as a real window: the pointer rests on the file line meanwhile.
    QString blocked_tip, blocked_line;
    bool aborted = false;
    const auto scripted = form->DialogHandler;
    form->DialogHandler = [&](DialogKind kind, const std::string& text, unsigned buttons) {
      if (text != "インストールを中断しますか？") return scripted(kind, text, buttons);
      QDialog question(form.get());
      question.resize(200, 60);
      QTimer::singleShot(0, &question, [&] {
        QCursor::setPos(form->LabelCopy->mapToGlobal(QPoint(4, 4)));
        blocked_tip = QTest::qWaitFor([] { return QToolTip::isVisible(); }, 3000) ? QToolTip::text() : "";
        blocked_line = form->LabelCopy->text();
        QCursor::setPos(0, 0);
        question.reject();
      });
      question.exec();
      return kButtonNo;
    };
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, [&] {
      if (Page(*form) != "copy" || form->LabelCopyCap->text() != "ファイルをコピーしています") return;
      if (!aborted && form->LabelCopy->text() == "second.bin をコピー中...") {
        aborted = true;
        QTest::mouseClick(form->btnAbort, Qt::LeftButton);
      }
      QThread::msleep(5);  // the slow source
      int64_t on_disk = 0;
      std::error_code ec;
      for (fs::recursive_directory_iterator it(dest, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) on_disk += static_cast<int64_t>(it->file_size(ec));
      }
      samples.push_back(
          {form->Progress->value(), form->Progress->maximum(), on_disk, form->LabelCopy->text()});
      if (tip.isNull() && form->LabelCopy->text() == "first.bin をコピー中...") {
        // The user hovers the file line while the file is copied.
        const QPoint at(4, 4);
        QHelpEvent hover(QEvent::ToolTip, at, form->LabelCopy->mapToGlobal(at));
        QApplication::sendEvent(form->LabelCopy, &hover);
        tip = QToolTip::isVisible() ? QToolTip::text() : QString("");
      }
    });
    sampler.start(0);
    InstallBothDiscs(*form, dest);
    sampler.stop();
    QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
    QCOMPARE(Page(*form), QString("exit"));
    QVERIFY(samples.size() > 10);

    std::map<QString, std::set<int64_t>> bars_of_label;
    for (const Sample& sample : samples) {
      QVERIFY2(sample.bar * 10 <= sample.on_disk, qPrintable(QString("%1: the bar at %2 bytes, %3 on disk")
                                                                 .arg(sample.label)
                                                                 .arg(sample.bar * 10)
                                                                 .arg(sample.on_disk)));
      bars_of_label[sample.label].insert(sample.bar);
    }
    QVERIFY2(bars_of_label["first.bin をコピー中..."].size() >= 3, "the bar stood still during the file");
    QVERIFY2(bars_of_label["third.bin をコピー中..."].size() >= 3, "the bar stood still during the file");
    // Its tool tip names the file whole.
    QCOMPARE(tip, QString::fromStdString(PathToUtf8(dest / "data" / "first.bin")) + " をコピー中...");
    QCOMPARE(blocked_line, QString("second.bin をコピー中..."));
    QCOMPARE(blocked_tip,
             QString::fromStdString(PathToUtf8(dest / "data" / "second.bin")) + " をコピー中...");
    // Both discs done before the check: the bar short of its end by no more than the directories.
    const Sample& last = samples.back();
    QVERIFY2(last.bar * 100 >= last.maximum * 95,
             qPrintable(QString("%1 of %2").arg(last.bar).arg(last.maximum)));
  }

  void shownInFrontOfTheMainWindow() {
    settings_.SetDiscCount(1);
    TFormMain main(settings_, nullptr);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    bool modal = false;
    QPoint wizard_centre;
    QTimer::singleShot(0, &main, [&] {
      TFormType* wizard = main.Wizard();
      if (!wizard) return;
      modal = wizard->isModal() && wizard->isVisible();
      wizard_centre = wizard->geometry().center();
      QPixmap picture = main.grab();
      QPainter(&picture).drawPixmap(wizard->geometry().topLeft() - main.geometry().topLeft(), wizard->grab());
      picture.save(QStringLiteral(VN_SCREENSHOT_DIR) + "/wizard_over_main_window.png");
      wizard->DialogHandler = [](DialogKind, const std::string&, unsigned) { return kButtonYes; };
      QTest::mouseClick(wizard->btnAbort, Qt::LeftButton);
    });
    main.RunWizard();
    QVERIFY(modal);
    QVERIFY((wizard_centre - main.geometry().center()).manhattanLength() <= 1);
    QVERIFY(main.Wizard() == nullptr);
  }
};

}  // namespace vn

VN_QTEST_MAIN(vn::WizardWindowTest, {
  vn::InstallFormFontSubstitute();
  vn::InstallQtTranslations();
})

#include "wizard_window_test.moc"
