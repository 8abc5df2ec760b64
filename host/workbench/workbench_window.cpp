#include "workbench/workbench_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <cmath>
#include <sstream>
#include <tuple>

#include "cli/help_command.h"
#include "cli/printing.h"
#include "cli/runners.h"
#include "gui/qt_dialogs.h"
#include "scene/document.h"
#include "scene/scene_diff.h"
#include "vlm/component.h"
#include "vlm/error.h"
#include "vlm/run_context.h"
#include "vlm/settings.h"
#include "workbench/outliner.h"
#include "workbench/scene_view.h"

namespace vlm::workbench {
namespace {

constexpr int kRecentFiles = 8;
// The longest --select text the status bar shows whole; a longer one is cut (its tooltip and
// the log hold it whole).
constexpr qsizetype kShownSelectText = 300;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
std::filesystem::path PathOf(const QString& text) {
  return std::filesystem::path(text.toStdString());
}

// The user's settings of the workbench: beside the other settings, never in a build folder.
QSettings Settings() {
  return QSettings(Q((ConfigFolder() / "workbench.ini").string()), QSettings::IniFormat);
}

std::string Stated(const std::function<Status(std::string&)>& member, const std::string& other) {
  std::string value;
  return Failed(member(value)) || value.empty() ? other : value;
}

std::vector<PluginEntry> RegisteredPlugins(std::string& problem) {
  std::vector<PluginEntry> out;
  std::vector<ClassRegistration> classes;
  try {
    classes = RegisteredClasses();
  } catch (const Error& e) {
    problem = e.Description();
    return out;
  }
  for (const ClassRegistration& c : classes) {
    try {
      host::Contract contract = host::FindContract(c.progId);
      PluginEntry entry{c.progId, c.progId, "", PluginEntry::Kind::Tool};
      if (contract.tool) {
        entry.name = Stated([&](auto& v) { return contract.tool->Plugin_Name(v); }, c.progId);
      } else if (contract.operation) {
        entry.kind = PluginEntry::Kind::Operation;
        entry.name =
            Stated([&](auto& v) { return contract.operation->Operation_Name(v); }, c.progId);
      } else {
        entry.kind = PluginEntry::Kind::Exporter;
        auto* e = contract.exporter;
        entry.name =
            Stated([&](auto& v) { return e->PluginImportExport_FileTypeDescription(v); }, c.progId);
        entry.extension = Stated([&](auto& v) { return e->PluginImportExport_FileType(v); }, "");
      }
      out.push_back(entry);
    } catch (const Error& e) {
      problem += (problem.empty() ? "" : "\n") + c.progId + ": " + e.Description();
    }
  }
  return out;
}

std::vector<FaceRef> ViewFaces(const std::vector<host::FaceHit>& hits) {
  std::vector<FaceRef> out;
  out.reserve(hits.size());
  for (const host::FaceHit& h : hits)
    out.push_back({h.mesh, h.face});
  return out;
}

}  // namespace

// ---- what the window asks a person ----

std::optional<std::filesystem::path> Asker::FileToOpen(QWidget* parent, const QString& title,
                                                       const QString& filter) {
  const QString file = QFileDialog::getOpenFileName(parent, title, {}, filter);
  if (file.isEmpty()) return std::nullopt;
  return PathOf(file);
}

std::optional<std::filesystem::path> Asker::FileToWrite(QWidget* parent, const QString& title,
                                                        const QString& filter,
                                                        const std::filesystem::path& suggested) {
  const QString file = QFileDialog::getSaveFileName(parent, title, Q(suggested.string()), filter);
  if (file.isEmpty()) return std::nullopt;
  return PathOf(file);
}

Asker::Unsaved Asker::SaveChanges(QWidget* parent, const QString& document) {
  switch (QMessageBox::question(
      parent, QObject::tr("Save changes?"),
      QObject::tr("%1 has changes that are not saved. Save them first?").arg(document),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save)) {
    case QMessageBox::Save:
      return Unsaved::Save;
    case QMessageBox::Discard:
      return Unsaved::Discard;
    default:
      return Unsaved::Cancel;
  }
}

std::optional<std::vector<std::string>> Asker::Parameters(
    QWidget* parent, const QString& plugin, const std::vector<OperationParameter>& params) {
  QDialog dialog(parent);
  dialog.setWindowTitle(plugin);
  auto* form = new QFormLayout(&dialog);
  std::vector<QDoubleSpinBox*> boxes;
  for (const OperationParameter& p : params) {
    auto* box = new QDoubleSpinBox(&dialog);
    box->setObjectName(Q(p.Name));
    box->setDecimals(4);
    const bool ranged =
        std::isfinite(p.Minimum) && std::isfinite(p.Maximum) && p.Maximum > p.Minimum;
    box->setRange(ranged ? p.Minimum : -1e9, ranged ? p.Maximum : 1e9);
    if (p.Increment > 0) box->setSingleStep(p.Increment);
    box->setValue(p.Value);
    form->addRow(Q(p.Text.empty() ? p.Name : p.Text), box);
    boxes.push_back(box);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> out;
  for (size_t i = 0; i < params.size(); ++i)
    out.push_back(params[i].Name + "=" + host::Number(static_cast<float>(boxes[i]->value())));
  return out;
}

void Asker::Problem(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QObject::tr("Workbench"), text);
}

// ---- the window ----

WorkbenchWindow::WorkbenchWindow(std::shared_ptr<Asker> asker, QWidget* parent)
    : QMainWindow(parent),
      asker_(asker ? std::move(asker) : std::make_shared<Asker>()),
      dialogs_(std::make_shared<gui::QtDialogs>()) {
  view_ = new SceneView(this);
  setCentralWidget(view_);
  outliner_ = new Outliner(this);
  auto* tree = new QDockWidget(tr("Outliner"), this);
  tree->setObjectName("outliner");
  tree->setWidget(outliner_);
  addDockWidget(Qt::LeftDockWidgetArea, tree);
  log_ = new QPlainTextEdit(this);
  log_->setReadOnly(true);
  log_->setObjectName("log");
  log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  auto* logDock = new QDockWidget(tr("Log"), this);
  logDock->setObjectName("logPane");
  logDock->setWidget(log_);
  addDockWidget(Qt::BottomDockWidgetArea, logDock);
  counts_ = new QLabel(this);
  selectText_ = new QLabel(this);
  selectText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(counts_);
  statusBar()->addWidget(selectText_, 1);

  std::string problem;
  plugins_ = RegisteredPlugins(problem);
  BuildMenus();
  if (!problem.empty()) Log(tr("plug-ins that cannot be listed: %1").arg(Q(problem)), "#b00000");
  if (plugins_.empty())
    Log(tr("No plug-in is registered: register them with vlmhost register LIBRARY..."));

  connect(view_, &SceneView::FacesPicked, this,
          [this](const std::vector<FaceRef>& faces, PickOp op) {
            std::vector<host::FaceHit> hits;
            hits.reserve(faces.size());
            for (const FaceRef& f : faces)
              hits.push_back({f.mesh, f.face});
            const int mode = modes_->checkedAction()->data().toInt();
            host::PickedItems picked = picks_;
            host::CombinePicks(picked, hits, static_cast<host::PickMode>(mode),
                               op == PickOp::Replace ? host::PickCombine::Replace
                               : op == PickOp::Add   ? host::PickCombine::Add
                                                     : host::PickCombine::Toggle);
            SetPicks(picked);
          });
  connect(outliner_, &Outliner::Picked, this, &WorkbenchWindow::SetPicks);
  resize(1200, 800);
  // The docks take their share once the window is laid out.
  QTimer::singleShot(0, this, [this, tree, logDock] {
    resizeDocks({tree}, {fontMetrics().averageCharWidth() * 48}, Qt::Horizontal);
    resizeDocks({logDock}, {fontMetrics().lineSpacing() * 8}, Qt::Vertical);
  });
  DocumentChanged(true);
}

WorkbenchWindow::~WorkbenchWindow() {
  // The view and the outliner point into the document: they let go of it first.
  view_->SetDocument(nullptr);
  outliner_->SetDocument(nullptr);
}

QAction* WorkbenchWindow::AddAction(QMenu* menu, const QString& name, const QString& text,
                                    const QKeySequence& keys) {
  QAction* action = menu->addAction(text);
  action->setObjectName(name);
  if (!keys.isEmpty()) action->setShortcut(keys);
  return action;
}

QAction* WorkbenchWindow::Action(const QString& name) const {
  return findChild<QAction*>(name);
}

void WorkbenchWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  connect(AddAction(file, "fileOpen", tr("&Open..."), QKeySequence::Open), &QAction::triggered,
          this, &WorkbenchWindow::OpenDialog);
  connect(AddAction(file, "fileImport", tr("&Import model...")), &QAction::triggered, this,
          &WorkbenchWindow::ImportDialog);
  recent_ = file->addMenu(tr("Open &recent"));
  recent_->setObjectName("fileRecent");
  file->addSeparator();
  connect(AddAction(file, "fileSave", tr("&Save"), QKeySequence::Save), &QAction::triggered, this,
          &WorkbenchWindow::Save);
  connect(AddAction(file, "fileSaveAs", tr("Save &as..."), QKeySequence::SaveAs),
          &QAction::triggered, this, &WorkbenchWindow::SaveAsDialog);
  connect(AddAction(file, "fileExportModel", tr("&Export model...")), &QAction::triggered, this,
          &WorkbenchWindow::ExportModelDialog);
  file->addSeparator();
  connect(AddAction(file, "fileQuit", tr("&Quit"), QKeySequence::Quit), &QAction::triggered, this,
          &QWidget::close);
  UpdateRecentMenu();

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  connect(AddAction(edit, "editUndo", tr("&Undo"), QKeySequence::Undo), &QAction::triggered, this,
          &WorkbenchWindow::Undo);
  connect(AddAction(edit, "editRedo", tr("&Redo"), QKeySequence::Redo), &QAction::triggered, this,
          &WorkbenchWindow::Redo);
  edit->addSeparator();
  connect(AddAction(edit, "editSelectNone", tr("Select &none")), &QAction::triggered, this,
          [this] { SetPicks({}); });

