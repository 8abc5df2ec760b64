#include "scene/node.h"

#include <cmath>

#include "scene/checked.h"
#include "scene/document.h"
#include "scene/paths.h"

namespace vlm::host {
namespace {

Vec3 Row(const Mat4& m, int row) {
  return {m(row, 0), m(row, 1), m(row, 2)};
}

// A unit vector at right angles to `z`.
Vec3 AnyPerpendicular(Vec3 z) {
  Vec3 axis = std::fabs(z.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
  return Normalize(axis - z * Dot(axis, z));
}

}  // namespace

// ---- HostNode: the Group and Node views ------------------------------------------------------

class HostNode::GroupView final : public vlm::Group {
 public:
  explicit GroupView(HostNode& node) : n_(node) {}

  std::string Name() override { return n_.name; }
  void SetName(const std::string& name) override { n_.name = name; }
  Group* Parent() override {
    if (!n_.parent) Raise(err::ObjectVariableNotSet, "the group \"" + n_.name + "\" has no parent");
    return &n_.parent->AsGroup();
  }
  int32_t GroupCount() override { return Count(n_.children.size()); }
  Group* ChildGroup(int32_t index) override {
    return &CheckedAt(n_.children, index, "group")->AsGroup();
  }
  int32_t ObjectCount() override { return Count(n_.meshes.size()); }
  vlm::Object* Object(int32_t index) override {
    return &CheckedAt(n_.meshes, index, "object")->AsObject();
  }
  void AddGroup(Group* group) override;
  void AddObject(vlm::Object* object) override;

  Vec3 GetPosition(Group* relativeTo, int32_t) override { return Row(Relative(relativeTo), 3); }
  void SetPosition(Group* relativeTo, int32_t, Vec3 position) override {
    Vec3 world = TransformPoint(position, FrameOf(relativeTo));
    n_.position = TransformPoint(world, RigidInverse(ParentFrame()));
  }
  vlm::Orientation GetOrientation(Group* relativeTo, int32_t) override {
    Mat4 m = Relative(relativeTo);
    return {Normalize(Row(m, 2)), Normalize(Row(m, 1))};
  }
  void SetOrientation(Group* relativeTo, int32_t, Vec3 forward, Vec3 up) override {
    Mat4 toParent = Multiply(FrameOf(relativeTo), RigidInverse(ParentFrame()));
    Vec3 z = Normalize(TransformDirection(forward, toParent));
    if (z == Vec3{}) Raise(err::InvalidProcedureCall, "the forward vector is zero");
    Vec3 u = TransformDirection(up, toParent);
    Vec3 y = Normalize(u - z * Dot(u, z));
    if (y == Vec3{}) y = AnyPerpendicular(z);
    n_.forward = z;
    n_.up = y;
  }
  std::string GetCustomField(int32_t slot) override { return n_.Field(slot); }
  void SetCustomField(int32_t slot, const std::string& text) override { n_.SetField(slot, text); }

 private:
  Mat4 FrameOf(Group* group) {
    if (!group) return Mat4::Identity();
    HostNode* node = n_.document_.NodeOf(group);
    if (!node) Raise(err::InvalidProcedureCall, "the group does not belong to this scene");
    return node->WorldMatrix();
  }
  Mat4 ParentFrame() { return n_.parent ? n_.parent->WorldMatrix() : Mat4::Identity(); }
  // This group's transform in the frame of `relativeTo`.
  Mat4 Relative(Group* relativeTo) {
    return Multiply(n_.WorldMatrix(), RigidInverse(FrameOf(relativeTo)));
  }
  HostNode& n_;
};

void HostNode::GroupView::AddGroup(Group* group) {
  if (!n_.document_.AdoptGroup(group, n_))
    Raise(err::InvalidProcedureCall,
          "the group to add was not made by CreateGroup, is already in the scene, or holds "
          "this group");
}

void HostNode::GroupView::AddObject(vlm::Object* object) {
  if (!n_.document_.AdoptObject(object, n_))
    Raise(err::InvalidProcedureCall,
          "the object to add was not made by CreateObject or is already in the scene");
}

class HostNode::NodeView final : public vlm::Node {
 public:
  explicit NodeView(HostNode& node)
      : n_(node), children_(node.children, "child node"), shapes_(node.meshes, "shape") {}

