// A mesh of the scene document (an Object of the scripting view and a Shape of the
// scene-graph view) and its faces (each a Face and a Polygon).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/material.h"
#include "vlm/model.h"

namespace vlm::host {

class HostDocument;
class HostNode;
class HostMesh;
class MeshObject;
class MeshShape;

// The smoothing angle of a new mesh, in degrees.
inline constexpr float kDefaultSmoothingAngle = 30;

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

  // Face and Polygon
  int32_t PointCount() override { return static_cast<int32_t>(points.size()); }
  void AddPoint(int32_t vertex, int32_t normal, int32_t textureCoordinate) override;
  Vec3 GetNormal() override;
  // Face
  int32_t PointVertex(int32_t point) override;
  int32_t PointNormal(int32_t point) override;
  int32_t PointTextureCoordinate(int32_t point) override;
  HostMaterial* Material() override { return material_; }
  const HostMaterial* Material() const { return material_; }
  // Checks that the material belongs to the face's document.
  void SetMaterial(vlm::Material* material) override;
  // Sets a material of the document, or none.
  void SetHostMaterial(HostMaterial* material);
  // Polygon
  int32_t PointIndex(int32_t point) override { return PointVertex(point); }

  HostMesh& Mesh() const { return mesh_; }
  // A removed face stays in the list, unseen by everything but the indices, until Compact.
  bool Removed() const { return removed_; }
  void Remove();

 private:
  const HostPoint& At(int32_t point) const;
  HostMesh& mesh_;
  HostMaterial* material_ = nullptr;
  bool removed_ = false;
};

// A mesh: an Object of the scripting view and a Shape of the scene-graph view.
class HostMesh {
 public:
  // `document` may be null for a free shape made by NewShape.
  HostMesh(HostDocument* document, std::string name);

  std::string name;
  int32_t kind = ShapeKindPolygonMesh;
  float smoothingAngle = kDefaultSmoothingAngle;
  std::vector<Vec3> vertices;
  std::vector<Vec3> normals;
  std::vector<Vec2> uvs;
  std::vector<std::unique_ptr<HostFace>> faces;
  // The group that holds the mesh; null while unattached. The document sets it.
  HostNode* const& parent = parent_;

  HostFace& AddFace();
  // The distinct materials of the faces in first-use order (faces without one: the
  // document's default material when `forGraph`, else skipped). Worked out again only after
  // a face is added, removed or given another material, or the list of faces changes size.
  const std::vector<HostMaterial*>& Materials(bool forGraph) const;
  // Unit plane normal of a face (Newell's method); zero when degenerate.
  Vec3 FaceNormal(const HostFace& face) const;
  // Path from the root: "Hangar/Wall", in the form FindMesh reads back (see PathSegment).
  std::string Path() const;

  Object& AsObject() { return *object_; }
  Shape& AsShape() { return *shape_; }
  HostDocument* Document() const { return document_; }

 private:
  friend class HostDocument;
  friend class HostFace;
  struct MaterialList {
    std::vector<HostMaterial*> list;
    size_t faceCount = 0;
    bool known = false;
  };
  void MaterialsChanged() { materials_[0].known = materials_[1].known = false; }
  HostNode* parent_ = nullptr;
  HostDocument* document_;
  std::unique_ptr<Object> object_;                 // a MeshObject
  std::unique_ptr<Shape> shape_;                   // a MeshShape
  mutable std::array<MaterialList, 2> materials_;  // without and with the default material
};

}  // namespace vlm::host
