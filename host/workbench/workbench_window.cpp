// The workbench window: its panes and menus, the document and picks shown, the log, undo.
#include "workbench/workbench_window.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QDockWidget>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <sstream>
#include <tuple>

#include "gui/qt_dialogs.h"
#include "prep/prep_step.h"
#include "run/runners.h"
#include "scene/document.h"
#include "vlm/component.h"
#include "vlm/error.h"
#include "workbench/animation_panel.h"
#include "workbench/outliner.h"
#include "workbench/prep_dialog.h"
#include "workbench/properties_panel.h"
#include "workbench/scene_view.h"
#include "workbench/window_parts.h"

namespace vlm::workbench {
namespace window {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace window

namespace {

using window::Q;

// The longest --select text the status bar shows whole; a longer one is cut (its tooltip and
// the log hold it whole).
constexpr qsizetype kShownSelectText = 300;

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

}  // namespace

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
  properties_ = new PropertiesPanel(this);
  auto* propertiesDock = new QDockWidget(tr("Properties"), this);
  propertiesDock->setObjectName("propertiesPane");
  propertiesDock->setWidget(properties_);
  addDockWidget(Qt::RightDockWidgetArea, propertiesDock);
  connect(properties_, &PropertiesPanel::RenameAsked, this, &WorkbenchWindow::RenamePicked);
  connect(properties_, &PropertiesPanel::MaterialAsked, this, &WorkbenchWindow::AssignMaterial);
  connect(properties_, &PropertiesPanel::TextureAsked, this, &WorkbenchWindow::ChooseTexture);
  connect(properties_, &PropertiesPanel::TransformAsked, this, [this](const QStringList& options) {
    std::vector<std::string> given;
    for (const QString& option : options)
      given.push_back(option.toStdString());
    RunPrepWith("transform", given);
  });
  log_ = new QPlainTextEdit(this);
  log_->setReadOnly(true);
  log_->setObjectName("log");
  log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  auto* logDock = new QDockWidget(tr("Log"), this);
  logDock->setObjectName("logPane");
  logDock->setWidget(log_);
  addDockWidget(Qt::BottomDockWidgetArea, logDock);
  // Below the panes on the right; shown only for a document it has something to pose in.
  animation_ = new AnimationPanel(this);
  animationDock_ = new QDockWidget(tr("Animation"), this);
  animationDock_->setObjectName("animationPane");
  animationDock_->setWidget(animation_);
  addDockWidget(Qt::RightDockWidgetArea, animationDock_);
  connect(animation_, &AnimationPanel::PoseChanged, this,
          [this] { view_->SetPose(animation_->Pose()); });
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
          [this](const std::vector<host::FaceHit>& faces, host::PickCombine combine) {
            const int mode = modes_->checkedAction()->data().toInt();
            host::PickedItems picked = picks_;
            host::CombinePicks(picked, faces, static_cast<host::PickMode>(mode), combine);
            SetPicks(picked);
          });
  connect(outliner_, &Outliner::Picked, this, &WorkbenchWindow::SetPicks);
  connect(view_, &SceneView::TextureProblem, this, &WorkbenchWindow::LogLines);
  // 1200 x 800, or nine tenths of a smaller screen (a laptop's at 200 %).
  QSize size(1200, 800);
  if (screen()) size = size.boundedTo(screen()->availableSize() * 0.9);
  resize(size);
  // The docks take their share once the window is laid out.
  QTimer::singleShot(0, this, [this, tree, logDock, propertiesDock] {
    // On a small screen (a laptop's at 200 %) the side panes leave the view nearly half.
    const int chars = fontMetrics().averageCharWidth();
    resizeDocks({tree, propertiesDock},
                {std::min(chars * 48, width() / 4), std::min(chars * 48, width() * 2 / 7)},
                Qt::Horizontal);
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
  // The keys work wherever the focus is in the window, but for a text field that takes the
  // key itself (Ctrl+A in the log selects its text).
  action->setShortcutContext(Qt::WindowShortcut);
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
  // The whole --select text, which the status bar shows cut short when it is long.
  QAction* copySelect =
      AddAction(edit, "editCopySelect", tr("&Copy --select"), QKeySequence("Ctrl+Shift+C"));
  connect(copySelect, &QAction::triggered, this,
          [this] { QGuiApplication::clipboard()->setText(Q(SelectText())); });
  selectText_->setContextMenuPolicy(Qt::ActionsContextMenu);
  selectText_->addAction(copySelect);

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
  const std::tuple<const char*, QString, CameraView, const char*> directions[] = {
      {"Front", tr("Front"), CameraView::Front, "1"},
      {"Top", tr("Top"), CameraView::Top, "7"},
      {"Side", tr("Side"), CameraView::Side, "3"},
      {"Back", tr("Back"), CameraView::Back, "Ctrl+1"},
      {"Bottom", tr("Bottom"), CameraView::Bottom, "Ctrl+7"},
      {"OtherSide", tr("Other side"), CameraView::OtherSide, "Ctrl+3"}};
  for (const auto& [name, caption, direction, key] : directions) {
    if (direction == CameraView::Back) viewMenu->addSeparator();
    connect(AddAction(viewMenu, QString("view") + name, caption, QKeySequence(key)),
            &QAction::triggered, view_, [this, d = direction] { view_->ViewFrom(d); });
  }
  BuildViewActions(edit, viewMenu);

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
  BuildPrepMenu(menuBar()->addMenu(tr("P&repare")));
}

void WorkbenchWindow::BuildPluginMenu(QMenu* menu) {
  const std::pair<PluginEntry::Kind, QString> kinds[] = {
      {PluginEntry::Kind::Tool, tr("Tools and editors")},
      {PluginEntry::Kind::Operation, tr("Operations")},
      {PluginEntry::Kind::Exporter, tr("Exporters")}};
  for (const auto& [kind, title] : kinds) {
    QMenu* sub = menu->addMenu(title);
    sub->setToolTipsVisible(true);  // a greyed-out plug-in says why
    for (const PluginEntry& p : plugins_) {
      if (p.kind != kind) continue;
      QAction* a = sub->addAction(Q(p.name + "  (" + p.progId + ")"));
      a->setObjectName(Q("run " + p.progId));
      connect(a, &QAction::triggered, this, [this, id = p.progId] { RunPlugin(id); });
    }
    sub->setEnabled(!sub->isEmpty());
  }
}

// The preparation steps, in the order `vlmhost prep --help` lists them; the status bar shows
// what the one under the mouse does.
void WorkbenchWindow::BuildPrepMenu(QMenu* menu) {
  menu->setObjectName("prepMenu");
  for (const host::PrepStepInfo& step : host::PrepSteps()) {
    QAction* a = AddAction(menu, Q("prep " + step.name), PrepMenuText(step));
    a->setStatusTip(PrepSummaryText(step));
    connect(a, &QAction::triggered, this, [this, name = step.name] { RunPrep(name); });
  }
}

// ---- the document shown ----

void WorkbenchWindow::DocumentChanged(bool frame) {
  view_->SetTextureFolder(session_.TextureFolder());
  view_->SetDocument(&session_.Document());
  outliner_->SetDocument(&session_.Document());
  view_->SetChangedFaces({});
  ShowHidden();
  animation_->SetDocument(&session_.Document());
  animationDock_->setVisible(!animation_->Empty());
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
  view_->SetSelectedFaces(host::PickedFaces(picks_));
  outliner_->ShowPicks(picks_);
  counts_->setText(tr("Picked: %1").arg(Q(host::DescribePicks(picks_))));
  const QString text = Q(SelectText());
  selectText_->setText(text.size() > kShownSelectText ? text.left(kShownSelectText) + "..." : text);
  selectText_->setToolTip(text);
  ShowProperties();
  UpdatePluginActions();
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
}  // namespace vlm::workbench