  QMenu* viewMenu = menuBar()->addMenu(tr("&View"));
  QAction* wire = AddAction(viewMenu, "viewWireframe", tr("&Wireframe"), QKeySequence("W"));
  wire->setCheckable(true);
  connect(wire, &QAction::toggled, view_, &SceneView::SetWireframe);
  QAction* back = AddAction(viewMenu, "viewBackFaces", tr("&Back faces"), QKeySequence("B"));
  back->setCheckable(true);
  connect(back, &QAction::toggled, view_, &SceneView::SetBackFaces);
  viewMenu->addSeparator();
  connect(AddAction(viewMenu, "viewFrameAll", tr("Frame &all"), QKeySequence("Home")),
          &QAction::triggered, view_, &SceneView::FrameAll);
  connect(AddAction(viewMenu, "viewFrameSelected", tr("Frame &selected"), QKeySequence("F")),
          &QAction::triggered, view_, &SceneView::FrameSelected);
  // The keys the view itself answers to.
  const std::tuple<const char*, ViewDirection, const char*> directions[] = {
      {"Front", ViewDirection::Front, "1"},
      {"Top", ViewDirection::Top, "7"},
      {"Side", ViewDirection::Side, "3"}};
  for (const auto& [name, direction, key] : directions)
    connect(AddAction(viewMenu, QString("view") + name, tr(name), QKeySequence(key)),
            &QAction::triggered, view_, [this, d = direction] { view_->ViewFrom(d); });

