#include "workbench/outliner.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <algorithm>
#include <string_view>

#include "scene/document.h"
#include "scene/paths.h"
#include "scene/scene_text.h"

namespace vlm::workbench {
namespace {

enum Role { GroupRole = Qt::UserRole, ObjectRole };

const host::HostNode* GroupOf(const QTreeWidgetItem* item) {
  return reinterpret_cast<const host::HostNode*>(item->data(0, GroupRole).value<quintptr>());
}
const host::HostMesh* ObjectOf(const QTreeWidgetItem* item) {
  return reinterpret_cast<const host::HostMesh*>(item->data(0, ObjectRole).value<quintptr>());
}

QString Shown(const std::string& text) {
  return QString::fromStdString(host::scene_text::Printable(text));
}

}  // namespace

Outliner::Outliner(QWidget* parent) : QTreeWidget(parent) {
  setHeaderLabels({tr("Group or object"), tr("Faces")});
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::Stretch);
  header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Every row is one line of one font size: rows are placed by arithmetic, not by asking
  // each row above (with 100,000 groups that made each change to an item slow).
  setUniformRowHeights(true);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QTreeWidget::itemSelectionChanged, this, &Outliner::OnSelectionChanged);
  connect(this, &QWidget::customContextMenuRequested, this, &Outliner::ShowMenu);
}

// The items of a group's objects and groups, made before they join the tree (one batch for
// the tree's model, however many there are). Each sibling's number among those of its name
// is counted in one pass: asking each item for its own would read all its siblings each time.
QList<QTreeWidgetItem*> Outliner::MakeItems(const host::HostNode& node, const std::string& path) {
  QList<QTreeWidgetItem*> made;
  made.reserve(static_cast<qsizetype>(node.meshes.size() + node.children.size()));
  const std::string prefix = path.empty() ? path : path + "/";
  std::unordered_map<std::string_view, int32_t> seen;
  for (const auto& mesh : node.meshes) {
    const std::string segment = host::PathSegment(mesh->name, ++seen[mesh->name]);
    auto* item = new QTreeWidgetItem();
    item->setText(0, Shown(segment));
    item->setText(1, QString::number(mesh->FaceCount()));
    item->setData(0, ObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(mesh.get())));
    item->setToolTip(0, Shown(prefix + segment));
    items_[mesh.get()] = item;
    made.push_back(item);
  }
  seen.clear();
  QFont bold = font();
  bold.setBold(true);
  for (const auto& child : node.children) {
    const std::string segment = host::PathSegment(child->name, ++seen[child->name]);
    auto* item = new QTreeWidgetItem();
    item->setText(0, Shown(segment));
    item->setData(0, GroupRole, QVariant::fromValue(reinterpret_cast<quintptr>(child.get())));
    item->setToolTip(0, Shown(prefix + segment));
    item->setFont(0, bold);
    items_[child.get()] = item;
    item->addChildren(MakeItems(*child, prefix + segment));
    made.push_back(item);
  }
  return made;
}

void Outliner::SetDocument(const host::HostDocument* document) {
  quiet_ = true;
  setUpdatesEnabled(false);
  clear();
  items_.clear();
  if (document) {
    items_.reserve(document->Root().children.size() + document->Root().meshes.size());
    addTopLevelItems(MakeItems(document->Root(), ""));
  }
  expandAll();
  setUpdatesEnabled(true);
  quiet_ = false;
}

QTreeWidgetItem* Outliner::ItemOf(const void* groupOrObject) const {
  auto at = items_.find(groupOrObject);
  return at == items_.end() ? nullptr : at->second;
}

void Outliner::ShowPicks(const host::PickedItems& picked) {
  quiet_ = true;
  clearSelection();
  QTreeWidgetItem* first = nullptr;
  auto mark = [&](const void* item) {
    if (QTreeWidgetItem* i = ItemOf(item)) {
      i->setSelected(true);
      if (!first) first = i;
    }
  };
  for (const host::HostNode* g : picked.groups)
    mark(g);
  for (const auto& o : picked.objects)
    mark(o.mesh);
  if (first) scrollToItem(first);
  quiet_ = false;
}

