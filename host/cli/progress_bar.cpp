#include "cli/progress_bar.h"

#include <unistd.h>

#include <iostream>

#include "scene/scene_text.h"

namespace vlm::host {

namespace {
constexpr int kWidth = 30;
constexpr size_t kTaskWidth = 40;
}  // namespace

ProgressBar::ProgressBar(std::ostream& terminal, std::chrono::milliseconds delay)
    : terminal_(terminal), delay_(delay) {}

void ProgressBar::Show(std::string_view task, double fraction) {
  const auto now = Clock::now();
  if (!running_) running_ = true, started_ = now;
  if (now - started_ < delay_) return;
  if (visible_ && now - drawn_ < std::chrono::milliseconds(100) && fraction < 1) return;
  drawn_ = now, visible_ = true;
  const int filled = static_cast<int>(fraction * kWidth);
  std::string name = scene_text::Printable(task.substr(0, kTaskWidth));
  terminal_ << "\r" << name << " [" << std::string(static_cast<size_t>(filled), '#')
            << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] "
            << static_cast<int>(fraction * 100) << "%" << std::flush;
}

void ProgressBar::Finish() {
  if (visible_)
    terminal_ << "\r" << std::string(kTaskWidth + kWidth + 8, ' ') << "\r" << std::flush;
  running_ = visible_ = false;
}

std::shared_ptr<ProgressDisplay> ProgressBarFor(bool quiet) {
  // Standard error's other stream: the bar's carriage returns are meant (std::cerr escapes them).
  if (!quiet && isatty(STDERR_FILENO)) return std::make_shared<ProgressBar>(std::clog);
  return nullptr;
}

}  // namespace vlm::host
