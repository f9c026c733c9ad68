#include "tools/vnkit/cli.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace vn::cli {

namespace {

std::vector<std::pair<int, Registrar>>& Registry() {
  static std::vector<std::pair<int, Registrar>> registry;
  return registry;
}

int g_result = kOk;

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

RegisterCommands::RegisterCommands(int order, Registrar registrar) {
  Registry().emplace_back(order, registrar);
}

void AddAllCommands(CLI::App& app) {
  auto groups = Registry();
  std::stable_sort(groups.begin(), groups.end(), [](auto& a, auto& b) { return a.first < b.first; });
  for (auto& [order, registrar] : groups) registrar(app);
}

void SetResult(int code) {
  g_result = code;
}
int Result() {
  return g_result;
}

void PrintError(const std::string& message) {
  std::fprintf(stderr, "vnkit: %s\n", message.c_str());
}

ProgressBar::ProgressBar(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), enabled_(isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
  Finish();
}

void ProgressBar::Update(int64_t done) {
  if (!enabled_ || finished_) return;
  const int64_t now = NowMs();
  if (last_draw_ms_ >= 0 && now - last_draw_ms_ < 100 && done < total_) return;
  last_draw_ms_ = now;
  const double fraction = total_ > 0 ? std::clamp(double(done) / double(total_), 0.0, 1.0) : 1.0;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '-');
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), static_cast<int>(fraction * 100));
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!enabled_ || finished_) return;
  if (last_draw_ms_ >= 0) {
    last_draw_ms_ = -1;
    Update(total_);
    std::fputc('\n', stderr);
  }
  finished_ = true;
}

}  // namespace vn::cli
