// Progress of long work (an import, an export), for a host that shows it. A plug-in reports
// at coarse steps; the host installs the display (a bar on a terminal) or none, in which case
// reports cost next to nothing and show nothing.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vlm {

class ProgressDisplay {
 public:
  virtual ~ProgressDisplay();
  // `task` is `fraction` (0 .. 1) done.
  virtual void Show(std::string_view task, double fraction) = 0;
  // The task is over (done or given up): whatever was shown goes.
  virtual void Finish() = 0;
};

// Installs the display in the run context installed (null: none); the previous one is
// returned.
std::shared_ptr<ProgressDisplay> SetProgressDisplay(std::shared_ptr<ProgressDisplay> display);

// One task from its first report to the end of the scope, however it ends.
class ProgressTask {
 public:
  explicit ProgressTask(std::string_view task);
  ~ProgressTask();
  ProgressTask(const ProgressTask&) = delete;
  ProgressTask& operator=(const ProgressTask&) = delete;
  // `done` of `total` steps are done.
  void Report(double done, double total) const;

 private:
  std::string task_;
  std::shared_ptr<ProgressDisplay> display_;
};

}  // namespace vlm
