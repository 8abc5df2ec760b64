// The progress of long work as a bar on standard error, when it is a terminal.
#pragma once

#include <chrono>
#include <iosfwd>
#include <memory>
#include <string>

#include "vlm/progress.h"

namespace vlm::host {

// Draws nothing until a task has run for `delay`, then redraws at most ten times a second;
// the bar is wiped when the task finishes.
class ProgressBar final : public ProgressDisplay {
 public:
  explicit ProgressBar(std::ostream& terminal,
                       std::chrono::milliseconds delay = std::chrono::seconds(1));
  void Show(std::string_view task, double fraction) override;
  void Finish() override;

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& terminal_;
  std::chrono::milliseconds delay_;
  Clock::time_point started_, drawn_;
  bool running_ = false, visible_ = false;
};

// A bar on standard error, or none when `quiet` or standard error is not a terminal.
std::shared_ptr<ProgressDisplay> ProgressBarFor(bool quiet);

}  // namespace vlm::host
