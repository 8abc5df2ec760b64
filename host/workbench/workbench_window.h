// The workbench: the scene in a 3D view, its groups and objects in an outliner, picking with
// the mouse, every registered plug-in run on what is picked (the same run and the same
// --select texts as `vlmhost run`), a log of every run, undo and redo, and the File menu.
#pragma once

#include <QDoubleSpinBox>
#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "prep/prep_step.h"
#include "run/selection_text.h"
#include "vlm/contracts/operation.h"
#include "workbench/view_picks.h"
#include "workbench/workbench_session.h"

class QAction;
class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QPlainTextEdit;

namespace vlm::gui {
class QtDialogs;
}

namespace vlm::workbench {

class Outliner;
class PropertiesPanel;
class SceneView;
class AnimationPanel;

// The field an operation's parameter is edited in: its range and step, and as many decimals
// as it has (none for a count, a parameter of unit kind 0 stepped by whole numbers: Flare's
// Step takes 3, not 3.7).
QDoubleSpinBox* ParameterBox(const OperationParameter& parameter, QWidget* parent);

// What the window asks a person. The window's own asks Qt's dialogs; tests answer in code.
class Asker {
 public:
  virtual ~Asker() = default;
  // A file to read, or none when the person cancels.
  virtual std::optional<std::filesystem::path> FileToOpen(QWidget* parent, const QString& title,
                                                          const QString& filter);
  virtual std::optional<std::filesystem::path> FileToWrite(QWidget* parent, const QString& title,
                                                           const QString& filter,
                                                           const std::filesystem::path& suggested);
  enum class Unsaved { Save, Discard, Cancel };
  virtual Unsaved SaveChanges(QWidget* parent, const QString& document);
  // The values an operation runs with, as NAME=VALUE, starting from `params`; none: cancelled.
  virtual std::optional<std::vector<std::string>> Parameters(
      QWidget* parent, const QString& plugin, const std::vector<OperationParameter>& params);
  // The options a preparation step runs with, as NAME=VALUE (a flag: NAME alone); none:
  // cancelled. The step's own dialog (prep_dialog.h).
  virtual std::optional<std::vector<std::string>> PrepOptions(QWidget* parent,
                                                              const host::PrepStepInfo& step);
  // A problem the person must see (it is in the log too).
  virtual void Problem(QWidget* parent, const QString& text);
};

// A registered plug-in as the Plug-ins menu lists it.
struct PluginEntry {
  enum class Kind { Tool, Operation, Exporter };
  std::string progId;
  std::string name;       // as it states it
  std::string extension;  // an exporter's file type
  Kind kind = Kind::Tool;
};

class WorkbenchWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit WorkbenchWindow(std::shared_ptr<Asker> asker = nullptr, QWidget* parent = nullptr);
  ~WorkbenchWindow() override;

  // File menu's work, also for `vlmhost gui FILE` and tests: a scene file (.json) or a model
  // (imported). False when it failed (said in the log and to the person).
  bool OpenFile(const std::filesystem::path& file);
  bool Save();
  bool SaveAs(const std::filesystem::path& file);
  // Runs a registered plug-in on what is picked; its exit status.
  int RunPlugin(const std::string& progId);
  // Runs a preparation step (the Prepare menu) on what is picked, or on the whole scene when
  // nothing is, with the options its dialog gives; its exit status.
  int RunPrep(const std::string& step);
  // Runs a preparation step with these options (as its dialog gives them), asking nothing.
  int RunPrepWith(const std::string& step, const std::vector<std::string>& options);

  // Replaces the picks, as the view or the outliner would.
  void SetPicks(const host::PickedItems& picked);
  const host::PickedItems& Picks() const { return picks_; }
  // The Edit menu's Select all, Select none and Invert selection, in the pick mode chosen, of
  // what the view shows.
  void SelectAll();
  void SelectInverse();
  // The View menu's hiding (the outliner's menu hides and isolates its items): Hide selected
  // drops the picks it hides, Isolate keeps them. Not the document's: nothing is undone or
  // saved.
  void HideItems(const host::PickedItems& items);
  void IsolateItems(const host::PickedItems& items);
  void ShowAll();
  // The faces hidden, as the view was given them.
  std::vector<host::FaceHit> HiddenFaceList() const;
  // The --select arguments the status bar shows for the picks.
  std::string SelectText() const;