  QToolBar* picking = addToolBar(tr("Picking"));
  picking->setObjectName("picking");
  modes_ = new QActionGroup(this);
  const std::pair<const char*, host::PickMode> modes[] = {{"Faces", host::PickMode::Faces},
                                                          {"Objects", host::PickMode::Objects},
                                                          {"Groups", host::PickMode::Groups}};
  for (const auto& [name, mode] : modes) {
    QAction* a = picking->addAction(tr(name));
    a->setObjectName(QString("pick") + name);
    a->setCheckable(true);
    a->setData(static_cast<int>(mode));
    a->setToolTip(tr("A click picks %1; Shift adds, Ctrl toggles, a drag picks in a box")
                      .arg(tr(name).toLower()));
    modes_->addAction(a);
  }
  modes_->actions().first()->setChecked(true);
  picking->addSeparator();
  QAction* through = picking->addAction(tr("Through"));
  through->setObjectName("pickThrough");
  through->setCheckable(true);
  through->setToolTip(tr("A dragged box picks hidden faces too"));
  connect(through, &QAction::toggled, view_, &SceneView::SetBoxThrough);

  BuildPluginMenu(menuBar()->addMenu(tr("&Plug-ins")));
}

void WorkbenchWindow::BuildPluginMenu(QMenu* menu) {
  const std::pair<PluginEntry::Kind, QString> kinds[] = {
      {PluginEntry::Kind::Tool, tr("Tools and editors")},
      {PluginEntry::Kind::Operation, tr("Operations")},
      {PluginEntry::Kind::Exporter, tr("Exporters")}};
  for (const auto& [kind, title] : kinds) {
    QMenu* sub = menu->addMenu(title);
    for (const PluginEntry& p : plugins_) {
      if (p.kind != kind) continue;
      QAction* a = sub->addAction(Q(p.name + "  (" + p.progId + ")"));
      a->setObjectName(Q("run " + p.progId));
      connect(a, &QAction::triggered, this, [this, id = p.progId] { RunPlugin(id); });
    }
    sub->setEnabled(!sub->isEmpty());
  }
}

