// TFormMain on Windows: the large window behind the install and uninstall wizard: a gradient, the
// product's background picture over it, and the footer line near the bottom edge, all drawn into
// one DIB section.
#pragma once

#include "imaging/grad_box.h"
#include "launcher/background.h"
#include "ui/win32/background_canvas.h"
#include "ui/win32/form.h"

namespace vn {

class TVondInstallSet;
class TVrFileCollection;

class TFormMain : public TForm {
 public:
  // `archive`: the open archive with the background picture; none in an uninstall run.
  TFormMain(TVondInstallSet& settings, TVrFileCollection* archive);

  // The client size for a screen: at least 600 x 400, else the screen less 100 x 200.
  static SIZE ClientSizeFor(SIZE screen);

  TGradBox GradBox;
  TDXPaintBoxPicture PaintBox;
  TFooterBand LabelRight;

  static constexpr int kDesignedWidth = 444;
  static constexpr int kDesignedHeight = 283;
  static constexpr int kFooterGap = 8;  // between the footer band and the bottom edge
  static constexpr int kFontPixels = 12;

 protected:
  std::vector<std::string> WindowlessLayout() const override;
  void PaintBackground(HDC dc, const RECT& client) override;

 private:
  void FormCreate();
  void Compose();

  TVondInstallSet& settings_;
  TVrFileCollection* archive_;
  TBackgroundCanvas canvas_;
  SIZE client_{kDesignedWidth, kDesignedHeight};
};

}  // namespace vn
