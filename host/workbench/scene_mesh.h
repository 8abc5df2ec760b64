// The document as the 3D view draws and picks it: every face of every object in world space,
// fan-triangulated from its first point, each object's vertices carried through its group's
// frame (HostNode::WorldMatrix) as the exporters carry them. Triangles are ordered by
// material, each face's triangles together, with a table from triangle to face.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "run/selection_text.h"
#include "vlm/math.h"

namespace vlm::host {
class HostDocument;
class HostMesh;
class HostMaterial;
}  // namespace vlm::host

namespace vlm::workbench {

struct SceneFace {
  host::FaceHit ref;
  uint32_t firstTriangle = 0, triangleCount = 0;  // none for a face that is not drawn
  Vec3 centre{};                                  // the mean of its points, world space
};

// A run of triangles that share a material (null: faces without one).
struct MaterialBatch {
  const host::HostMaterial* material = nullptr;
  uint32_t firstTriangle = 0, triangleCount = 0;
};

class SceneMesh {
 public:
  SceneMesh() = default;
  // Faces that are removed, have fewer than three points or name a vertex the object does
  // not have are kept in the face list but get no triangles.
  explicit SceneMesh(const host::HostDocument& document);

  size_t TriangleCount() const { return triangleFace.size(); }
  // The scene face index of a face of the document, or nothing when it is not in this mesh.
  std::optional<uint32_t> FaceIndex(host::FaceHit ref) const;
  // The world-space box around every drawn corner that is finite (min > max when there is
  // none).
  Vec3 min{1, 1, 1}, max{-1, -1, -1};
  bool Empty() const { return triangleFace.empty(); }

  // Per triangle corner (3 per triangle).
  std::vector<Vec3> corners;
  std::vector<Vec2> uvs;
  // Per triangle: the unit normal of its face (that of the triangle itself where the face
  // encloses no area), its face, and which of its edges are edges of the face (bit k: the
  // edge from corner k to corner k + 1), the others being the fan's diagonals.
  std::vector<Vec3> normals;
  std::vector<uint32_t> triangleFace;
  std::vector<uint8_t> edges;

  std::vector<SceneFace> faces;  // object by object, each in face order
  std::vector<MaterialBatch> batches;

  // Draws the faces of the objects in `motion` moved from where the document puts them, each
  // by its world-space transform (row vectors), and every other object where the document
  // puts it (one moved by an earlier call goes back); corners, normals and face centres
  // follow, the box stays that of the document. The triangles rewritten, as the range
  // [first, end) of them, empty when none.
  std::pair<uint32_t, uint32_t> Move(const std::unordered_map<const host::HostMesh*, Mat4>& motion);

 private:
  std::unordered_map<const host::HostMesh*, uint32_t> firstFace_;
  // Where the document puts what Move moved: kept from its first call on.
  std::vector<Vec3> restCorners_, restNormals_, restCentres_;
  std::vector<const host::HostMesh*> moved_;
};

}  // namespace vlm::workbench
