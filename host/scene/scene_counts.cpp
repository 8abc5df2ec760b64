#include "scene/scene_counts.h"

#include <algorithm>

#include "scene/face_geometry.h"
#include "scene/mesh.h"
#include "scene/node.h"

namespace vlm::host {

void Box::Extend(Vec3 lo, Vec3 hi) {
  if (!any) {
    min = lo, max = hi, any = true;
    return;
  }
  min = {std::min(min.x, lo.x), std::min(min.y, lo.y), std::min(min.z, lo.z)};
  max = {std::max(max.x, hi.x), std::max(max.y, hi.y), std::max(max.z, hi.z)};
}

int64_t Triangles(const HostMesh& mesh) {
  int64_t n = 0;
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    if (!mesh.FaceRemoved(f) && mesh.Points(f).size() >= 3)
      n += static_cast<int64_t>(mesh.Points(f).size()) - 2;
  return n;
}

namespace {

void Count(const HostNode& node, SceneCounts& c) {
  for (const auto& mesh : node.meshes) {
    ++c.objects;
    for (size_t f = 0; f < mesh->FaceCount(); ++f)
      c.faces += !mesh->FaceRemoved(f);
    c.triangles += Triangles(*mesh);
    c.vertices += static_cast<int64_t>(mesh->vertices.size());
    Vec3 lo, hi;
    if (WorldBounds(*mesh, lo, hi)) c.bounds.Extend(lo, hi);
  }
  for (const auto& child : node.children) {
    ++c.groups;
    Count(*child, c);
  }
}

}  // namespace

SceneCounts CountScene(const HostNode& node) {
  SceneCounts c;
  Count(node, c);
  return c;
}

}  // namespace vlm::host