void Outliner::OnSelectionChanged() {
  if (quiet_) return;
  host::PickedItems picked;
  for (QTreeWidgetItem* item : selectedItems()) {
    if (const host::HostNode* g = GroupOf(item))
      picked.groups.push_back(g);
    else if (const host::HostMesh* m = ObjectOf(item))
      picked.objects.push_back({m, {}});
  }
  emit Picked(picked);
}

void Outliner::ShowMenu(const QPoint& at) {
  QTreeWidgetItem* item = itemAt(at);
  if (!item) return;
  host::PickedItems one;
  std::string path;
  if (const host::HostNode* g = GroupOf(item)) {
    one.groups.push_back(g);
    path = g->Path();
  } else if (const host::HostMesh* m = ObjectOf(item)) {
    one.objects.push_back({m, {}});
    path = m->Path();
  }
  host::PickedItems items = one;
  if (item->isSelected()) {
    items = {};
    for (QTreeWidgetItem* selected : selectedItems())
      if (const host::HostNode* g = GroupOf(selected))
        items.groups.push_back(g);
      else if (const host::HostMesh* m = ObjectOf(selected))
        items.objects.push_back({m, {}});
  }
  QMenu menu(this);
  const QString select = QString::fromStdString(host::SelectCommandLine(host::SelectTexts(one)));
  menu.addAction(tr("Copy path"), this,
                 [path] { QGuiApplication::clipboard()->setText(QString::fromStdString(path)); });
  menu.addAction(tr("Copy --select argument"), this,
                 [select] { QGuiApplication::clipboard()->setText(select); });
  menu.addSeparator();
  menu.addAction(tr("Hide"), this, [this, items] { emit HideAsked(items); });
  menu.addAction(tr("Isolate"), this, [this, items] { emit IsolateAsked(items); });
  menu.addAction(tr("Show all"), this, [this] { emit ShowAllAsked(); });
  menu.exec(viewport()->mapToGlobal(at));
}

bool Outliner::Grey(QTreeWidgetItem* item, const std::vector<host::FaceHit>& hidden) {
  bool all = true, some = false;
  if (const host::HostMesh* mesh = ObjectOf(item)) {
    const host::FaceHit first{mesh, 0};
    const auto from = std::lower_bound(hidden.begin(), hidden.end(), first);
    const auto to =
        std::find_if(from, hidden.end(), [&](const host::FaceHit& f) { return f.mesh != mesh; });
    size_t live = 0;
    for (size_t f = 0; f < mesh->FaceCount(); ++f)
      live += !mesh->FaceRemoved(f);
    const auto count = static_cast<size_t>(to - from);
    all = live > 0 && count >= live;
    some = count > 0;
  } else {
    for (int i = 0; i < item->childCount(); ++i) {
      const bool child = Grey(item->child(i), hidden);
      all = all && child;
      some = some || child;
    }
    all = all && item->childCount() > 0;
  }
  // Set only where it changes: each change redraws the item.
  const QBrush brush = all ? palette().brush(QPalette::Disabled, QPalette::Text) : QBrush();
  if (item->foreground(0) != brush) item->setForeground(0, brush);
  QFont font = item->font(0);
  const bool italic = some && !all && ObjectOf(item);
  if (font.italic() != italic) {
    font.setItalic(italic);
    item->setFont(0, font);
  }
  return all;
}

void Outliner::ShowHidden(const std::vector<host::FaceHit>& hidden) {
  QTreeWidgetItem* root = invisibleRootItem();
  for (int i = 0; i < root->childCount(); ++i)
    Grey(root->child(i), hidden);
}

}  // namespace vlm::workbench