  // Reads no remembered settings and keeps none (as `vlmhost run --fresh`).
  void UseFreshSettings(bool fresh) { fresh_ = fresh; }

  Session& CurrentSession() { return session_; }
  SceneView& View() { return *view_; }
  Outliner& Tree() { return *outliner_; }
  PropertiesPanel& Properties() { return *properties_; }
  QString LogText() const;
  gui::QtDialogs& Dialogs() { return *dialogs_; }
  const std::vector<PluginEntry>& Plugins() const { return plugins_; }
  // Every action of the menus, by its object name ("fileOpen", "viewWireframe", ...).
  QAction* Action(const QString& name) const;
  std::vector<std::string> RecentFiles() const;
  // The Animation pane: shown for a document with X-Plane animations, lights or levels of
  // detail, and posing the view.
  AnimationPanel& Animation() { return *animation_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildPluginMenu(QMenu* menu);
  void BuildPrepMenu(QMenu* menu);
  // The view's toggles, hiding and the selection's actions (workbench_view_menu.cpp).
  void BuildViewActions(QMenu* edit, QMenu* view);
  void ShowHidden();
  host::PickMode CurrentPickMode() const;
  QAction* AddAction(QMenu* menu, const QString& name, const QString& text,
                     const QKeySequence& keys = {});
  void DocumentChanged(bool frame);
  void ShowPicks();
  void UpdateTitle();
  void UpdateRecentMenu();
  void RememberFile(const std::filesystem::path& file);
  bool MaySetAside();  // asks to save changes first; false when the person cancels
  void Log(const QString& text, const char* colour = nullptr);
  void LogLines(const std::string& text);
  void Fail(const QString& what, const std::string& problem);
  void ShowChanges(const host::SceneDiff& diff);
  // The properties panel's picks, and its edits (workbench_edits.cpp): a rename and a material
  // are the session's own edits, logged as what they changed; a texture and a transform are
  // preparation steps, logged as their `vlmhost prep` lines.
  void ShowProperties();
  void RenamePicked(const QString& name);
  void AssignMaterial(const QString& material);
  void ChooseTexture(const QString& material);
  // Greys out the plug-ins the picks do not suit, each saying why in its tooltip.
  void UpdatePluginActions();
  // Runs the request through the session and logs it: the command line that makes the same
  // run, what it said, its outcome and the items it changed. `name` names it in the log and the
  // status bar, `label` in Undo and Redo; `scripted`: the plug-in's dialogs were shown, and the
  // command line answers them as the person did.
  int RunLogged(const host::RunRequest& request, const std::string& name, const std::string& label,
                bool scripted);
  std::optional<std::vector<std::string>> AskParameters(const PluginEntry& plugin);
  void OpenDialog();
  void ImportDialog();
  void SaveAsDialog();
  void ExportModelDialog();
  void Undo();
  void Redo();

  std::shared_ptr<Asker> asker_;
  std::shared_ptr<gui::QtDialogs> dialogs_;
  Session session_;
  host::PickedItems picks_;
  bool fresh_ = false;
  std::vector<PluginEntry> plugins_;
  SceneView* view_ = nullptr;
  Outliner* outliner_ = nullptr;
  PropertiesPanel* properties_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QLabel* counts_ = nullptr;
  QLabel* selectText_ = nullptr;
  QActionGroup* modes_ = nullptr;
  HiddenFaces hidden_;
  AnimationPanel* animation_ = nullptr;
  QDockWidget* animationDock_ = nullptr;
  QMenu* recent_ = nullptr;
};

}  // namespace vlm::workbench
