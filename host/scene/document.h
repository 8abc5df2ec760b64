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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vlm/model.h"

namespace vlm::host {

class HostDocument;
class HostNode;
class HostMesh;

// The orientation of a new group (its local +z and +y axes in its parent's frame) and the
// smoothing angle of a new mesh, in degrees.
inline constexpr Vec3 kDefaultForward{0, 0, 1};
inline constexpr Vec3 kDefaultUp{0, 1, 0};
inline constexpr float kDefaultSmoothingAngle = 30;

class HostMaterial final : public Material, public GraphMaterial, private TextureSet {
 public:
  HostMaterial(HostDocument& document, std::string name);

  // Host-side state (the file format's fields).
  std::string name;
  Rgb diffuse{0.8f, 0.8f, 0.8f};
  Rgb ambient{0.2f, 0.2f, 0.2f};
  Rgb emissive{0, 0, 0};
  Rgb specular{1, 1, 1};
  float gloss = 0;
  int32_t diffuseLevel = 100, ambientLevel = 20, specularLevel = 0, translucency = 0;
  bool hasTextures = false;  // a texture set exists (it may hold only empty names)
  std::string diffuseMap, bumpMap, detailMap, specularMap, environmentMap;
  std::map<int32_t, std::string> fields;  // material custom fields by slot

  // Material
  Rgb GetDiffuseColor() override { return diffuse; }
  void SetDiffuseColor(float red, float green, float blue) override;
  int32_t DiffuseLevel() override { return diffuseLevel; }
  void SetDiffuseLevel(int32_t level) override { diffuseLevel = level; }
  int32_t AmbientLevel() override { return ambientLevel; }
  void SetAmbientLevel(int32_t level) override { ambientLevel = level; }
  int32_t SpecularLevel() override { return specularLevel; }
  void SetSpecularLevel(int32_t level) override { specularLevel = level; }
  int32_t Translucency() override { return translucency; }
  void SetTranslucency(int32_t percent) override;
  std::string DiffuseTexture() override { return diffuseMap; }
  void SetDiffuseTexture(const std::string& file) override;
  std::string BumpTexture() override { return bumpMap; }
  void SetBumpTexture(const std::string& file) override;
  std::string DetailTexture() override { return detailMap; }
  void SetDetailTexture(const std::string& file) override;
  std::string SpecularTexture() override { return specularMap; }
  void SetSpecularTexture(const std::string& file) override;
  std::string EnvironmentTexture() override { return environmentMap; }
  void SetEnvironmentTexture(const std::string& file) override;
  // Material and GraphMaterial
  std::string GetCustomField(int32_t slot) override;
  void SetCustomField(int32_t slot, const std::string& text) override;
  // GraphMaterial
  Rgba GetDiffuse() override;
  Rgb GetAmbient() override { return ambient; }
  Rgb GetEmissive() override { return emissive; }
  Rgb GetSpecular() override { return specular; }
  void SetSpecular(float red, float green, float blue) override;
  float Gloss() override { return gloss; }
  TextureSet* Textures() override { return hasTextures ? this : nullptr; }

 private:
  // TextureSet
  std::string DiffuseMap() override { return diffuseMap; }
  std::string BumpMap() override { return bumpMap; }
  std::string DetailMap() override { return detailMap; }
  std::string SpecularMap() override { return specularMap; }
  std::string EnvironmentMap() override { return environmentMap; }
  HostDocument& document_;
};

// One point of a face: a vertex, a normal and a texture coordinate of the face's mesh;
// -1 for "none" (a normal or texture coordinate not given yet).
struct HostPoint {
  int32_t vertex = 0, normal = -1, uv = -1;
  friend bool operator==(const HostPoint&, const HostPoint&) = default;
};

class HostFace final : public Face, public Polygon {
 public:
  explicit HostFace(HostMesh& mesh) : mesh_(mesh) {}

  std::vector<HostPoint> points;
  HostMaterial* material = nullptr;
  bool removed = false;

  // Face and Polygon
  int32_t PointCount() override { return static_cast<int32_t>(points.size()); }
  void AddPoint(int32_t vertex, int32_t normal, int32_t textureCoordinate) override;
  Vec3 GetNormal() override;
  // Face
  int32_t PointVertex(int32_t point) override;
  int32_t PointNormal(int32_t point) override;
  int32_t PointTextureCoordinate(int32_t point) override;
  vlm::Material* Material() override { return material; }
  void SetMaterial(vlm::Material* material) override;
  // Polygon
  int32_t PointIndex(int32_t point) override { return PointVertex(point); }

  HostMesh& Mesh() const { return mesh_; }