// ---- the document shown ----

void WorkbenchWindow::DocumentChanged(bool frame) {
  view_->SetTextureFolder(session_.TextureFolder());
  view_->SetDocument(&session_.Document());
  outliner_->SetDocument(&session_.Document());
  view_->SetChangedFaces({});
  picks_ = host::PickedIn(session_.Document());
  ShowPicks();
  if (frame) view_->FrameAll();
  UpdateTitle();
}

void WorkbenchWindow::UpdateTitle() {
  const auto& file = session_.File();
  setWindowTitle(Q((file ? file->filename().string() : session_.SuggestedFile().string()) +
                   "[*] - vlmhost workbench"));
  setWindowModified(session_.Dirty());
  QAction* undo = Action("editUndo");
  QAction* redo = Action("editRedo");
  undo->setEnabled(session_.CanUndo());
  redo->setEnabled(session_.CanRedo());
  undo->setText(session_.CanUndo() ? tr("&Undo %1").arg(Q(session_.UndoLabel())) : tr("&Undo"));
  redo->setText(session_.CanRedo() ? tr("&Redo %1").arg(Q(session_.RedoLabel())) : tr("&Redo"));
}

std::string WorkbenchWindow::SelectText() const {
  return host::SelectCommandLine(host::SelectTexts(picks_));
}

void WorkbenchWindow::SetPicks(const host::PickedItems& picked) {
  picks_ = picked;
  try {
    host::SelectByTexts(session_.Document(), host::SelectTexts(picks_));
  } catch (const Error& e) {
    Fail(tr("The picks cannot be selected"), e.Description());
  }
  ShowPicks();
}

void WorkbenchWindow::ShowPicks() {
  view_->SetSelectedFaces(ViewFaces(host::PickedFaces(picks_)));
  outliner_->ShowPicks(picks_);
  counts_->setText(tr("Picked: %1").arg(Q(host::DescribePicks(picks_))));
  const QString text = Q(SelectText());
  selectText_->setText(text.size() > kShownSelectText ? text.left(kShownSelectText) + "..." : text);
  selectText_->setToolTip(text);
}

