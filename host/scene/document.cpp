#include "scene/document.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <set>
#include <vector>

#include "scene/checked.h"
#include "scene/mesh_views.h"
#include "vlm/text.h"

namespace vlm::host {

// ---- HostDocument ----------------------------------------------------------------------------

HostDocument::HostDocument() : root_(std::make_unique<HostNode>(*this, "", 0)) {
  Register(*root_);
}

HostDocument::~HostDocument() = default;

void HostDocument::Register(HostNode& node) {
  nodeByGroup_[&node.AsGroup()] = &node;
  nodeByNode_[&node.AsNode()] = &node;
}

void HostDocument::Register(HostMesh& mesh) {
  meshByObject_[&mesh.AsObject()] = &mesh;
  meshByShape_[&mesh.AsShape()] = &mesh;
}

float HostDocument::MetresPerUnit() const {
  switch (units) {
    case 1:
      return 0.01f;
    case 2:
      return 0.3048f;
    default:
      return 1.0f;
  }
}

HostMaterial* HostDocument::FindMaterial(std::string_view name) const {
  for (const auto& m : materials_)
    if (m->name == name) return m.get();
  return nullptr;
}

HostMaterial& HostDocument::NewMaterial(std::string name) {
  if (name.empty() || FindMaterial(name)) {
    std::string base = name.empty() ? "Material" : name;
    for (int n = 1;; ++n) {
      std::string candidate = base + std::to_string(n);
      if (!FindMaterial(candidate)) {
        name = candidate;
        break;
      }
    }
  }
  materials_.push_back(std::make_unique<HostMaterial>(*this, std::move(name)));
  return *materials_.back();
}

namespace {
// Every mesh of a group and the groups below it.
void ForEachMesh(const HostNode& group, const std::function<void(HostMesh&)>& visit) {
  for (const auto& mesh : group.meshes)
    visit(*mesh);
  for (const auto& child : group.children)
    ForEachMesh(*child, visit);
}
}  // namespace

void HostDocument::RemoveMaterial(HostMaterial& material) {
  const auto owned = std::find_if(materials_.begin(), materials_.end(),
                                  [&](const auto& m) { return m.get() == &material; });
  if (owned == materials_.end())
    Raise(err::InvalidProcedureCall,
          "the material \"" + material.name + "\" is not one of the document's");
  // Every mesh that may hold the material: those in the tree, and those made but not placed.
  std::vector<HostMesh*> meshes;
  ForEachMesh(*root_, [&](HostMesh& mesh) { meshes.push_back(&mesh); });
  for (const auto& mesh : unattachedMeshes_)
    meshes.push_back(mesh.get());
  for (const HostMesh* mesh : meshes)
    for (size_t f = 0; f < mesh->FaceCount(); ++f)
      if (mesh->FaceMaterial(f) == &material && !mesh->FaceRemoved(f))
        Raise(err::InvalidProcedureCall,
              "the material \"" + material.name + "\" is still used by face " + std::to_string(f) +
                  " of \"" + (mesh->parent ? mesh->Path() : mesh->name) + "\"");
  // A removed face keeps its material until Compact: it must not be left pointing at nothing.
  for (HostMesh* mesh : meshes)
    for (size_t f = 0; f < mesh->FaceCount(); ++f)
      if (mesh->FaceMaterial(f) == &material) mesh->SetFaceMaterial(f, nullptr);
  materials_.erase(owned);
}

HostMaterial& HostDocument::DefaultMaterial() {
  if (!defaultMaterial_) defaultMaterial_ = std::make_unique<HostMaterial>(*this, "(default)");
  return *defaultMaterial_;
}

bool HostDocument::IsDefaultMaterial(const HostMaterial* material) const {
  return material && material == defaultMaterial_.get();
}

HostNode& HostDocument::NewNode(HostNode& parent, std::string name) {
  parent.children_.push_back(std::make_unique<HostNode>(*this, std::move(name), nextId_++));
  HostNode& node = *parent.children_.back();
  node.parent_ = &parent;
  Register(node);
  return node;
}

HostMesh& HostDocument::NewMesh(HostNode& parent, std::string name) {
  parent.meshes_.push_back(std::make_unique<HostMesh>(this, std::move(name)));
  HostMesh& mesh = *parent.meshes_.back();
  mesh.parent_ = &parent;
  Register(mesh);
  return mesh;
}

void HostDocument::RemoveMesh(HostMesh& mesh) {
  std::erase_if(scriptingSelection.objects, [&](const auto& e) { return e.mesh == &mesh; });
  std::erase_if(graphSelection.shapes, [&](const auto& e) { return e.mesh == &mesh; });
  meshByObject_.erase(&mesh.AsObject());
  meshByShape_.erase(&mesh.AsShape());
  if (HostNode* parent = mesh.parent)
    std::erase_if(parent->meshes_, [&](const auto& m) { return m.get() == &mesh; });
}

void HostDocument::RemoveNode(HostNode& node) {
  if (&node == root_.get()) Raise(err::InvalidProcedureCall, "the root group cannot be removed");
  std::set<const HostNode*> nodes;
  std::set<const HostMesh*> meshes;
  std::vector<HostNode*> stack{&node};
  while (!stack.empty()) {
    HostNode* n = stack.back();
    stack.pop_back();
    nodes.insert(n);
    nodeByGroup_.erase(&n->AsGroup());
    nodeByNode_.erase(&n->AsNode());
    for (const auto& m : n->meshes) {
      meshes.insert(m.get());
      meshByObject_.erase(&m->AsObject());
      meshByShape_.erase(&m->AsShape());
    }
    for (const auto& c : n->children)
      stack.push_back(c.get());
  }
  auto gone = [&](const HostNode* g) { return nodes.count(g) != 0; };
  std::erase_if(scriptingSelection.groups, gone);
  std::erase_if(graphSelection.nodes, gone);
  std::erase_if(scriptingSelection.objects, [&](const auto& e) { return meshes.count(e.mesh); });
  std::erase_if(graphSelection.shapes, [&](const auto& e) { return meshes.count(e.mesh); });
  auto owns = [&](const auto& n) { return n.get() == &node; };
  if (HostNode* parent = node.parent)
    std::erase_if(parent->children_, owns);
  else
    std::erase_if(unattachedNodes_, owns);
}

namespace {
int32_t FindName(const std::vector<std::string>& names, std::string_view name) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int32_t>(i);
  return -1;
}
int32_t DefineName(std::vector<std::string>& names, const std::string& name) {
  int32_t slot = FindName(names, name);
  if (slot >= 0) return slot;
  names.push_back(name);
  return static_cast<int32_t>(names.size()) - 1;
}
}  // namespace

