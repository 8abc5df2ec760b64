// The document in world-space triangles (see scene_mesh.h).
#include "workbench/scene_mesh.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "scene/document.h"
#include "workbench/large_arrays.h"

namespace vlm::workbench {
namespace {

struct MeshEntry {
  const host::HostMesh* mesh;
  std::vector<Vec3> world;  // its vertices in world space
};

void Collect(const host::HostNode& node, std::vector<MeshEntry>& out) {
  const Mat4 frame = node.WorldMatrix();
  for (const auto& mesh : node.meshes) {
    MeshEntry entry{mesh.get(), {}};
    entry.world.reserve(mesh->vertices.size());
    for (const Vec3& v : mesh->vertices)
      entry.world.push_back(TransformPoint(v, frame));
    out.push_back(std::move(entry));
  }
  for (const auto& child : node.children)
    Collect(*child, out);
}

bool Drawn(const host::HostMesh& mesh, size_t face) {
  if (mesh.FaceRemoved(face)) return false;
  const auto points = mesh.Points(face);
  if (points.size() < 3) return false;
  return std::all_of(points.begin(), points.end(), [&](const host::HostPoint& p) {
    return p.vertex >= 0 && static_cast<size_t>(p.vertex) < mesh.vertices.size();
  });
}

// A face of an object, with its triangle count and centre when it is drawn; its place in the
// triangle arrays comes later.
SceneFace FaceOf(const MeshEntry& entry, size_t f) {
  const host::HostMesh& mesh = *entry.mesh;
  SceneFace face{{&mesh, static_cast<int32_t>(f)}, 0, 0, {}};
  if (!Drawn(mesh, f)) return face;
  const auto points = mesh.Points(f);
  face.triangleCount = static_cast<uint32_t>(points.size() - 2);
  double c[3] = {0, 0, 0};
  for (const host::HostPoint& p : points) {
    const Vec3 w = entry.world[static_cast<size_t>(p.vertex)];
    c[0] += w.x, c[1] += w.y, c[2] += w.z;
  }
  const double n = static_cast<double>(points.size());
  face.centre = {static_cast<float>(c[0] / n), static_cast<float>(c[1] / n),
                 static_cast<float>(c[2] / n)};
  return face;
}

// Counts a face's triangles into the batch of its material, started when it is the first;
// the batch's index.
uint32_t JoinBatch(std::vector<MaterialBatch>& batches,
                   std::map<const host::HostMaterial*, size_t>& batchOf,
                   const host::HostMaterial* material, uint32_t triangles) {
  auto [it, added] = batchOf.emplace(material, batches.size());
  if (added) batches.push_back({material, 0, 0});
  const auto batch = static_cast<uint32_t>(it->second);
  batches[batch].triangleCount += triangles;
  return batch;
}

// Places the batches one after another; the triangles of them all.
uint32_t PlaceBatches(std::vector<MaterialBatch>& batches) {
  uint32_t total = 0;
  for (MaterialBatch& batch : batches) {
    batch.firstTriangle = total;
    total += batch.triangleCount;
  }
  return total;
}

// The fan of face `f` of the entry's object (scene face `faceIndex`) from triangle `at` on,
// which moves past it. `polygon` is room for the face's points.
void AddFan(SceneMesh& m, const MeshEntry& entry, size_t f, size_t faceIndex, uint32_t& at,
            std::vector<Vec3>& polygon) {
  const host::HostMesh& mesh = *entry.mesh;
  m.faces[faceIndex].firstTriangle = at;
  const auto points = mesh.Points(f);
  polygon.clear();
  for (const host::HostPoint& p : points)
    polygon.push_back(entry.world[static_cast<size_t>(p.vertex)]);
  const Vec3 faceNormal = PolygonNormal(polygon);
  const auto uvOf = [&](const host::HostPoint& p) {
    return p.uv >= 0 && static_cast<size_t>(p.uv) < mesh.uvs.size()
               ? mesh.uvs[static_cast<size_t>(p.uv)]
               : Vec2{};
  };
  const size_t last = points.size() - 1;
  for (size_t k = 1; k < last; ++k, ++at) {
    const size_t t = at, c = t * 3;
    m.corners[c] = polygon[0], m.corners[c + 1] = polygon[k], m.corners[c + 2] = polygon[k + 1];
    m.uvs[c] = uvOf(points[0]), m.uvs[c + 1] = uvOf(points[k]);
    m.uvs[c + 2] = uvOf(points[k + 1]);
    const Vec3 own = Normalize(Cross(polygon[k] - polygon[0], polygon[k + 1] - polygon[0]));
    m.normals[t] = faceNormal == Vec3{} ? own : faceNormal;
    m.triangleFace[t] = static_cast<uint32_t>(faceIndex);
    // The edge from the first point is the polygon's only for the first and last fan.
    m.edges[t] = static_cast<uint8_t>((k == 1 ? 1 : 0) | 2 | (k + 1 == last ? 4 : 0));
  }
}

// The box around the corners that are finite: a corner at infinity (or not a number) would
// leave no box to frame. Left as it is when there is none.
void FindBounds(const std::vector<Vec3>& corners, Vec3& min, Vec3& max) {
  bool first = true;
  for (const Vec3& p : corners) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
    if (first) min = max = p, first = false;
    min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
    max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
  }
}

}  // namespace

