// The stand-in host's scene document: one tree that both views of the host object model
// work on.
//
// A group of the scripting view is a node of the scene-graph view (HostNode); an object is
// a shape (HostMesh); a face is a polygon (HostFace); a material is both a Material and a
// GraphMaterial (HostMaterial). A change made through one view is seen through the other.
//
// Host behaviours the plug-ins rely on, implemented simply:
// - a node's transform is a translation and a rotation (orthonormal axes) relative to its
//   parent; the orientation vectors are its local +z ("forward") and +y ("up") axes, the
//   third axis is y x z;
// - polygons are fan-triangulated from their first point (GetMeshData, GetTriangleData);
// - GenerateNormals gives each face point the mean of the plane normals of the faces around
//   its vertex that meet its own face at no more than the smoothing angle;
// - Update, PrepareShadow and Finalize change nothing; Compact drops removed polygons;
// - Merge appends positions, normals, texture coordinates and polygons without a transform.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene/material.h"
#include "scene/mesh.h"
#include "scene/node.h"
#include "scene/paths.h"
#include "vlm/model.h"

namespace vlm::host {

// What is selected, in each view.
struct ScriptingSelection {
  std::vector<HostNode*> groups;
  struct ObjectEntry {
    HostMesh* mesh;
    int32_t mode = 0;            // 0 whole object, 1 faces
    std::vector<int32_t> faces;  // with mode 1
  };
  std::vector<ObjectEntry> objects;
};
struct GraphSelection {
  std::vector<HostNode*> nodes;
  struct ShapeEntry {
    HostMesh* mesh;
    std::vector<int32_t> polygons;
  };
  std::vector<ShapeEntry> shapes;
};

class HostDocument final : public Scene, public SceneGraph, public SceneDocument {
 public:
  HostDocument();
  ~HostDocument() override;
  HostDocument(const HostDocument&) = delete;
  HostDocument& operator=(const HostDocument&) = delete;

  // ---- host side ----
  HostNode& Root() { return *root_; }
  const HostNode& Root() const { return *root_; }
  int32_t units = 0;  // 0 metres, 1 centimetres, 2 feet; other codes count as metres
  float MetresPerUnit() const;

  const std::vector<std::unique_ptr<HostMaterial>>& Materials() const { return materials_; }
  HostMaterial* FindMaterial(std::string_view name) const;
  // A new material of the document; the name is made unique when it is taken or empty.
  HostMaterial& NewMaterial(std::string name);
  // Takes a material out of the document; the material is gone. Refused (error 5, naming the
  // material and an object) while a face of the document still has it; a removed face that
  // still names it is left with none.
  void RemoveMaterial(HostMaterial& material);
  // The material of polygons that have none (made on first use, not saved).
  HostMaterial& DefaultMaterial();
  bool IsDefaultMaterial(const HostMaterial* material) const;

  HostNode& NewNode(HostNode& parent, std::string name);
  HostMesh& NewMesh(HostNode& parent, std::string name);
  // Takes a mesh out of its group and out of the selection; the mesh is gone.
  void RemoveMesh(HostMesh& mesh);
  // Takes a group out of its parent with every group and object inside it, and all of them
  // out of the selection; they are gone. The root stays (error 5).
  void RemoveNode(HostNode& node);

  // Custom field names by slot.
  const std::vector<std::string>& NodeFieldNames() const { return nodeFields_; }
  const std::vector<std::string>& MaterialFieldNames() const { return materialFields_; }
  int32_t FindNodeField(std::string_view name) const;  // -1 when not defined
  int32_t DefineNodeField(const std::string& name);    // existing slot or a new one
  int32_t FindMaterialField(std::string_view name) const;
  int32_t DefineMaterialField(const std::string& name);

  ScriptingSelection scriptingSelection;
  GraphSelection graphSelection;
  void ClearSelection();
  // Add an object (whole: mode 0, or the given faces: mode 1) or a shape with the given
  // polygons to the selection, each item once: a face or polygon given again is left out,
  // and an item already selected takes the new indices into its entry (keeping its mode).
  // They give the indices left out, in order, for the caller to warn about.
  std::vector<int32_t> SelectObject(HostMesh& mesh, int32_t mode, std::vector<int32_t> faces);
  std::vector<int32_t> SelectShape(HostMesh& mesh, std::vector<int32_t> polygons);

  // Items by slash-separated path from the root ("Hangar/Door/Panel", "Hangar/Door[2]",
  // "Signs/In\/Out" for the group "In/Out"; see PathSegment). On failure they return null
  // and set `problem` to a message that names what is missing and what exists. A backslash
  // before any other character is a plain backslash, and a path whose "Name[n]" finds no n-th
  // "Name" takes a sibling named "Name[n]" itself, as paths were written before names could be
  // escaped.
  HostNode* FindGroup(std::string_view path, std::string* problem);
  HostMesh* FindMesh(std::string_view path, std::string* problem);
  const HostNode* FindGroup(std::string_view path, std::string* problem) const;
  const HostMesh* FindMesh(std::string_view path, std::string* problem) const;

  // ---- Scene ----
  Group* CreateGroup() override;
  Object* CreateObject() override;
  Material* CreateMaterial() override;
  int32_t SelectedObjectCount() override;
  Object* SelectedObject(int32_t index) override;
  int32_t SelectedGroupCount() override;
  Group* SelectedGroup(int32_t index) override;
  Group* RootGroup() override;
  std::string UnitScaleText(float value) override;
  // ---- SceneGraph ----
  int32_t SelectedNodeCount(int32_t device) override;
  Node* SelectedNode(int32_t device, int32_t index) override;
  int32_t SelectedShapeCount(int32_t device) override;
  Shape* SelectedShape(int32_t device, int32_t index) override;
  SceneDocument* Document() override { return this; }
  std::unique_ptr<Shape> NewShape() override;
  // ---- SceneDocument ----
  Node* RootNode() override;
  int32_t Units() override { return units; }

  // Moves a group (object) made by CreateGroup (CreateObject) into `parent`; null when it
  // was not made that way or is already in the scene.
  HostNode* AdoptGroup(Group* group, HostNode& parent);
  HostMesh* AdoptObject(vlm::Object* object, HostNode& parent);
  // The item behind a view handed out by this document, or null.
  HostNode* NodeOf(const Group* group) const;
  HostNode* NodeOf(const Node* node) const;
  HostMesh* MeshOf(const vlm::Object* object) const;
  HostMesh* MeshOf(const Shape* shape) const;
  HostMaterial* MaterialOf(Material* material) const;
  // Shapes made by NewShape register their mesh while they live.
  void RegisterView(const Shape* shape, HostMesh* mesh) { meshByShape_[shape] = mesh; }
  void UnregisterView(const Shape* shape) { meshByShape_.erase(shape); }

 private:
  void Register(HostNode& node);
  void Register(HostMesh& mesh);
  std::unique_ptr<HostNode> root_;
  int32_t nextId_ = 1;
  std::vector<std::unique_ptr<HostMaterial>> materials_;
  std::unique_ptr<HostMaterial> defaultMaterial_;
  std::vector<std::unique_ptr<HostNode>> unattachedNodes_;
  std::vector<std::unique_ptr<HostMesh>> unattachedMeshes_;
  std::vector<std::string> nodeFields_, materialFields_;
  std::map<const Group*, HostNode*> nodeByGroup_;
  std::map<const Node*, HostNode*> nodeByNode_;
  std::map<const vlm::Object*, HostMesh*> meshByObject_;
  std::map<const Shape*, HostMesh*> meshByShape_;
};

}  // namespace vlm::host
