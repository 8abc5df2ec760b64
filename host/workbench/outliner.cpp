#include "workbench/outliner.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <algorithm>

#include "scene/document.h"
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
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QTreeWidget::itemSelectionChanged, this, &Outliner::OnSelectionChanged);
  connect(this, &QWidget::customContextMenuRequested, this, &Outliner::ShowMenu);
}

void Outliner::AddGroup(QTreeWidgetItem* parent, const host::HostNode& node) {
  for (const auto& mesh : node.meshes) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, Shown(host::PathSegment(mesh->name, host::Ordinal(node.meshes, *mesh))));
    item->setText(1, QString::number(mesh->FaceCount()));
    item->setData(0, ObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(mesh.get())));
    item->setToolTip(0, Shown(mesh->Path()));
    items_[mesh.get()] = item;
  }
  for (const auto& child : node.children) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, Shown(host::PathSegment(child->name, host::Ordinal(node.children, *child))));
    item->setData(0, GroupRole, QVariant::fromValue(reinterpret_cast<quintptr>(child.get())));
    item->setToolTip(0, Shown(child->Path()));
    items_[child.get()] = item;
    QFont bold = item->font(0);
    bold.setBold(true);
    item->setFont(0, bold);
    AddGroup(item, *child);
  }
}

void Outliner::SetDocument(const host::HostDocument* document) {
  quiet_ = true;
  clear();
  items_.clear();
  if (document) AddGroup(invisibleRootItem(), document->Root());
  expandAll();
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
  item->setForeground(0, all ? palette().brush(QPalette::Disabled, QPalette::Text) : QBrush());
  QFont font = item->font(0);
  font.setItalic(some && !all && ObjectOf(item));
  item->setFont(0, font);
  return all;
}

void Outliner::ShowHidden(const std::vector<host::FaceHit>& hidden) {
  QTreeWidgetItem* root = invisibleRootItem();
  for (int i = 0; i < root->childCount(); ++i)
    Grey(root->child(i), hidden);
}

}  // namespace vlm::workbench
