// The dialog that lets the user pick one image of an icon or cursor file holding several: a list of
// the images (number, size, depth) and a picture box showing the selected one.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/icon_file.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace vn {

class TIconChooserWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 290;
  static constexpr int kClientHeight = 180;

  // bytes: the whole icon file; images: its image list (ListIconImages). The first line is selected
  // and its image shown.
  TIconChooserWindow(std::string bytes, const std::vector<TIconImageInfo>& images, QWidget* parent = nullptr);

  // The selected image, counted from 0.
  int32_t SelectedIndex() const;

  QListWidget* List = nullptr;
  QLabel* Image = nullptr;
  QPushButton* OK = nullptr;

 private:
  void ShowImage(int index);

  std::string bytes_;
};

// A choose callback for TIconLoadOptions: shows the dialog over the file's bytes until OK closes
// it and answers the selected image.
std::function<int32_t(const std::vector<TIconImageInfo>&)> IconChooser(std::string bytes,
                                                                       QWidget* parent = nullptr);

}  // namespace vn