// ---- the log ----

QString WorkbenchWindow::LogText() const {
  return log_->toPlainText();
}

void WorkbenchWindow::Log(const QString& text, const char* colour) {
  QString html = text.toHtmlEscaped();
  if (colour) html = QString("<span style=\"color:%1\">%2</span>").arg(colour, html);
  log_->appendHtml(html);
}

void WorkbenchWindow::LogLines(const std::string& text) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const char* colour = line.starts_with("error:")          ? "#b00000"
                         : line.starts_with("warning:")      ? "#a06000"
                         : line.starts_with("nothing done:") ? "#0050a0"
                                                             : nullptr;
    Log(Q(line), colour);
  }
}

void WorkbenchWindow::Fail(const QString& what, const std::string& problem) {
  const QString text = what + ": " + Q(problem);
  Log(tr("error: %1").arg(text), "#b00000");
  statusBar()->showMessage(text, 10000);
  asker_->Problem(this, text);
}

// ---- plug-in runs ----

std::optional<std::vector<std::string>> WorkbenchWindow::AskParameters(const PluginEntry& plugin) {
  std::vector<OperationParameter> params;
  try {
    RunContext context;
    context.UseFreshSettings(fresh_);
    RunContext::Scope scope(context);
    host::Contract contract = host::FindContract(plugin.progId);
    if (Failed(contract.operation->Operation_GetParameters(&session_.Document(), 0, 1, params)))
      Raise(err::InvalidProcedureCall, "its parameters cannot be read");
  } catch (const Error& e) {
    Fail(tr("%1 cannot run").arg(Q(plugin.progId)), e.Description());
    return std::nullopt;
  }
  return asker_->Parameters(this, Q(plugin.name), params);
}

int WorkbenchWindow::RunPlugin(const std::string& progId) {
  auto entry = std::find_if(plugins_.begin(), plugins_.end(),
                            [&](const PluginEntry& p) { return p.progId == progId; });
  if (entry == plugins_.end()) {
    Fail(tr("No such plug-in"), progId + " is not registered");
    return host::ExitBadInput;
  }
  host::RunOptions options;
  options.progId = progId;
  options.selections = host::SelectTexts(picks_);
  // F1 in the plug-in's dialogs shows the help `vlmhost help` prints.
  dialogs_->SetHelp(host::HelpFor(progId));
  options.windows = dialogs_;
  options.fresh = fresh_;
  if (entry->kind == PluginEntry::Kind::Operation) {
    auto params = AskParameters(*entry);
    if (!params) return host::ExitNothingDone;
    options.params = *params;
  }
  if (entry->kind == PluginEntry::Kind::Exporter) {
    const std::string ext = entry->extension.empty() ? "*" : entry->extension;
    auto file = asker_->FileToWrite(
        this, tr("Export with %1").arg(Q(entry->name)),
        Q(entry->name + " (*." + ext + ");;All files (*)"),
        session_.SuggestedFile().replace_extension(entry->extension.empty() ? "" : "." + ext));
    if (!file) return host::ExitNothingDone;
    options.output = *file;
  }
  // The same run on the command line, for the log.
  std::string line = "vlmhost run " + (fresh_ ? std::string("--fresh ") : "") + progId + " " +
                     host::ShellQuoted(session_.SuggestedFile().string());
  if (!options.selections.empty()) line += " " + host::SelectCommandLine(options.selections);
  for (const std::string& p : options.params)
    line += " --param " + host::ShellQuoted(p);
  if (options.output) line += " -o " + host::ShellQuoted(options.output->string());
  Log(Q("$ " + line), "#606060");

  const uint64_t version = session_.Version();
  std::ostringstream log, err;
  const int status = session_.Run(options, log, err);
  LogLines(log.str());
  LogLines(err.str());
  const QString outcome = status == host::ExitOk            ? tr("done")
                          : status == host::ExitNothingDone ? tr("nothing done")
                          : status == host::ExitBadInput    ? tr("refused: bad input")
                                                            : tr("failed");
  Log(tr("%1: %2 (exit status %3)%4")
          .arg(Q(entry->name), outcome)
          .arg(status)
          .arg(status == host::ExitOk ? "" : tr("; the document is as it was")),
      status == host::ExitOk ? "#006000" : "#b00000");
  statusBar()->showMessage(Q(entry->name) + ": " + outcome, 10000);
  if (session_.Version() != version) {
    DocumentChanged(false);
    ShowChanges(session_.LastChange()->before);
  }
  return status;
}

