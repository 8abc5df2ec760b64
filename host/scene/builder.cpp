#include "scene/builder.h"

namespace vlm::host {

HostNode& AddGroup(HostNode& parent, std::string name, Vec3 position, Vec3 forward, Vec3 up) {
  HostNode& node = parent.Document().NewNode(parent, std::move(name));
  node.position = position;
  node.forward = Normalize(forward);
  node.up = Normalize(up - node.forward * Dot(up, node.forward));
  return node;
}

HostMesh& AddBox(HostNode& parent, std::string name, Vec3 c, Vec3 h, HostMaterial* material) {
  HostMesh& mesh = parent.Document().NewMesh(parent, std::move(name));
  // Corners by the signs of their offsets: bit 0 x, bit 1 y, bit 2 z.
  for (int i = 0; i < 8; ++i)
    mesh.vertices.push_back(
        {c.x + ((i & 1) ? h.x : -h.x), c.y + ((i & 2) ? h.y : -h.y), c.z + ((i & 4) ? h.z : -h.z)});
  mesh.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  struct Side {
    Vec3 normal;
    int corners[4];  // counter-clockwise seen from outside
  };
  const Side sides[6] = {
      {{1, 0, 0}, {1, 3, 7, 5}},  {{-1, 0, 0}, {0, 4, 6, 2}}, {{0, 1, 0}, {2, 6, 7, 3}},
      {{0, -1, 0}, {0, 1, 5, 4}}, {{0, 0, 1}, {4, 5, 7, 6}},  {{0, 0, -1}, {0, 2, 3, 1}},
  };
  for (const Side& side : sides) {
    mesh.normals.push_back(side.normal);
    const size_t face = mesh.AddFace(material);
    for (int k = 0; k < 4; ++k)
      mesh.AddPoint(face, {side.corners[k], static_cast<int32_t>(mesh.normals.size()) - 1, k});
  }
  return mesh;
}

HostMesh& AddPolygonMesh(HostNode& parent, std::string name, const std::vector<Vec3>& points,
                         HostMaterial* material) {
  HostMesh& mesh = parent.Document().NewMesh(parent, std::move(name));
  const size_t face = mesh.AddFace(material);
  for (size_t i = 0; i < points.size(); ++i) {
    mesh.vertices.push_back(points[i]);
    mesh.uvs.push_back({points[i].x, points[i].z});
  }
  for (size_t i = 0; i < points.size(); ++i)
    mesh.AddPoint(face, {static_cast<int32_t>(i), -1, static_cast<int32_t>(i)});
  mesh.normals.push_back(mesh.FaceNormal(face));
  for (auto& p : mesh.Points(face))
    p.normal = 0;
  return mesh;
}

HostMesh& AddGrid(HostNode& parent, std::string name, int nx, int nz, float cell,
                  HostMaterial* material) {
  HostMesh& mesh = parent.Document().NewMesh(parent, std::move(name));
  mesh.normals.push_back({0, 1, 0});
  for (int z = 0; z <= nz; ++z)
    for (int x = 0; x <= nx; ++x) {
      mesh.vertices.push_back({x * cell, 0, z * cell});
      mesh.uvs.push_back({static_cast<float>(x) / nx, static_cast<float>(z) / nz});
    }
  auto at = [nx](int x, int z) { return z * (nx + 1) + x; };
  mesh.ReserveFaces(size_t(nx) * size_t(nz), 4 * size_t(nx) * size_t(nz));
  for (int z = 0; z < nz; ++z)
    for (int x = 0; x < nx; ++x) {
      // Counter-clockwise seen from above (+y).
      const size_t face = mesh.AddFace(material);
      for (int v : {at(x, z), at(x, z + 1), at(x + 1, z + 1), at(x + 1, z)})
        mesh.AddPoint(face, {v, 0, v});
    }
  return mesh;
}

std::vector<Vec3> WorldVertices(const HostMesh& mesh) {
  Mat4 world = mesh.parent ? mesh.parent->WorldMatrix() : Mat4::Identity();
  std::vector<Vec3> out;
  for (const Vec3& v : mesh.vertices)
    out.push_back(TransformPoint(v, world));
  return out;
}

}  // namespace vlm::host
