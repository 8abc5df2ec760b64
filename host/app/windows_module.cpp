// vlmhost_windows.so: the windows, with Qt: the workbench, the dialogs of `run --gui` and the
// forms drawn to pictures, as app/window_commands.cpp calls them (app/modules.h).
#include <memory>
#include <string>

#include "app/modules.h"
#include "gui/qt_dialogs.h"
#include "gui/screenshots.h"
#include "run/plugin_help.h"
#include "vlm/error.h"
#include "workbench/workbench.h"

namespace {

std::shared_ptr<vlm::DialogBackend> Dialogs(const std::string& progId) {
  using namespace vlm;
  if (std::string problem = gui::DisplayProblem(); !problem.empty())
    Raise(err::InvalidProcedureCall, problem);
  auto windows = std::make_shared<gui::QtDialogs>();
  windows->SetHelp(host::HelpFor(progId));
  return windows;
}

const vlm::app::WindowsModule kWindows = {
    &vlm::workbench::WorkbenchCommand,
    &vlm::gui::ScreenshotsCommand,
    &Dialogs,
};

}  // namespace

extern "C" const void* vlm_module_entry() {
  return &kWindows;
}