void WorkbenchWindow::ShowChanges(const std::string& before) {
  host::SceneDiff diff;
  try {
    diff = host::DiffDocuments(before, session_.Document(), "(the scene before the run)");
  } catch (const Error& e) {
    Log(tr("the changes cannot be listed: %1").arg(Q(e.Description())));
    return;
  }
  std::vector<host::FaceHit> changed;
  auto list = [&](const std::vector<host::SceneItem>& items, const char* how) {
    for (const host::SceneItem& item : items) {
      std::string text = std::string(how) + " " + host::KindName(item.kind) + " " + item.path;
      if (!item.faces.empty()) text += " (" + std::to_string(item.faces.size()) + " faces)";
      Log(Q(text));
      if (item.kind != host::SceneItem::Kind::Object || std::string_view(how) == "removed")
        continue;
      std::string problem;
      const host::HostMesh* mesh = session_.Document().FindMesh(item.path, &problem);
      if (!mesh) continue;
      if (item.faces.empty() && std::string_view(how) == "made")
        for (size_t f = 0; f < mesh->FaceCount(); ++f)
          changed.push_back({mesh, static_cast<int32_t>(f)});
      for (int32_t f : item.faces)
        changed.push_back({mesh, f});
    }
  };
  list(diff.created, "made");
  list(diff.changed, "changed");
  list(diff.removed, "removed");
  if (diff.Empty()) Log(tr("(the scene did not change)"));
  view_->SetChangedFaces(ViewFaces(changed));
}

// ---- undo ----

void WorkbenchWindow::Undo() {
  if (!session_.CanUndo()) return;
  const std::string label = session_.UndoLabel();
  try {
    session_.Undo();
  } catch (const Error& e) {
    return Fail(tr("Undo failed"), e.Description());
  }
  Log(tr("undid %1").arg(Q(label)));
  DocumentChanged(false);
}

void WorkbenchWindow::Redo() {
  if (!session_.CanRedo()) return;
  const std::string label = session_.RedoLabel();
  try {
    session_.Redo();
  } catch (const Error& e) {
    return Fail(tr("Redo failed"), e.Description());
  }
  Log(tr("redid %1").arg(Q(label)));
  DocumentChanged(false);
}

// ---- files ----

std::vector<std::string> WorkbenchWindow::RecentFiles() const {
  std::vector<std::string> out;
  for (const QString& f : Settings().value("recentFiles").toStringList())
    out.push_back(f.toStdString());
  return out;
}

void WorkbenchWindow::RememberFile(const std::filesystem::path& file) {
  std::error_code ec;
  const QString path = Q(std::filesystem::absolute(file, ec).lexically_normal().string());
  QSettings settings = Settings();
  QStringList files = settings.value("recentFiles").toStringList();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > kRecentFiles)
    files.removeLast();
  settings.setValue("recentFiles", files);
  settings.sync();
  UpdateRecentMenu();
}

void WorkbenchWindow::UpdateRecentMenu() {
  recent_->clear();
  for (const std::string& file : RecentFiles())
    connect(recent_->addAction(Q(file)), &QAction::triggered, this,
            [this, file] { OpenFile(file); });
  recent_->setEnabled(!recent_->isEmpty());
}