int32_t HostDocument::FindNodeField(std::string_view name) const {
  return FindName(nodeFields_, name);
}
int32_t HostDocument::DefineNodeField(const std::string& name) {
  return DefineName(nodeFields_, name);
}
int32_t HostDocument::FindMaterialField(std::string_view name) const {
  return FindName(materialFields_, name);
}
int32_t HostDocument::DefineMaterialField(const std::string& name) {
  return DefineName(materialFields_, name);
}

void HostDocument::ClearSelection() {
  scriptingSelection = {};
  graphSelection = {};
}

namespace {
// Removes repeated entries from `indices`, keeping the first of each in its place; gives the
// ones removed, in order.
std::vector<int32_t> DropRepeats(std::vector<int32_t>& indices) {
  std::vector<int32_t> kept, dropped;
  std::set<int32_t> seen;
  for (int32_t i : indices)
    (seen.insert(i).second ? kept : dropped).push_back(i);
  indices = std::move(kept);
  return dropped;
}

// Appends `more` to `held`, leaving out what `held` already has; gives what was left out.
// `held` has no repeats, so every index left out is one of `more`.
std::vector<int32_t> Join(std::vector<int32_t>& held, const std::vector<int32_t>& more) {
  held.insert(held.end(), more.begin(), more.end());
  return DropRepeats(held);
}
}  // namespace

std::vector<int32_t> HostDocument::SelectObject(HostMesh& mesh, int32_t mode,
                                                std::vector<int32_t> faces) {
  for (auto& e : scriptingSelection.objects)
    if (e.mesh == &mesh) return e.mode == 1 && mode == 1 ? Join(e.faces, faces) : faces;
  std::vector<int32_t> dropped = DropRepeats(faces);
  scriptingSelection.objects.push_back({&mesh, mode, std::move(faces)});
  return dropped;
}

std::vector<int32_t> HostDocument::SelectShape(HostMesh& mesh, std::vector<int32_t> polygons) {
  for (auto& e : graphSelection.shapes)
    if (e.mesh == &mesh) return Join(e.polygons, polygons);
  std::vector<int32_t> dropped = DropRepeats(polygons);
  graphSelection.shapes.push_back({&mesh, std::move(polygons)});
  return dropped;
}

// ---- Scene ----

Group* HostDocument::CreateGroup() {
  unattachedNodes_.push_back(std::make_unique<HostNode>(*this, "", nextId_++));
  Register(*unattachedNodes_.back());
  return &unattachedNodes_.back()->AsGroup();
}

