// The commands that open or draw windows: the workbench (gui), screenshots, and the windows
// `run --gui` shows a plug-in's dialogs in. The windows themselves are the module
// vlmhost_windows.so (app/modules.h), loaded when one of these commands runs. A vlmhost built
// without Qt (VLM_GUI=OFF) keeps the commands and says it has no windows.
#pragma once

#include "cli/command.h"
#include "cli/run_command.h"

namespace vlm::app {

host::CommandAction AddWorkbenchCommand(CLI::App& app);
host::CommandAction AddScreenshotsCommand(CLI::App& app);
// The windows of `run --gui`: vlm::Error when none can be shown here.
host::WindowsMaker DialogWindows();

}  // namespace vlm::app