bool WorkbenchWindow::MaySetAside() {
  if (!session_.Dirty()) return true;
  switch (asker_->SaveChanges(this, Q(session_.SuggestedFile().filename().string()))) {
    case Asker::Unsaved::Save:
      return Save();
    case Asker::Unsaved::Discard:
      return true;
    case Asker::Unsaved::Cancel:
      return false;
  }
  return false;
}

bool WorkbenchWindow::OpenFile(const std::filesystem::path& file) {
  const bool scene = file.extension() == ".json";
  // An import can be undone; opening a scene sets the document and its history aside.
  if (scene && !MaySetAside()) return false;
  std::ostringstream log;
  try {
    if (scene)
      session_.Open(file);
    else
      session_.Import(file, {}, log);
  } catch (const Error& e) {
    Fail(scene ? tr("Cannot open %1").arg(Q(file.string()))
               : tr("Cannot import %1").arg(Q(file.string())),
         e.Description());
    return false;
  }
  LogLines(log.str());
  Log((scene ? tr("opened %1") : tr("imported %1")).arg(Q(file.string())));
  RememberFile(file);
  DocumentChanged(true);
  return true;
}

bool WorkbenchWindow::SaveAs(const std::filesystem::path& file) {
  std::vector<std::string> warnings;
  try {
    warnings = session_.SaveAs(file);
  } catch (const Error& e) {
    Fail(tr("Cannot save"), e.Description());
    return false;
  }
  for (const std::string& warning : warnings)
    Log(tr("warning: %1").arg(Q(warning)));
  Log(tr("saved %1").arg(Q(file.string())));
  RememberFile(file);
  view_->SetTextureFolder(file.parent_path());
  UpdateTitle();
  return true;
}

bool WorkbenchWindow::Save() {
  if (session_.File()) return SaveAs(*session_.File());
  auto file = asker_->FileToWrite(this, tr("Save the scene"), tr("Scenes (*.json)"),
                                  session_.SuggestedFile());
  return file && SaveAs(*file);
}

void WorkbenchWindow::OpenDialog() {
  auto file = asker_->FileToOpen(this, tr("Open a scene or a model"),
                                 tr("Scenes (*.json);;Models (*.glb *.gltf *.obj *.fbx *.dae "
                                    "*.3ds *.ac *.ply *.stl);;All files (*)"));
  if (file) OpenFile(*file);
}

void WorkbenchWindow::ImportDialog() {
  auto file = asker_->FileToOpen(
      this, tr("Import a model"),
      tr("Models (*.glb *.gltf *.obj *.fbx *.dae *.3ds *.ac *.ply *.stl);;All files (*)"));
  if (!file) return;
  std::ostringstream log;
  try {
    session_.Import(*file, {}, log);
  } catch (const Error& e) {
    return Fail(tr("Cannot import %1").arg(Q(file->string())), e.Description());
  }
  LogLines(log.str());
  Log(tr("imported %1").arg(Q(file->string())));
  DocumentChanged(true);
}

void WorkbenchWindow::SaveAsDialog() {
  auto file = asker_->FileToWrite(this, tr("Save the scene as"), tr("Scenes (*.json)"),
                                  session_.SuggestedFile());
  if (file) SaveAs(*file);
}

void WorkbenchWindow::ExportModelDialog() {
  auto file = asker_->FileToWrite(this, tr("Export a model"),
                                  tr("Models (*.glb *.gltf *.obj *.dae *.ply *.stl)"),
                                  session_.SuggestedFile().replace_extension(".glb"));
  if (!file) return;
  std::ostringstream log;
  try {
    session_.ExportModel(*file, log);
  } catch (const Error& e) {
    return Fail(tr("Cannot export the model"), e.Description());
  }
  LogLines(log.str());
}

void WorkbenchWindow::closeEvent(QCloseEvent* event) {
  if (MaySetAside())
    event->accept();
  else
    event->ignore();
}

}  // namespace vlm::workbench