vlm::Object* HostDocument::CreateObject() {
  unattachedMeshes_.push_back(std::make_unique<HostMesh>(this, ""));
  Register(*unattachedMeshes_.back());
  return &unattachedMeshes_.back()->AsObject();
}

Material* HostDocument::CreateMaterial() {
  return &NewMaterial("");
}

int32_t HostDocument::SelectedObjectCount() {
  return Count(scriptingSelection.objects.size());
}
vlm::Object* HostDocument::SelectedObject(int32_t index) {
  return &CheckedAt(scriptingSelection.objects, index, "selected object").mesh->AsObject();
}
int32_t HostDocument::SelectedGroupCount() {
  return Count(scriptingSelection.groups.size());
}
Group* HostDocument::SelectedGroup(int32_t index) {
  return &CheckedAt(scriptingSelection.groups, index, "selected group")->AsGroup();
}
Group* HostDocument::RootGroup() {
  return &root_->AsGroup();
}

std::string HostDocument::UnitScaleText(float value) {
  return ShortestText(value * MetresPerUnit());
}

// ---- SceneGraph ----

int32_t HostDocument::SelectedNodeCount(int32_t) {
  return Count(graphSelection.nodes.size());
}
vlm::Node* HostDocument::SelectedNode(int32_t, int32_t index) {
  return &CheckedAt(graphSelection.nodes, index, "selected node")->AsNode();
}
int32_t HostDocument::SelectedShapeCount(int32_t) {
  return Count(graphSelection.shapes.size());
}
vlm::Shape* HostDocument::SelectedShape(int32_t, int32_t index) {
  return &CheckedAt(graphSelection.shapes, index, "selected shape").mesh->AsShape();
}

namespace {

// Holds the mesh of a free shape; a base of FreeShape, so that the mesh is made before the
// shape that answers from it.
struct OwnedMesh {
  std::unique_ptr<HostMesh> mesh;
};

// A shape that belongs to the plug-in that asked for it (NewShape): it owns its mesh and
// answers from it as the mesh's own shape view does.
class FreeShape final : private OwnedMesh, public MeshShape {
 public:
  explicit FreeShape(HostDocument& document)
      : OwnedMesh{std::make_unique<HostMesh>(&document, "")},
        MeshShape(*mesh),
        document_(document) {
    document_.RegisterView(this, mesh.get());
    document_.RegisterView(&mesh->AsShape(), mesh.get());
  }
  ~FreeShape() override {
    document_.UnregisterView(this);
    document_.UnregisterView(&mesh->AsShape());
  }

 private:
  HostDocument& document_;
};

}  // namespace

std::unique_ptr<Shape> HostDocument::NewShape() {
  return std::make_unique<FreeShape>(*this);
}

vlm::Node* HostDocument::RootNode() {
  return &root_->AsNode();
}

// ---- identity ----

HostNode* HostDocument::AdoptGroup(Group* group, HostNode& parent) {
  for (auto it = unattachedNodes_.begin(); it != unattachedNodes_.end(); ++it)
    if (&(*it)->AsGroup() == group) {
      // A group cannot go into itself or into a group it holds: it would own itself.
      for (const HostNode* p = &parent; p; p = p->parent)
        if (p == it->get()) return nullptr;
      (*it)->parent_ = &parent;
      parent.children_.push_back(std::move(*it));
      unattachedNodes_.erase(it);
      return parent.children.back().get();
    }
  return nullptr;
}

HostMesh* HostDocument::AdoptObject(vlm::Object* object, HostNode& parent) {
  for (auto it = unattachedMeshes_.begin(); it != unattachedMeshes_.end(); ++it)
    if (&(*it)->AsObject() == object) {
      (*it)->parent_ = &parent;
      parent.meshes_.push_back(std::move(*it));
      unattachedMeshes_.erase(it);
      return parent.meshes.back().get();
    }
  return nullptr;
}

namespace {
template <class View, class Item>
Item* Find(const std::map<const View*, Item*>& items, const View* view) {
  auto it = items.find(view);
  return it == items.end() ? nullptr : it->second;
}
}  // namespace

HostNode* HostDocument::NodeOf(const Group* group) const {
  return Find(nodeByGroup_, group);
}
HostNode* HostDocument::NodeOf(const Node* node) const {
  return Find(nodeByNode_, node);
}
HostMesh* HostDocument::MeshOf(const vlm::Object* object) const {
  return Find(meshByObject_, object);
}
HostMesh* HostDocument::MeshOf(const Shape* shape) const {
  return Find(meshByShape_, shape);
}

HostMaterial* HostDocument::MaterialOf(Material* material) const {
  for (const auto& m : materials_)
    if (static_cast<Material*>(m.get()) == material) return m.get();
  return nullptr;
}

}  // namespace vlm::host
