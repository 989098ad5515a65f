#include "tarkon/cli/progress_bar.h"

#include <algorithm>
#include <utility>

#include "files/console.h"

ProgressBar::ProgressBar(std::string label, FILE* out)
    : label_(std::move(label)), out_(out), enabled_(files::IsTerminal(out)) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(long done, long total) {
  if (!enabled_ || total <= 0) return;
  if (done < 0) done = 0;
  if (done > total) done = total;
  const int percent = static_cast<int>(done * 100 / total);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::fprintf(out_, "\r%s [%s] %3d%% (%ld/%ld)", label_.c_str(), bar.c_str(), percent, done, total);
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::UpdateText(int percent, const std::string& text) {
  if (!enabled_) return;
  percent = std::clamp(percent, 0, 100);
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::fprintf(out_, "\r%s [%s] %s   ", label_.c_str(), bar.c_str(), text.c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (drawn_) {
    std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = false;
  }
}
