#include "workbench/workbench.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QPixmap>
#include <ostream>
#include <string>

#include "gui/qt_dialogs.h"
#include "run/exit_status.h"
#include "run/selection_text.h"
#include "vlm/error.h"
#include "workbench/scene_view.h"
#include "workbench/workbench_window.h"

namespace vlm::workbench {
namespace {

constexpr const char* kWhat = "the workbench (vlmhost gui)";
constexpr const char* kVirtualDisplay =
    "run it on a screen, or under a virtual display: xvfb-run -a vlmhost gui ...";

// The view draws with OpenGL inside the window. Qt's offscreen and minimal platforms draw
// widgets without it (a QOpenGLWidget there brings the process down when it is shown), and a
// display may offer none: both are said before any window is made.
std::string OpenGlProblem() {
  const std::string platform = QGuiApplication::platformName().toStdString();
  if (platform == "offscreen" || platform == "minimal")
    return std::string(kWhat) + " draws its view with OpenGL, which Qt's \"" + platform +
           "\" platform (QT_QPA_PLATFORM) does not offer: " + kVirtualDisplay;
  QOpenGLContext context;
  if (!context.create())
    return std::string(kWhat) +
           " draws its view with OpenGL, and this display offers none: " + kVirtualDisplay;
  return {};
}

}  // namespace

int WorkbenchCommand(const WorkbenchOptions& options, std::ostream& err) {
  if (!gui::DisplayProblem(kWhat).empty()) {
    err << "error: " << kWhat << " needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set ("
        << kVirtualDisplay << ")\n";
    return host::ExitBadInput;
  }
  std::error_code ec;
  if (options.file && !std::filesystem::is_regular_file(*options.file, ec)) {
    err << "error: " << options.file->string() << ": no such file\n";
    return host::ExitBadInput;
  }
  gui::EnsureApplication();
  if (const std::string problem = OpenGlProblem(); !problem.empty()) {
    err << "error: " << problem << "\n";
    return host::ExitBadInput;
  }
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
