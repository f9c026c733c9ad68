// The start menu and the main window on Qt's offscreen platform. Each case saves a screenshot
// under the build tree (screenshots/) to be looked at.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <cstdlib>
#include <memory>

#include "archive/vr_files.h"
#include "imaging/ruxa_writer.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "settings/settings.h"
#include "tests/support/qt_test_main.h"
#include "tests/support/test_env.h"
#include "ui/qt/form_style_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/paint_box_view.h"
#include "ui/qt/start_window.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

constexpr int kPictureWidth = 160;
constexpr int kPictureHeight = 120;
constexpr int32_t kPictureKey = 4711;

// Every pixel of the sample picture has its own colour, so a sample tells where it came from.
QColor PictureColor(int x, int y) {
  return QColor(x * 255 / (kPictureWidth - 1), y * 2, 128 + (x + y) % 64);
}

void SaveScreenshot(QWidget& window, const QString& name) {
  const QString folder = QStringLiteral(VN_SCREENSHOT_DIR);
  QDir().mkpath(folder);
  QVERIFY(window.grab().save(folder + "/" + name + ".png"));
}

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT

 private:
  TVondInstallSet settings_;
  std::unique_ptr<TVrFileCollection> archive_;
  fs::path disc_;
  QStringList errors_;
  int key_counter_ = 0;

  // A disc folder with the picture as a loose file, opened as the archive.
  void MakeDisc(bool directx, bool winmedia) {
    disc_ = test::MakeTempDir("disc");
    TDIBSurface picture;
    picture.SetSize(kPictureWidth, kPictureHeight, 24);
    for (int y = 0; y < kPictureHeight; ++y) {
      for (int x = 0; x < kPictureWidth; ++x) picture.SetPixels(x, y, PictureColor(x, y).rgb() & 0xFFFFFF);
    }
    TRuxaEncodeOptions options;
    options.key = kPictureKey;
    options.shuffle = true;
    test::WriteFile(disc_ / "bg" / "title.rxa", EncodeRuxa(picture, options));
    if (directx) test::WriteFile(disc_ / "directx" / "dxsetup.exe", "#!/bin/sh\n");
    if (winmedia) test::WriteFile(disc_ / "winmedia" / "mp71.exe", "#!/bin/sh\n");
    archive_ = std::make_unique<TVrFileCollection>();
    archive_->Open(disc_);  // a folder of loose files serves as the archive
  }

  void ResetSettings() {
    settings_ = TVondInstallSet();
    settings_.Title = Utf8ToCp932("夢の続き");
    settings_.FooterText = Utf8ToCp932("(C) 2026 ソフトハウス表");
    settings_.BackgroundPicture = DataString("bg\\title.rxa");
    settings_.PictureKey = kPictureKey;
    settings_.OfferRuntimes = true;
    settings_.ExeName = DataString("yume.bin");
    settings_.RegistryKey = DataString("VnWindowTest\\Game" + std::to_string(++key_counter_));
  }

  void RecordInstallFolder() {
    const fs::path folder = test::MakeTempDir("installed");
    test::WriteFile(folder / "yume.bin", "game");
    settings_.WriteValue("InstallPath", PathToUtf8(folder));
  }

  QImage Grab(QWidget& window) { return window.grab().toImage(); }

 private slots:
  void init() {
    errors_.clear();
    SetErrorReporter([this](QWidget*, const QString& message) { errors_ << message; });
    ResetSettings();
  }

  void startMenuLayouts_data() {
    QTest::addColumn<bool>("offer");
    QTest::addColumn<bool>("directx");
    QTest::addColumn<bool>("winmedia");
    QTest::addColumn<int>("winmedia_top");
    QTest::addColumn<int>("exit_top");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("shot");
    QTest::newRow("both") << true << true << true << 136 << 188 << 230 << "start_menu_both_runtimes";
    QTest::newRow("directx") << true << true << false << 136 << 152 << 194 << "start_menu_directx_only";
    QTest::newRow("winmedia") << true << false << true << 100 << 152 << 194 << "start_menu_winmedia_only";
    QTest::newRow("neither") << true << false << false << 100 << 116 << 158 << "start_menu_no_runtimes";
    QTest::newRow("not offered") << false << true << true << 100 << 116 << 158 << "start_menu_not_offered";
  }

  void startMenuLayouts() {
    QFETCH(bool, offer);
    QFETCH(bool, directx);
    QFETCH(bool, winmedia);
    QFETCH(int, winmedia_top);
    QFETCH(int, exit_top);
    QFETCH(int, height);
    QFETCH(QString, shot);
    MakeDisc(directx, winmedia);
    settings_.OfferRuntimes = offer;
    RecordInstallFolder();
    TFormStart form(settings_, archive_.get(), disc_);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
    QCOMPARE(form.size(), QSize(265, height));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.windowTitle(), QString("夢の続き"));
    QCOMPARE(ApplicationTitle(), QString("夢の続き"));
    QVERIFY(form.btnStart->isEnabled());
    QCOMPARE(form.btnStart->geometry(), QRect(28, 12, 213, 29));
    QCOMPARE(form.btnInstall->geometry(), QRect(28, 64, 213, 29));
    QCOMPARE(form.btnDirectX->isVisible(), offer && directx);
    QCOMPARE(form.btnWinMedia->isVisible(), offer && winmedia);
    QCOMPARE(form.btnWinMedia->y(), winmedia_top);
    QCOMPARE(form.btnExit->y(), exit_top);
    QCOMPARE(form.btnStart->property("Tag").toInt(), 0);
    QCOMPARE(form.btnInstall->property("Tag").toInt(), 1);
    QCOMPARE(form.btnStart->font().pixelSize(), 12);
    QCOMPARE(form.btnStart->nextInFocusChain(), form.btnInstall);
    // The picture is centred in the whole client area behind the buttons.
    const QImage image = Grab(form);
    // Sampled in the gap between the first two buttons.
    const int x0 = (265 - kPictureWidth) / 2, y0 = (height - kPictureHeight) / 2;
    QCOMPARE(image.pixelColor(x0 + 3, 60), PictureColor(3, 60 - y0));
    SaveScreenshot(form, shot);
  }

  // At twice the density (HiDPI) the layout keeps its logical pixels and the picture is scaled
  // smoothly: one-pixel stripes come out with grey between black and white, not as doubled pixels.
  void pictureAtDoubleDensity() {
    MakeDisc(true, true);
    TFormStart form(settings_, archive_.get(), disc_);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QImage shot(form.size() * 2, QImage::Format_RGB32);
    shot.setDevicePixelRatio(2);
    form.render(&shot);
    QDir().mkpath(QStringLiteral(VN_SCREENSHOT_DIR));
    QVERIFY(shot.save(QStringLiteral(VN_SCREENSHOT_DIR) + "/start_menu_2x.png"));
    QCOMPARE(form.btnExit->geometry(), QRect(28, 188, 213, 29));

    TDXPaintBox box;
    box.resize(8, 4);
    TDIBSurface& stripes = box.Picture().DIB;
    stripes.SetSize(4, 2, 24);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) stripes.SetPixels(x, y, x % 2 ? 0xFFFFFF : 0);
    }
    box.PictureChanged();
    QImage image(QSize(16, 8), QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    image.fill(Qt::red);
    box.render(&image);
    int greys = 0;
    for (int x = 0; x < 8; ++x) {
      const QColor c = image.pixelColor(x, 1);
      QCOMPARE(c.red(), c.blue());  // the picture covers its place
      greys += c.red() > 0 && c.red() < 255;
    }
    QVERIFY2(greys >= 2, qPrintable(QString("%1 grey pixels").arg(greys)));
  }

  void startMenuButtons() {
    MakeDisc(true, true);
    TFormStart form(settings_, archive_.get(), disc_);
    std::vector<fs::path> started;
    form.OpenSetupProgram = [&](const fs::path& program) {
      started.push_back(program);
      return 2;  // not started: no message, the menu stays
    };
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.btnStart->isEnabled());  // no install folder recorded
    SaveScreenshot(form, "start_menu_not_installed");
    QTest::mouseClick(form.btnDirectX, Qt::LeftButton);
    QTest::mouseClick(form.btnDirectX, Qt::LeftButton);
    QTest::mouseClick(form.btnWinMedia, Qt::LeftButton);
    QCOMPARE(started.size(), size_t{3});
    QCOMPARE(started[0], disc_ / "directx" / "dxsetup.exe");
    QCOMPARE(started[2], disc_ / "winmedia" / "mp71.exe");
    QVERIFY(form.isVisible());
    QCOMPARE(form.result(), 0);

    // On a disc image a setup's folder is copied out to run from when its button is pressed (once).
    const fs::path image = test::MakeTempDir("image") / "disc.iso";
    if (test::RunShell("xorriso -as mkisofs -J -o " + test::ShellQuoted(image.string()) + " " +
                           test::ShellQuoted(disc_.string()),
                       disc_)
            .status == 0) {
      TFormStart on_image(settings_, archive_.get(), image);
      on_image.OpenSetupProgram = form.OpenSetupProgram;
      on_image.show();
      QVERIFY(on_image.btnDirectX->isVisible() && on_image.btnWinMedia->isVisible());
      QTest::mouseClick(on_image.btnDirectX, Qt::LeftButton);
      QTest::mouseClick(on_image.btnDirectX, Qt::LeftButton);
      QCOMPARE(started.size(), size_t{5});
      QCOMPARE(started[4], started[3]);
      QCOMPARE(started[3].parent_path().filename(), fs::path("directx"));
      QVERIFY(started[3].string().rfind(TemporaryFolder().string(), 0) == 0);
      QCOMPARE(test::ReadFile(started[3]), std::string("#!/bin/sh\n"));
      QVERIFY(!fs::exists(started[3].parent_path().parent_path() / "winmedia" / "mp71.exe"));
    }

    // Return presses the focused button, as on Windows.
    form.btnWinMedia->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), form.btnInstall);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.StartChoice(), 1);
  }

  void startMenuGameStartAndExit() {
    MakeDisc(false, false);
    RecordInstallFolder();
    {
      TFormStart form(settings_, archive_.get(), disc_);
      form.show();
      QTest::mouseClick(form.btnStart, Qt::LeftButton);
      QCOMPARE(form.result(), int(QDialog::Accepted));
      QCOMPARE(form.StartChoice(), 0);
    }
    for (bool close_box : {false, true}) {
      TFormStart form(settings_, archive_.get(), disc_);
      form.show();
      form.setResult(QDialog::Accepted);
      if (close_box) {
        form.close();  // the title bar's close box ends the menu as exit does
      } else {
        QTest::mouseClick(form.btnExit, Qt::LeftButton);
      }
      QCOMPARE(form.result(), int(QDialog::Rejected));
    }
  }

  void startMenuCreationError() {
    MakeDisc(true, true);
    settings_.BackgroundPicture = DataString("bg\\missing.rxa");
    TFormStart form(settings_, archive_.get(), disc_);
    form.show();
    QCOMPARE(errors_.size(), 1);
    QVERIFY2(errors_[0].contains("missing.rxa"), qPrintable(errors_[0]));
    // The steps after the failed one were skipped: both runtime buttons stay in their places.
    QCOMPARE(form.height(), 230);
    QCOMPARE(form.btnExit->y(), 188);
  }

  void mainWindowClientSize() {
    QCOMPARE(TFormMain::ClientSizeFor(QSize(1024, 768)), QSize(924, 568));
    QCOMPARE(TFormMain::ClientSizeFor(QSize(800, 600)), QSize(700, 400));
    QCOMPARE(TFormMain::ClientSizeFor(QSize(640, 480)), QSize(600, 400));
  }

  void mainWindowModes_data() {
    QTest::addColumn<int>("mode");
    for (int mode = 0; mode <= 3; ++mode) QTest::newRow(qPrintable(QString("mode %1").arg(mode))) << mode;
  }

  void mainWindowModes() {
    QFETCH(int, mode);
    MakeDisc(false, false);
    settings_.BackgroundMode = static_cast<uint8_t>(mode);
    TFormMain form(settings_, archive_.get());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
    const QSize client = TFormMain::ClientSizeFor(form.screen()->size());
    QCOMPARE(form.size(), client);
    QCOMPARE(form.windowTitle(), QString("夢の続きのセットアップ"));
    const int w = client.width(), h = client.height();
    const QImage image = Grab(form);
    const QColor corner = image.pixelColor(2, 2);
    const QColor gradient_blue(0, 0, 255);
    switch (mode) {
      case 0: {
        const int x0 = (w - kPictureWidth) / 2, y0 = (h - kPictureHeight) / 2;
        QCOMPARE(image.pixelColor(x0, y0), PictureColor(0, 0));
        QCOMPARE(image.pixelColor(x0 + 100, y0 + 70), PictureColor(100, 70));
        QCOMPARE(corner, gradient_blue);
        break;
      }
      case 1:
        QCOMPARE(corner, PictureColor(0, 0));
        QCOMPARE(image.pixelColor(w / 2, h / 4).blue() >= 128, true);
        QVERIFY(std::abs(image.pixelColor(w - 1, 0).red() - 255) <= 2);
        break;
      case 2:
        QCOMPARE(corner, PictureColor(2, 2));
        QCOMPARE(image.pixelColor(kPictureWidth + 7, kPictureHeight + 9), PictureColor(7, 9));
        QCOMPARE(image.pixelColor(4 * kPictureWidth + 7, 3 * kPictureHeight + 9), PictureColor(7, 9));
        break;
      default:
        QCOMPARE(corner, gradient_blue);
        QCOMPARE(image.pixelColor(w / 2, h / 2).red(), 0);
        break;
    }
    // The footer: a black band 12 pixels high across the whole width, 8 pixels above the bottom.
    QCOMPARE(form.LabelRight->geometry(), QRect(0, h - 12 - 8, w, 12));
    QCOMPARE(form.LabelRight->text(), QString("(C) 2026 ソフトハウス表 "));
    QCOMPARE(image.pixelColor(1, h - 20), QColor(Qt::black));
    QCOMPARE(image.pixelColor(1, h - 9), QColor(Qt::black));
    QVERIFY(image.pixelColor(1, h - 8) != QColor(Qt::black));
    QVERIFY(image.pixelColor(1, h - 21) != QColor(Qt::black));
    SaveScreenshot(form, QString("main_window_mode%1").arg(mode));
  }

  void mainWindowUninstallAndErrors() {
    settings_.Installed = true;
    settings_.WizardCaption = Utf8ToCp932("特別な題");
    {
      TFormMain form(settings_, nullptr);  // an uninstall run has no archive: the gradient alone
      QCOMPARE(form.windowTitle(), QString("夢の続きの削除"));
      QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join("; ")));
    }
    settings_.Installed = false;
    MakeDisc(false, false);
    test::WriteFile(disc_ / "bg" / "title.rxa", "Ruxa106 damaged");
    TFormMain form(settings_, archive_.get());
    form.show();
    QCOMPARE(errors_.size(), 1);
    QCOMPARE(form.windowTitle(), QString("特別な題"));
    // Creation stopped at the picture: the footer stayed where it was designed.
    QCOMPARE(form.LabelRight->geometry(), QRect(0, 283 - 20, 444, 12));
    SaveScreenshot(form, "main_window_damaged_picture");
  }
};

}  // namespace vn

VN_QTEST_MAIN(vn::WindowsTest, vn::InstallFormFontSubstitute())

#include "windows_test.moc"
