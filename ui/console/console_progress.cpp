#include "ui/console/console_progress.h"

#include <algorithm>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vn {

namespace {
constexpr int kBarWidth = 30;
}

bool ConsoleProgress::IsTerminal(std::FILE* file) {
#if defined(_WIN32)
  return _isatty(_fileno(file)) != 0;
#else
  return isatty(fileno(file)) == 1;
#endif
}

void ConsoleProgress::Line(const std::string& text) {
  EndLine();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void ConsoleProgress::Item(const std::string& text) {
  if (text == item_) return;
  item_ = text;
  if (!bar_visible_) return;
  if (terminal_) {
    Draw();
  } else {
    if (max_ > 0) {
      std::fprintf(out_, "[%3d%%] %s\n", Percent(), item_.c_str());
    } else {
      std::fprintf(out_, "%s\n", item_.c_str());
    }
    std::fflush(out_);
  }
}

void ConsoleProgress::SetMax(int64_t maximum) {
  max_ = std::max<int64_t>(maximum, 0);
}

void ConsoleProgress::SetPosition(int64_t position) {
  position_ = position;
  if (terminal_ && bar_visible_ && Percent() != drawn_percent_) Draw();
}

void ConsoleProgress::SetBarVisible(bool visible) {
  if (!visible) EndLine();
  bar_visible_ = visible;
}

int ConsoleProgress::Percent() const {
  if (max_ <= 0) return 0;
  const double ratio = static_cast<double>(position_) / static_cast<double>(max_);
  return static_cast<int>(std::clamp(ratio, 0.0, 1.0) * 100.0);
}

void ConsoleProgress::Draw() {
  const int percent = Percent();
  const int filled = percent * kBarWidth / 100;
  std::fprintf(out_, "\r[%s%s] %3d%% %s\x1b[K", std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, '.').c_str(), percent, item_.c_str());
  std::fflush(out_);
  drawn_percent_ = percent;
  bar_drawn_ = true;
}

void ConsoleProgress::EndLine() {
  if (!bar_drawn_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  bar_drawn_ = false;
}

}  // namespace vn
