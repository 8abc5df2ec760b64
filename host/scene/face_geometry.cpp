#include "scene/face_geometry.h"

#include <algorithm>

#include "scene/mesh.h"
#include "scene/node.h"

namespace vlm::host {
namespace {

Mat4 FrameOf(const HostMesh& mesh) {
  return mesh.parent ? mesh.parent->WorldMatrix() : Mat4::Identity();
}

}  // namespace

std::vector<WorldFace> WorldFaces(const HostMesh& mesh) {
  const Mat4 world = FrameOf(mesh);
  std::vector<WorldFace> out;
  std::vector<Vec3> corners;
  for (size_t f = 0; f < mesh.FaceCount(); ++f) {
    if (mesh.FaceRemoved(f)) continue;
    corners.clear();
    for (const HostPoint& p : mesh.Points(f))
      if (p.vertex >= 0 && static_cast<size_t>(p.vertex) < mesh.vertices.size())
        corners.push_back(TransformPoint(mesh.vertices[static_cast<size_t>(p.vertex)], world));
    WorldFace face;
    face.index = f;
    face.corners = static_cast<int32_t>(mesh.Points(f).size());
    double sum[3] = {0, 0, 0};
    for (const Vec3& c : corners)
      sum[0] += c.x, sum[1] += c.y, sum[2] += c.z;
    if (!corners.empty()) {
      const double n = static_cast<double>(corners.size());
      face.centre = {static_cast<float>(sum[0] / n), static_cast<float>(sum[1] / n),
                     static_cast<float>(sum[2] / n)};
    }
    face.normal = PolygonNormal(corners);
    out.push_back(face);
  }
  return out;
}

bool WorldBounds(const HostMesh& mesh, Vec3& min, Vec3& max) {
  if (mesh.vertices.empty()) return false;
  const Mat4 world = FrameOf(mesh);
  min = max = TransformPoint(mesh.vertices[0], world);
  for (const Vec3& v : mesh.vertices) {
    Vec3 w = TransformPoint(v, world);
    min = {std::min(min.x, w.x), std::min(min.y, w.y), std::min(min.z, w.z)};
    max = {std::max(max.x, w.x), std::max(max.y, w.y), std::max(max.z, w.z)};
  }
  return true;
}

}  // namespace vlm::host
