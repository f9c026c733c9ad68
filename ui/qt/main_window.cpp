#include "ui/qt/main_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <algorithm>
#include <exception>

#include "messages/messages.h"
#include "settings/settings.h"
#include "ui/qt/fitted_text.h"
#include "ui/qt/form_style_window.h"
#include "ui/qt/grad_box_view.h"
#include "ui/qt/paint_box_view.h"
#include "ui/qt/wizard_window.h"

namespace vn {

TFormMain::TFormMain(TVondInstallSet& settings, TVrFileCollection* archive, QWidget* parent)
    : QDialog(parent), settings_(settings), archive_(archive) {
  setFont(FormFont());
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  GradBox = new TGradBoxView(this);
  GradBox->Gradient().SetStartColor(RGBColor(0, 0, 255));  // blue
  GradBox->Gradient().SetEndColor(RGBColor(0, 0, 128));    // navy
  GradBox->Gradient().SetGradStep(128);
  PaintBox = new TDXPaintBox(this);
  LabelRight = new QLabel(this);
  LabelRight->setFont(FormFont());
  LabelRight->setTextFormat(Qt::PlainText);
  LabelRight->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  LabelRight->setAutoFillBackground(true);
  QPalette palette = LabelRight->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, Qt::white);
  LabelRight->setPalette(palette);
  SetClientSize(kDesignedWidth, kDesignedHeight);
  LabelRight->setGeometry(0, kDesignedHeight - kFormFontPixels - kFooterGap, kDesignedWidth, kFormFontPixels);

  try {
    FormCreate();
  } catch (const std::exception& e) {
    // The window is shown all the same; the footer may stay where it was designed.
    ShowErrorBox(this, QString::fromUtf8(e.what()));
  }
  FixClientSize(*this, width(), height());
  FitTexts(*this);
}

QSize TFormMain::ClientSizeFor(QSize screen) {
  return {std::max(600, screen.width() - 100), std::max(400, screen.height() - 200)};
}

void TFormMain::SetClientSize(int width, int height) {
  resize(width, height);
  GradBox->setGeometry(0, 0, width, height);
  PaintBox->setGeometry(0, 0, width, height);
}

void TFormMain::FormCreate() {
  SetApplicationTitle(FromData(settings_.Title));
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QSize client = ClientSizeFor(screen ? screen->size() : QSize(0, 0));
  SetClientSize(client.width(), client.height());
  setWindowTitle(settings_.Installed
                     ? QString::fromUtf8(Tr(Msg::kMainUninstallCaption)).arg(FromData(settings_.Title))
                     : FromData(settings_.GetWizardCaption()));
  if (archive_) {
    DrawBackground(PaintBox->Picture(), settings_, *archive_);
    PaintBox->PictureChanged();
  }
  LabelRight->setText(FromData(settings_.FooterText) + " ");
  LabelRight->setGeometry(0, client.height() - kFormFontPixels - kFooterGap, client.width(), kFormFontPixels);
}

void TFormMain::RunWizard() {
  // The wizard's modal result only serves to close it; the run ends when it is closed.
  TFormType wizard(settings_, this);
  wizard_ = &wizard;
  wizard.exec();
  wizard_ = nullptr;
}

}  // namespace vn
