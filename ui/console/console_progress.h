// The progress of an unattended run on stderr: stage headings, the file being worked on and the
// progress bar. On a terminal the file line and the bar share one line that is redrawn; otherwise
// (a log, a pipe) a new file line is printed once with its percentage. Either is written at most a
// few times a second: an install of many small files would otherwise spend its time printing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace vn {

class ConsoleProgress {
 public:
  // Milliseconds from any fixed point.
  using Clock = std::function<int64_t()>;
  // `terminal`: whether `out` is a terminal (ConsoleProgress::IsTerminal). `clock`: a steady clock
  // by default.
  ConsoleProgress(std::FILE* out, bool terminal, Clock clock = {});
  ~ConsoleProgress() { EndLine(); }

  static bool IsTerminal(std::FILE* file);

  // A line of its own: a stage of the work, a dialog's text, a note.
  void Line(const std::string& text);
  // The file or step being worked on.
  void Item(const std::string& text);
  void SetMax(int64_t maximum);
  void SetPosition(int64_t position);
  // Hides (or shows again) the bar and its file line, as the window does while it records the
  // installation.
  void SetBarVisible(bool visible);

 private:
  int Percent() const;
  // Whether the interval for this kind of output has passed since the last was written.
  bool Due();
  void Draw();
  void EndLine();

  std::FILE* out_;
  bool terminal_;
  bool bar_visible_ = true;
  bool bar_drawn_ = false;  // the terminal's current line holds the bar
  std::string item_;
  int64_t max_ = 0, position_ = 0;
  int drawn_percent_ = -1;
  Clock clock_;
  int64_t written_ms_ = 0;
  bool written_ = false;
};

}  // namespace vn
