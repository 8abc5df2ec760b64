#include "gui/screenshots.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLayout>
#include <QPixmap>
#include <algorithm>
#include <cctype>
#include <ostream>

#include "gui/form_window.h"
#include "gui/qt_dialogs.h"
#include "vlm/component.h"
#include "vlm/contracts/form_catalog.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/run_context.h"
#include "vlm/scripted_dialogs.h"

namespace vlm::gui {
namespace {

// "Special Functionality" -> "special-functionality".
std::string Slug(const std::string& text) {
  std::string slug;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!slug.empty() && slug.back() != '-') {
      slug += '-';
    }
  }
  while (!slug.empty() && slug.back() == '-')
    slug.pop_back();
  return slug;
}

std::string Png(QWidget& window) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  // Three bytes a pixel: the unused fourth byte of a grabbed window is not always the same,
  // and the same window should give the same file.
  window.grab().toImage().convertToFormat(QImage::Format_RGB888).save(&buffer, "PNG");
  return bytes.toStdString();
}

// The off-screen platform says on every window that it cannot pass size hints on; no one
// needs to read that. Qt keeps one message handler for the process, so the one it passes the
// other messages on to is kept for the process too.
QtMessageHandler previousHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("propagateSizeHints") || message.contains("XDG_RUNTIME_DIR")) return;
  if (previousHandler) previousHandler(type, context, message);
}

}  // namespace

void VisitForms(const std::string& progId,
                const std::function<void(FormWindow&, const std::string& page)>& visit) {
  // A context of its own, as a first run has it: nothing remembered is read, nothing is
  // stored, and a form that shows a message as it loads is answered as it opens.
  RunContext context;
  context.UseFreshSettings(true);
  context.SetDialogBackend(std::make_shared<ScriptedDialogs>());
  RunContext::Scope scope(context);
  Instance instance = CreateObject(progId);
  auto* catalog = instance.As<FormCatalog>(FormCatalog::InterfaceName);
  std::vector<std::string> names;
  if (!catalog) return;
  auto fail = [&progId, &context](const std::string& what) {
    throw Error(err::InvalidProcedureCall,
                progId + ": cannot " + what + ": " + context.LastError().description);
  };
  if (Failed(catalog->FormCatalog_Names(names))) fail("list its forms");
  for (const std::string& name : names) {
    std::unique_ptr<Form> form;
    if (Failed(catalog->FormCatalog_Create(name, form)) || !form) fail("make the form " + name);
    {
      FormWindow window(*form);
      window.show();
      // Drawn as the active window, always: an inactive one is drawn in other colours.
      window.activateWindow();
      QElapsedTimer waited;
      waited.start();
      while (!window.isActiveWindow() && waited.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
      // At the size its layout asks for, as a run opens it, whatever the platform did to it
      // while it opened; the picture is whole even where the screen is small.
      window.ResizeToLayout(false);
      QApplication::processEvents();
      std::vector<TabStrip*> strips;
      for (Control* c : form->Controls())
        if (c->Kind() == ControlKind::TabStrip && c->Visible())
          strips.push_back(static_cast<TabStrip*>(c));
      if (strips.empty()) visit(window, "");
      for (TabStrip* tabs : strips) {
        for (int i = 1; i <= tabs->TabCount(); ++i) {
          tabs->SetSelectedIndex(i);  // as a click on the tab, without the form being shown
          window.Sync();
          QApplication::processEvents();
          // A caption the page changed (a slider's value) is laid out before anyone looks, and
          // the window grows when the page needs more room than the first one did.
          window.layout()->activate();
          window.resize(window.size().expandedTo(window.sizeHint()));
          QApplication::processEvents();
          visit(window, std::to_string(i) + "-" + Slug(tabs->TabAt(i).caption));
        }
      }
    }
    form.reset();  // before the instance whose library holds its code
  }
}

int ScreenshotsCommand(const std::filesystem::path& dir, std::vector<std::string> progIds,
                       double scale, bool one, std::ostream& out, std::ostream& err) {
  // Drawn off screen, so that the pictures do not depend on the screen at hand.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (scale != 1) qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
  // Installed once, however many times the pictures are drawn in one process: the handler
  // passes on to the one before it, never to itself.
  if (QtMessageHandler previous = qInstallMessageHandler(QuietHandler); previous != QuietHandler)
    previousHandler = previous;
  EnsureApplication();
  // Each plug-in's forms are drawn in a context of their own (VisitForms); the pictures are
  // staged in this one.
  RunContext context;
  RunContext::Scope scope(context);
  if (progIds.empty())
    for (const ClassRegistration& c : RegisteredClasses())
      progIds.push_back(c.progId);
  OutputTransaction transaction(context);
  int written = 0;
  try {
    std::filesystem::create_directories(dir);
    for (const std::string& progId : progIds) {
      // With `one`: the page that shows the most controls.
      std::string best;
      long bestCount = 0;
      VisitForms(progId, [&](FormWindow& window, const std::string& page) {
        const auto& controls = window.Model().Controls();
        const long count = std::count_if(controls.begin(), controls.end(), [&](const Control* c) {
          return window.WidgetOf(*c) && window.WidgetOf(*c)->isVisibleTo(&window);
        });
        if (one && count > bestCount) best = Png(window), bestCount = count;
        if (one) return;
        std::string file = progId + "." + window.Model().Name();
        if (!page.empty()) file += "-" + page;
        transaction.Stage(dir / (file + ".png"), Png(window));
        ++written;
      });
      if (!best.empty()) transaction.Stage(dir / (progId + ".png"), best), ++written;
    }
    transaction.Commit();
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return 2;
  } catch (const std::exception& e) {
    err << "error: " << e.what() << "\n";
    return 2;
  }
  out << written << " pictures written to " << dir.string() << "\n";
  return 0;
}

}  // namespace vlm::gui
