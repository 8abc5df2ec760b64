// The workbench window's view toggles (edges, X-ray, orthographic), hiding and isolating, and
// the Edit menu's Select all, none and Invert.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSignalBlocker>
#include <algorithm>

#include "scene/document.h"
#include "workbench/outliner.h"
#include "workbench/scene_view.h"
#include "workbench/workbench_window.h"

namespace vlm::workbench {

void WorkbenchWindow::BuildViewActions(QMenu* edit, QMenu* view) {
  connect(AddAction(edit, "editSelectAll", tr("Select &all"), QKeySequence::SelectAll),
          &QAction::triggered, this, &WorkbenchWindow::SelectAll);
  connect(AddAction(edit, "editSelectNone", tr("Select &none"), QKeySequence("Ctrl+Shift+A")),
          &QAction::triggered, this, [this] { SetPicks({}); });
  connect(AddAction(edit, "editSelectInvert", tr("&Invert selection"), QKeySequence("Ctrl+I")),
          &QAction::triggered, this, &WorkbenchWindow::SelectInverse);

  view->addSeparator();
  QAction* edges = AddAction(view, "viewEdges", tr("&Edges"), QKeySequence("E"));
  edges->setCheckable(true);
  edges->setChecked(view_->EdgesShown());
  connect(edges, &QAction::toggled, view_, &SceneView::SetEdges);
  QAction* xray = AddAction(view, "viewXray", tr("&X-ray"), QKeySequence("Alt+Z"));
  xray->setCheckable(true);
  xray->setToolTip(tr("Faces drawn see-through; clicks and boxes pick through them"));
  connect(xray, &QAction::toggled, view_, &SceneView::SetXray);
  QAction* ortho = AddAction(view, "viewOrthographic", tr("&Orthographic"), QKeySequence("5"));
  ortho->setCheckable(true);
  connect(ortho, &QAction::toggled, view_, &SceneView::SetOrthographic);

  view->addSeparator();
  connect(AddAction(view, "viewHide", tr("&Hide selected"), QKeySequence("H")), &QAction::triggered,
          this, [this] { HideItems(picks_); });
  connect(AddAction(view, "viewIsolate", tr("&Isolate selected"), QKeySequence("Shift+H")),
          &QAction::triggered, this, [this] { IsolateItems(picks_); });
  connect(AddAction(view, "viewShowAll", tr("Sho&w all"), QKeySequence("Alt+H")),
          &QAction::triggered, this, &WorkbenchWindow::ShowAll);
  connect(outliner_, &Outliner::HideAsked, this, &WorkbenchWindow::HideItems);
  connect(outliner_, &Outliner::IsolateAsked, this, &WorkbenchWindow::IsolateItems);
  connect(outliner_, &Outliner::ShowAllAsked, this, &WorkbenchWindow::ShowAll);
}

host::PickMode WorkbenchWindow::CurrentPickMode() const {
  return static_cast<host::PickMode>(modes_->checkedAction()->data().toInt());
}

std::vector<host::FaceHit> WorkbenchWindow::HiddenFaceList() const {
  std::vector<host::FaceHit> faces = hidden_.Faces(session_.Document());
  std::sort(faces.begin(), faces.end());
  return faces;
}

// After every change of the document (open, a run, undo) too: the faces hidden are found
// again by their objects' paths. The Edges toggle shows what the view chose for the document.
void WorkbenchWindow::ShowHidden() {
  const std::vector<host::FaceHit> hidden = HiddenFaceList();
  view_->SetHiddenFaces(hidden);
  outliner_->ShowHidden(hidden);
  if (QAction* edges = Action("viewEdges")) {
    const QSignalBlocker quiet(edges);
    edges->setChecked(view_->EdgesShown());
  }
}

void WorkbenchWindow::HideItems(const host::PickedItems& items) {
  if (items.Empty()) return;
  hidden_.Hide(items);
  ShowHidden();
  // What is hidden is no longer picked (a run would change faces no one sees).
  const std::vector<host::FaceHit> hidden = HiddenFaceList();
  std::vector<host::FaceHit> picked = host::PickedFaces(picks_);
  const size_t had = picked.size();
  std::erase_if(picked, [&](const host::FaceHit& face) {
    return std::binary_search(hidden.begin(), hidden.end(), face);
  });
  if (picked.size() != had) SetPicks(PickAll(picked, CurrentPickMode()));
}

void WorkbenchWindow::IsolateItems(const host::PickedItems& items) {
  if (items.Empty()) return;
  hidden_.Isolate(session_.Document(), items);
  ShowHidden();
}

void WorkbenchWindow::ShowAll() {
  hidden_.Clear();
  ShowHidden();
}

void WorkbenchWindow::SelectAll() {
  SetPicks(PickAll(ShownFaces(session_.Document(), HiddenFaceList()), CurrentPickMode()));
}

void WorkbenchWindow::SelectInverse() {
  SetPicks(
      InvertPicks(picks_, ShownFaces(session_.Document(), HiddenFaceList()), CurrentPickMode()));
}

}  // namespace vlm::workbench