SceneMesh::SceneMesh(const host::HostDocument& document) {
  std::vector<MeshEntry> meshes;
  Collect(document.Root(), meshes);

  // First pass: the faces, and how many triangles each material's batch holds.
  std::map<const host::HostMaterial*, size_t> batchOf;
  std::vector<uint32_t> faceBatch;
  size_t faceCount = 0;
  for (const MeshEntry& entry : meshes)
    faceCount += entry.mesh->FaceCount();
  ReserveLarge(faces, faceCount);
  ReserveLarge(faceBatch, faceCount);
  for (const MeshEntry& entry : meshes) {
    const host::HostMesh& mesh = *entry.mesh;
    firstFace_.emplace(&mesh, static_cast<uint32_t>(faces.size()));
    for (size_t f = 0; f < mesh.FaceCount(); ++f) {
      const SceneFace face = FaceOf(entry, f);
      faceBatch.push_back(
          face.triangleCount == 0
              ? 0
              : JoinBatch(batches, batchOf, mesh.FaceMaterial(f), face.triangleCount));
      faces.push_back(face);
    }
  }
  const uint32_t total = PlaceBatches(batches);
  ResizeLarge(corners, size_t{total} * 3);
  ResizeLarge(uvs, size_t{total} * 3);
  ResizeLarge(normals, total);
  ResizeLarge(triangleFace, total);
  ResizeLarge(edges, total);

  // Second pass: each face's fan at the next place of its batch.
  std::vector<uint32_t> next(batches.size());
  for (size_t b = 0; b < batches.size(); ++b)
    next[b] = batches[b].firstTriangle;
  size_t faceIndex = 0;
  std::vector<Vec3> polygon;
  for (const MeshEntry& entry : meshes)
    for (size_t f = 0; f < entry.mesh->FaceCount(); ++f, ++faceIndex)
      if (faces[faceIndex].triangleCount != 0)
        AddFan(*this, entry, f, faceIndex, next[faceBatch[faceIndex]], polygon);
  FindBounds(corners, min, max);
}

std::optional<uint32_t> SceneMesh::FaceIndex(host::FaceHit ref) const {
  const auto it = firstFace_.find(ref.mesh);
  if (it == firstFace_.end() || ref.face < 0) return std::nullopt;
  const size_t index = it->second + static_cast<size_t>(ref.face);
  // Past the object's last face the entry is another object's.
  if (index >= faces.size() || faces[index].ref != ref) return std::nullopt;
  return static_cast<uint32_t>(index);
}

std::pair<uint32_t, uint32_t> SceneMesh::Move(
    const std::unordered_map<const host::HostMesh*, Mat4>& motion) {
  if (restCorners_.empty() && !motion.empty()) {
    restCorners_ = corners, restNormals_ = normals;
    restCentres_.reserve(faces.size());
    for (const SceneFace& face : faces)
      restCentres_.push_back(face.centre);
  }
  uint32_t first = UINT32_MAX, end = 0;
  const auto place = [&](const host::HostMesh* mesh, const Mat4* by) {
    const auto start = firstFace_.find(mesh);
    if (start == firstFace_.end()) return;
    // An object's faces follow each other in the face list.
    for (size_t f = start->second; f < faces.size() && faces[f].ref.mesh == mesh; ++f) {
      SceneFace& face = faces[f];
      face.centre = by ? TransformPoint(restCentres_[f], *by) : restCentres_[f];
      for (size_t t = face.firstTriangle; t < size_t{face.firstTriangle} + face.triangleCount;
           ++t) {
        for (size_t c = 3 * t; c < 3 * t + 3; ++c)
          corners[c] = by ? TransformPoint(restCorners_[c], *by) : restCorners_[c];
        normals[t] = by ? Normalize(TransformDirection(restNormals_[t], *by)) : restNormals_[t];
      }
      if (face.triangleCount == 0) continue;
      first = std::min(first, face.firstTriangle);
      end = std::max(end, face.firstTriangle + face.triangleCount);
    }
  };
  for (const host::HostMesh* mesh : moved_)
    if (!motion.contains(mesh)) place(mesh, nullptr);
  moved_.clear();
  for (const auto& [mesh, by] : motion) {
    place(mesh, &by);
    moved_.push_back(mesh);
  }
  return first < end ? std::pair{first, end} : std::pair{0u, 0u};
}

}  // namespace vlm::workbench
