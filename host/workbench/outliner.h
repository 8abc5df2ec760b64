// The workbench's outliner: the document's groups and objects as a tree, named as
// `vlmhost show` and the paths name them ("Door[2]" for the second "Door"), with each
// object's face count. Selecting items picks them; a context menu copies an item's path and
// its --select argument, and hides or isolates the items. Items the view hides whole are
// greyed, those it hides in part in italics.
#pragma once

#include <QTreeWidget>
#include <string>
#include <unordered_map>
#include <vector>

#include "run/selection_text.h"

namespace vlm::host {
class HostDocument;
class HostNode;
class HostMesh;
}  // namespace vlm::host

namespace vlm::workbench {

class Outliner : public QTreeWidget {
  Q_OBJECT
 public:
  explicit Outliner(QWidget* parent = nullptr);

  // Builds the tree of `document` (null: empty), every group open.
  void SetDocument(const host::HostDocument* document);
  // Marks the items the picks hold (the objects of picked faces too), without signalling.
  void ShowPicks(const host::PickedItems& picked);
  // The item of a group or an object.
  QTreeWidgetItem* ItemOf(const void* groupOrObject) const;
  // Greys the objects all of whose faces are in `hidden` (sorted), and the groups all of whose
  // objects are; an object some of whose faces are hidden is in italics.
  void ShowHidden(const std::vector<host::FaceHit>& hidden);

 signals:
  // The person selected items in the tree: the groups and whole objects selected.
  void Picked(const host::PickedItems& picked);
  // The context menu's Hide, Isolate and Show all: the item under the mouse, or every
  // selected item when it is one of them.
  void HideAsked(const host::PickedItems& items);
  void IsolateAsked(const host::PickedItems& items);
  void ShowAllAsked();

 private:
  QList<QTreeWidgetItem*> MakeItems(const host::HostNode& node, const std::string& path);
  void OnSelectionChanged();
  void ShowMenu(const QPoint& at);
  // Greys an item (and what it holds); whether all of it is hidden.
  bool Grey(QTreeWidgetItem* item, const std::vector<host::FaceHit>& hidden);
  bool quiet_ = false;
  std::unordered_map<const void*, QTreeWidgetItem*> items_;  // by group or object
};

}  // namespace vlm::workbench
