#include "vlm/progress.h"

#include <algorithm>
#include <utility>

#include "vlm/run_context.h"

namespace vlm {

ProgressDisplay::~ProgressDisplay() = default;

std::shared_ptr<ProgressDisplay> SetProgressDisplay(std::shared_ptr<ProgressDisplay> display) {
  return RunContext::Current().SetProgressDisplay(std::move(display));
}

ProgressTask::ProgressTask(std::string_view task)
    : task_(task), display_(RunContext::Current().Progress()) {
  if (display_) display_->Show(task_, 0);
}

ProgressTask::~ProgressTask() {
  if (display_) display_->Finish();
}

void ProgressTask::Report(double done, double total) const {
  if (display_ && total > 0) display_->Show(task_, std::clamp(done / total, 0.0, 1.0));
}

}  // namespace vlm
