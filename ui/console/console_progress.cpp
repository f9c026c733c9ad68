#include "ui/console/console_progress.h"

#include <algorithm>
#include <chrono>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vn {

namespace {
constexpr int kBarWidth = 30;
// Between two redraws of the bar, and between two file lines in a log.
constexpr int64_t kBarIntervalMs = 100;
constexpr int64_t kLineIntervalMs = 250;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

ConsoleProgress::ConsoleProgress(std::FILE* out, bool terminal, Clock clock)
    : out_(out), terminal_(terminal), clock_(clock ? std::move(clock) : Clock(SteadyMs)) {}

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
  if (!bar_visible_ || !Due()) return;
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
  if (terminal_ && bar_visible_ && Percent() != drawn_percent_ && Due()) Draw();
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

bool ConsoleProgress::Due() {
  const int64_t now = clock_();
  if (written_ && now - written_ms_ < (terminal_ ? kBarIntervalMs : kLineIntervalMs)) return false;
  written_ = true;
  written_ms_ = now;
  return true;
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
  Draw();  // what a skipped redraw left out
  std::fputc('\n', out_);
  std::fflush(out_);
  bar_drawn_ = false;
}

}  // namespace vn
