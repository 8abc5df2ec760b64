#include "workbench/outliner.h"

#include <gtest/gtest.h>

#include <QTreeWidgetItem>
#include <string>

#include "gui/qt_dialogs.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "scene/paths.h"

namespace vlm {
namespace {

// Each item is named as its path names it, among siblings of the same name too ("Part[2]"),
// and its tooltip is the item's whole path, as the document itself gives it: however many
// siblings share a name, whatever the depth.
TEST(Outliner, NamesEveryItemByItsPathAmongSiblingsOfTheSameName) {
  gui::EnsureApplication();
  host::HostDocument doc;
  std::vector<const void*> items;
  std::vector<std::string> paths, names;
  const auto group = [&](host::HostNode& parent, const std::string& name) -> host::HostNode& {
    host::HostNode& node = host::AddGroup(parent, name);
    items.push_back(&node);
    paths.push_back(node.Path());
    names.push_back(host::PathSegment(name, host::Ordinal(parent.children, node)));
    return node;
  };
  const auto object = [&](host::HostNode& parent, const std::string& name) {
    host::HostMesh& mesh = host::AddBox(parent, name, {}, {1, 1, 1});
    items.push_back(&mesh);
    paths.push_back(mesh.Path());
    names.push_back(host::PathSegment(name, host::Ordinal(parent.meshes, mesh)));
  };
  host::HostNode& first = group(doc.Root(), "Part");
  object(first, "Piece");
  object(first, "Piece");
  object(first, "Bolt");
  host::HostNode& second = group(doc.Root(), "Part");
  group(second, "Inner");
  object(group(second, "Inner"), "Piece");
  group(doc.Root(), "Other");
  group(doc.Root(), "");  // an empty name always carries its number
  for (int i = 0; i < 300; ++i)
    group(doc.Root(), "Part");
  object(doc.Root(), "Loose");

  workbench::Outliner outliner;
  outliner.SetDocument(&doc);
  for (size_t i = 0; i < items.size(); ++i) {
    const QTreeWidgetItem* item = outliner.ItemOf(items[i]);
    ASSERT_TRUE(item) << paths[i];
    EXPECT_EQ(item->text(0).toStdString(), names[i]) << paths[i];
    EXPECT_EQ(item->toolTip(0).toStdString(), paths[i]);
    EXPECT_TRUE(!item->parent() || item->parent()->isExpanded()) << paths[i];
  }
  EXPECT_EQ(outliner.ItemOf(items.back())->toolTip(0).toStdString(), "Loose");
  EXPECT_EQ(paths[paths.size() - 2], "Part[302]");
}

}  // namespace
}  // namespace vlm