  std::string Name() override { return n_.name; }
  void SetName(const std::string& name) override { n_.name = name; }
  int32_t Id() override { return n_.Id(); }
  vlm::Node* Parent() override { return n_.parent ? &n_.parent->AsNode() : nullptr; }
  NodeCollection* Children() override { return &children_; }
  ShapeCollection* Shapes() override { return &shapes_; }
  Mat4 GetMatrix(vlm::Node* relativeTo, int32_t) override {
    Mat4 frame = Mat4::Identity();
    if (relativeTo) {
      HostNode* other = n_.document_.NodeOf(relativeTo);
      if (!other) Raise(err::InvalidProcedureCall, "the node does not belong to this scene");
      frame = other->WorldMatrix();
    }
    return Transpose(Multiply(n_.WorldMatrix(), RigidInverse(frame)));
  }
  int32_t GetAnimationKeys(int32_t, int32_t) override { return n_.animationKeys; }
  int32_t FindCustomField(const std::string& name) override {
    return n_.document_.FindNodeField(name);
  }
  int32_t AddCustomField(const std::string& name) override {
    return n_.document_.DefineNodeField(name);
  }
  int32_t FindMaterialCustomField(const std::string& name) override {
    return n_.document_.FindMaterialField(name);
  }
  int32_t AddMaterialCustomField(const std::string& name) override {
    return n_.document_.DefineMaterialField(name);
  }
  std::string GetCustomField(int32_t slot) override { return n_.Field(slot); }
  void SetCustomField(int32_t slot, const std::string& text) override { n_.SetField(slot, text); }

 private:
  // A collection of the node's children or shapes, each item seen through view `as`.
  template <class Collection, class T, class View, View& (T::*as)()>
  struct ItemList final : Collection {
    ItemList(const std::vector<std::unique_ptr<T>>& items, const char* what)
        : items(items), what(what) {}
    int32_t Count() override { return static_cast<int32_t>(items.size()); }
    View* Item(int32_t index) override { return &(CheckedAt(items, index, what).get()->*as)(); }
    const std::vector<std::unique_ptr<T>>& items;
    const char* what;
  };
  using ChildList = ItemList<NodeCollection, HostNode, vlm::Node, &HostNode::AsNode>;
  using ShapeList = ItemList<ShapeCollection, HostMesh, vlm::Shape, &HostMesh::AsShape>;
  HostNode& n_;
  ChildList children_;
  ShapeList shapes_;
};

// ---- HostNode -------------------------------------------------------------------------------

HostNode::HostNode(HostDocument& document, std::string name, int32_t id)
    : name(std::move(name)),
      document_(document),
      id_(id),
      group_(std::make_unique<GroupView>(*this)),
      node_(std::make_unique<NodeView>(*this)) {}

Mat4 HostNode::LocalMatrix() const {
  Vec3 x = Cross(up, forward);
  Mat4 m = Mat4::Identity();
  const Vec3 rows[4] = {x, up, forward, position};
  for (int r = 0; r < 4; ++r) {
    m(r, 0) = rows[r].x;
    m(r, 1) = rows[r].y;
    m(r, 2) = rows[r].z;
  }
  return m;
}

Mat4 HostNode::WorldMatrix() const {
  Mat4 m = LocalMatrix();
  for (const HostNode* p = parent; p; p = p->parent)
    m = Multiply(m, p->LocalMatrix());
  return m;
}

std::string HostNode::Path() const {
  if (!parent) return "";
  std::string own = PathSegment(name, Ordinal(parent->children, *this));
  std::string up = parent->Path();
  return up.empty() ? own : up + "/" + own;
}

std::string HostNode::Field(int32_t slot) const {
  return FieldText(fields, document_.NodeFieldNames(), slot, "custom field");
}

void HostNode::SetField(int32_t slot, const std::string& text) {
  SetFieldText(fields, document_.NodeFieldNames(), slot, text, "custom field");
}

}  // namespace vlm::host
