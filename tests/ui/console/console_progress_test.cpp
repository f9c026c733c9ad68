// The unattended run's progress in a log: a file line at most every quarter of a second, whatever
// the number of files; on a terminal the bar ends on what was last reported.
#include "ui/console/console_progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vn {
namespace {

std::string Written(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(ConsoleProgress, ALogGetsAFewFileLinesASecondAndEveryStageHeading) {
  std::FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  int64_t now = 0;
  {
    ConsoleProgress progress(log, false, [&] { return now; });
    progress.SetMax(3000);
    for (int i = 0; i < 3000; ++i) {
      progress.SetPosition(i);
      progress.Item("file" + std::to_string(i));
      now += 1;  // 3000 files in 3 seconds
    }
    progress.Line("checking");
  }
  const std::string text = Written(log);
  std::fclose(log);
  EXPECT_EQ(text.rfind("[  0%] file0\n", 0), 0u) << text;  // the first at once
  EXPECT_NE(text.find("[  8%] file250\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("file251"), std::string::npos) << text;
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 12u + 1u) << text;  // 0, 250, ..., 2750 and the heading
  EXPECT_NE(text.find("checking\n"), std::string::npos);
}

TEST(ConsoleProgress, ATerminalBarEndsOnTheLastPositionEvenWhenItsRedrawWasSkipped) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  int64_t now = 0;
  {
    ConsoleProgress progress(out, true, [&] { return now; });
    progress.SetMax(100);
    progress.Item("a");
    progress.SetPosition(100);  // within the interval: not drawn yet
    progress.Line("done");
  }
  const std::string text = Written(out);
  std::fclose(out);
  EXPECT_NE(text.find("100% a\x1b[K\ndone\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace vn
