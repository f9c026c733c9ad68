// The progress of an unattended run on stderr: stage headings, the file being worked on and the
// progress bar. On a terminal the file line and the bar share one line that is redrawn; otherwise
// (a log, a pipe) each new file line is printed once with its percentage.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vn {

class ConsoleProgress {
 public:
  // `terminal`: whether `out` is a terminal (ConsoleProgress::IsTerminal).
  ConsoleProgress(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}
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
  void Draw();
  void EndLine();

  std::FILE* out_;
  bool terminal_;
  bool bar_visible_ = true;
  bool bar_drawn_ = false;  // the terminal's current line holds the bar
  std::string item_;
  int64_t max_ = 0, position_ = 0;
  int drawn_percent_ = -1;
};

}  // namespace vn
