#include "workbench/workbench.h"

#include <QApplication>
#include <QPixmap>
#include <ostream>

#include "cli/exit_status.h"
#include "cli/selection_text.h"
#include "gui/qt_dialogs.h"
#include "vlm/error.h"
#include "workbench/scene_view.h"
#include "workbench/workbench_window.h"

namespace vlm::workbench {

int WorkbenchCommand(const WorkbenchOptions& options, std::ostream& err) {
  if (const std::string problem = gui::DisplayProblem("the workbench (vlmhost gui)");
      !problem.empty()) {
    err << "error: " << problem << "\n";
    return host::ExitBadInput;
  }
  std::error_code ec;
  if (options.file && !std::filesystem::is_regular_file(*options.file, ec)) {
    err << "error: " << options.file->string() << ": no such file\n";
    return host::ExitBadInput;
  }
  gui::EnsureApplication();
  WorkbenchWindow window;
  window.show();
  if (options.file && !window.OpenFile(*options.file) && options.picture) return host::ExitBadInput;
  if (!options.selections.empty()) {
    try {
      window.SetPicks(host::SelectByTexts(window.CurrentSession().Document(), options.selections));
    } catch (const Error& e) {
      err << "error: " << e.Description() << "\n";
      return host::ExitBadInput;
    }
    window.View().FrameAll();
  }
  if (!options.picture) {
    QApplication::exec();
    return host::ExitOk;
  }
  for (int i = 0; i < 10; ++i)
    QApplication::processEvents();
  if (!window.grab().save(QString::fromStdString(options.picture->string()), "PNG")) {
    err << "error: " << options.picture->string() << ": cannot write the picture\n";
    return host::ExitRunFailed;
  }
  return host::ExitOk;
}

}  // namespace vlm::workbench
