// TFormMain: the large window behind the install and uninstall wizard: a gradient, the product's
// background picture over it, and the footer line near the bottom edge.
#pragma once

#include <QDialog>
#include <QSize>

class QLabel;

namespace vn {

class TDXPaintBox;
class TFormType;
class TGradBoxView;
class TVondInstallSet;
class TVrFileCollection;

class TFormMain : public QDialog {
  Q_OBJECT

 public:
  // `archive`: the open archive with the background picture; none in an uninstall run.
  TFormMain(TVondInstallSet& settings, TVrFileCollection* archive, QWidget* parent = nullptr);

  // The client size for a screen: at least 600 x 400, else the screen less 100 x 200.
  static QSize ClientSizeFor(QSize screen);

  // Runs the wizard in front of this window, modally, once the window is visible.
  void RunWizard();
  // The wizard while RunWizard runs it, else none.
  TFormType* Wizard() const { return wizard_; }

  TGradBoxView* GradBox;
  TDXPaintBox* PaintBox;
  QLabel* LabelRight;

  static constexpr int kDesignedWidth = 444;
  static constexpr int kDesignedHeight = 283;
  static constexpr int kFooterGap = 8;  // between the footer band and the bottom edge

 private:
  void FormCreate();
  void SetClientSize(int width, int height);

  TVondInstallSet& settings_;
  TVrFileCollection* archive_;
  TFormType* wizard_ = nullptr;
};

}  // namespace vn