 private:
  const HostPoint& At(int32_t point) const;
  HostMesh& mesh_;
};

// A mesh: an Object of the scripting view and a Shape of the scene-graph view.
class HostMesh {
 public:
  // `document` may be null for a free shape made by NewShape.
  HostMesh(HostDocument* document, std::string name);
  ~HostMesh();

  std::string name;
  int32_t kind = ShapeKindPolygonMesh;
  float smoothingAngle = kDefaultSmoothingAngle;
  std::vector<Vec3> vertices;
  std::vector<Vec3> normals;
  std::vector<Vec2> uvs;
  std::vector<std::unique_ptr<HostFace>> faces;
  HostNode* parent = nullptr;  // null while unattached

  HostFace& AddFace();
  // The distinct materials of the faces in first-use order (faces without one: the
  // document's default material when `forGraph`, else skipped).
  std::vector<HostMaterial*> Materials(bool forGraph) const;
  // Unit plane normal of a face (Newell's method); zero when degenerate.
  Vec3 FaceNormal(const HostFace& face) const;
  // Path from the root: "Hangar/Wall", in the form FindMesh reads back (see PathSegment).
  std::string Path() const;

  Object& AsObject();
  Shape& AsShape();
  HostDocument* Document() const { return document_; }

 private:
  class ObjectView;
  class ShapeView;
  HostDocument* document_;
  std::unique_ptr<ObjectView> object_;
  std::unique_ptr<ShapeView> shape_;
};

// A node: a Group of the scripting view and a Node of the scene-graph view.
class HostNode {
 public:
  HostNode(HostDocument& document, std::string name, int32_t id);
  ~HostNode();

  std::string name;
  Vec3 position{};                                  // in the parent's frame
  Vec3 forward = kDefaultForward, up = kDefaultUp;  // in the parent's frame (unit)
  int32_t animationKeys = 0;
  std::map<int32_t, std::string> fields;  // node custom fields by slot
  std::vector<std::unique_ptr<HostNode>> children;
  std::vector<std::unique_ptr<HostMesh>> meshes;
  HostNode* parent = nullptr;

  int32_t Id() const { return id_; }
  // Row-vector transforms (vlm/math.h): local to parent, and local to world.
  Mat4 LocalMatrix() const;
  Mat4 WorldMatrix() const;
  // Path from the root: "Hangar/Door" ("" for the root), in the form FindGroup reads back
  // (see PathSegment).
  std::string Path() const;
  // Custom field text by slot (error 9 for a slot the document does not define).
  std::string Field(int32_t slot) const;
  void SetField(int32_t slot, const std::string& text);

  Group& AsGroup();
  Node& AsNode();
  HostDocument& Document() const { return document_; }

 private:
  class GroupView;
  class NodeView;
  HostDocument& document_;
  int32_t id_;
  std::unique_ptr<GroupView> group_;
  std::unique_ptr<NodeView> node_;
};

// One step of a path: an item's name as a path holds it. In a name, "/" is written as
// backslash-slash, a backslash as two backslashes and "[" as backslash-bracket, so any name can be
// held; the n-th of several siblings of one name (counting from 1, among the groups or among the
// objects of one group) is written "Name[n]", the first plainly "Name". An empty name always
// carries its number ("[1]"), so that it cannot be taken for the root.
std::string PathSegment(std::string_view name, int32_t ordinal);

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
  // The material of polygons that have none (made on first use, not saved).
  HostMaterial& DefaultMaterial();
  bool IsDefaultMaterial(const HostMaterial* material) const;

  HostNode& NewNode(HostNode& parent, std::string name);
  HostMesh& NewMesh(HostNode& parent, std::string name);

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
  // The item behind a view handed out by this document (Group or Node; Object or Shape),
  // or null.
  HostNode* NodeOf(const void* view) const;
  HostMesh* MeshOf(const void* view) const;
  HostMaterial* MaterialOf(Material* material) const;
  // Shapes made by NewShape register their mesh while they live.
  void RegisterView(const void* view, HostMesh* mesh) { meshByView_[view] = mesh; }
  void UnregisterView(const void* view) { meshByView_.erase(view); }

 private:
  friend class HostNode;
  friend class HostMesh;
  void Register(HostNode& node);
  void Register(HostMesh& mesh);
  std::unique_ptr<HostNode> root_;
  int32_t nextId_ = 1;
  std::vector<std::unique_ptr<HostMaterial>> materials_;
  std::unique_ptr<HostMaterial> defaultMaterial_;
  std::vector<std::unique_ptr<HostNode>> unattachedNodes_;
  std::vector<std::unique_ptr<HostMesh>> unattachedMeshes_;
  std::vector<std::string> nodeFields_, materialFields_;
  std::map<const void*, HostNode*> nodeByView_;
  std::map<const void*, HostMesh*> meshByView_;
};

}  // namespace vlm::host
