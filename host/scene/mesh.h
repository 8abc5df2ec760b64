// A mesh of the scene document (an Object of the scripting view and a Shape of the
// scene-graph view) and its faces (each a Face and a Polygon).
//
// The faces are held flat: the points of all faces in one list, where face i's points end at
// its "face end", and a material and a removed mark per face. A plug-in reaches a face through
// a HostFace, a handle on one face made the first time that face is asked for and kept: the
// same face always gives the same handle, a handle stays valid while faces are added, and
// follows its face when Compact moves it down. A handle of a face that Compact drops (or that
// ClearFaces removes) stays allocated but refuses every call (error 91).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "scene/flat_array.h"
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

// One face of a mesh as the plug-ins see it (see above).
class HostFace final : public Face, public Polygon {
 public:
  HostFace(HostMesh& mesh, size_t index) : mesh_(mesh), index_(index) {}

  // Face and Polygon
  int32_t PointCount() override;
  void AddPoint(int32_t vertex, int32_t normal, int32_t textureCoordinate) override;
  Vec3 GetNormal() override;
  // Face
  int32_t PointVertex(int32_t point) override;
  int32_t PointNormal(int32_t point) override;
  int32_t PointTextureCoordinate(int32_t point) override;
  HostMaterial* Material() override;
  // Checks that the material belongs to the face's document.
  void SetMaterial(vlm::Material* material) override;
  // Sets a material of the document, or none.
  void SetHostMaterial(HostMaterial* material);
  // Polygon
  int32_t PointIndex(int32_t point) override { return PointVertex(point); }

  HostMesh& Mesh() const { return mesh_; }
  // The face's index in its mesh; error 91 once the face is gone.
  size_t Index() const;
  bool Removed() const;
  void Remove();

 private:
  friend class HostMesh;
  static constexpr size_t kGone = SIZE_MAX;
  const HostPoint& At(int32_t point) const;
  HostMesh& mesh_;
  size_t index_;
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
  // The group that holds the mesh; null while unattached. The document sets it.
  HostNode* const& parent = parent_;

  // ---- faces (indices are not checked here: HostFace checks what plug-ins pass) ----
  size_t FaceCount() const { return faceEnds_.size(); }
  // The points of all faces together.
  size_t TotalPoints() const { return points_.size(); }
  std::span<const HostPoint> Points(size_t face) const {
    return {points_.data() + Begin(face), points_.data() + faceEnds_[face]};
  }
  std::span<HostPoint> Points(size_t face) {
    return {points_.data() + Begin(face), points_.data() + faceEnds_[face]};
  }
  HostMaterial* FaceMaterial(size_t face) const { return faceMaterials_[face]; }
  void SetFaceMaterial(size_t face, HostMaterial* material);
  // A removed face stays in the list, unseen by everything but the indices, until Compact.
  bool FaceRemoved(size_t face) const { return faceRemoved_[face] != 0; }
  void RemoveFace(size_t face);
  // A new face at the end, with no points or with the given ones; its index.
  size_t AddFace(HostMaterial* material = nullptr);
  size_t AddFace(std::span<const HostPoint> points, HostMaterial* material = nullptr);
  // A point at the end of a face: appended for the last face, inserted for an earlier one.
  void AddPoint(size_t face, HostPoint point);
  // Room for this many more faces and points.
  void ReserveFaces(size_t faces, size_t points);
  // Room for this many more vertices, by the same rule.
  void ReserveVertices(size_t more);
  // Faces added whole from vertex indices alone (no normal, no texture coordinate, no
  // material): face i takes the next counts[i] of `vertices`, which hold exactly their sum.
  // The index of the first. Raises error 7 when the points would not fit a face end.
  size_t AddFacesOfVertices(std::span<const int32_t> counts, std::span<const int32_t> vertices);
  // Faces read as a whole: points, face ends into them, and a material per face.
  void AddFaces(std::vector<HostPoint> points, std::vector<uint32_t> ends,
                std::vector<HostMaterial*> materials);
  // Drops every face (their handles go with them, see above).
  void ClearFaces();
  // Drops the removed faces, moving the others down; the new index of each face, -1 for a
  // dropped one.
  std::vector<int32_t> CompactFaces();
  // The handle of a face, made the first time it is asked for.
  HostFace& Face(size_t face);
  // A point a plug-in gives, checked as Face::AddPoint promises: error 9 for an index outside
  // its list; -1 means none, and so does 0 on a mesh without normals (texture coordinates).
  HostPoint CheckedPoint(int32_t vertex, int32_t normal, int32_t textureCoordinate) const;

  // The distinct materials of the faces in first-use order (faces without one: the
  // document's default material when `forGraph`, else skipped). Worked out again only after
  // a face is added, removed or given another material, or the list of faces changes size.
  const std::vector<HostMaterial*>& Materials(bool forGraph) const;
  // Unit plane normal of a face (Newell's method); zero when degenerate.
  Vec3 FaceNormal(size_t face) const;
  // Path from the root: "Hangar/Wall", in the form FindMesh reads back (see PathSegment).
  std::string Path() const;

  Object& AsObject() { return *object_; }
  Shape& AsShape() { return *shape_; }
  HostDocument* Document() const { return document_; }

 private:
  friend class HostDocument;
  struct MaterialList {
    std::vector<HostMaterial*> list;
    size_t faceCount = 0;
    bool known = false;
  };
  size_t Begin(size_t face) const { return face == 0 ? 0 : faceEnds_[face - 1]; }
  void MaterialsChanged() { materials_[0].known = materials_[1].known = false; }
  // Raises error 7 when the points of all faces would not fit a face end.
  void RoomForPoints(size_t more) const;

  // Flat arrays, so that a shape of a million faces grows in place rather than by copying.
  FlatArray<HostPoint> points_;
  FlatArray<uint32_t> faceEnds_;
  FlatArray<HostMaterial*> faceMaterials_;
  FlatArray<uint8_t> faceRemoved_;
  FlatArray<HostFace*> handles_;  // by face, made on demand
  // Every handle made, those of faces that are gone too: a plug-in's stale pointer is then
  // refused, not followed.
  std::deque<HostFace> handleStore_;
  HostNode* parent_ = nullptr;
  HostDocument* document_;
  std::unique_ptr<Object> object_;                 // a MeshObject
  std::unique_ptr<Shape> shape_;                   // a MeshShape
  mutable std::array<MaterialList, 2> materials_;  // without and with the default material
};

}  // namespace vlm::host
