#include "scene/mesh_views.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace vlm::host {

void MeshObject::GenerateNormals() {
  std::vector<Vec3> faceNormals;
  std::vector<std::vector<size_t>> facesOfVertex(m_.vertices.size());
  for (size_t f = 0; f < m_.FaceCount(); ++f) {
    faceNormals.push_back(m_.FaceNormal(f));
    // A removed face is gone but for its index: it bends no other face's normals.
    if (m_.FaceRemoved(f)) continue;
    for (const auto& p : m_.Points(f)) {
      auto& list = facesOfVertex[static_cast<size_t>(p.vertex)];
      if (list.empty() || list.back() != f) list.push_back(f);
    }
  }
  const float limit =
      std::cos(std::clamp(m_.smoothingAngle, 0.0f, 180.0f) * 3.14159265358979f / 180.0f);
  std::vector<Vec3> normals;
  std::map<std::tuple<float, float, float>, int32_t> indexOf;
  for (size_t f = 0; f < m_.FaceCount(); ++f) {
    for (auto& p : m_.Points(f)) {
      Vec3 sum{};
      for (size_t other : facesOfVertex[static_cast<size_t>(p.vertex)])
        if (other == f || Dot(faceNormals[f], faceNormals[other]) >= limit - 1e-6f)
          sum += faceNormals[other];
      Vec3 n = Normalize(sum);
      auto key = std::make_tuple(n.x, n.y, n.z);
      auto [it, added] = indexOf.emplace(key, Count(normals.size()));
      if (added) normals.push_back(n);
      p.normal = it->second;
    }
  }
  m_.normals = std::move(normals);
}

template <class Emit>
void MeshShape::Triangulate(std::vector<Vec3>& normals, std::vector<Vec2>& uvs, Emit emit) {
  int32_t zeroUv = -1;
  for (size_t face = 0; face < m_.FaceCount(); ++face) {
    const auto pts = m_.Points(face);
    if (m_.FaceRemoved(face) || pts.size() < 3) continue;
    int32_t planeNormal = -1;
    auto corner = [&](const HostPoint& p) {
      TriangleCorner c{p.vertex, p.normal, p.uv};
      if (c.normal < 0) {
        if (planeNormal < 0) {
          planeNormal = Count(normals.size());
          normals.push_back(m_.FaceNormal(face));
        }
        c.normal = planeNormal;
      }
      if (c.textureCoordinate < 0) {
        if (zeroUv < 0) {
          zeroUv = Count(uvs.size());
          uvs.push_back({0, 0});
        }
        c.textureCoordinate = zeroUv;
      }
      return c;
    };
    HostMaterial* material = m_.FaceMaterial(face);
    for (size_t i = 1; i + 1 < pts.size(); ++i)
      emit(std::array<TriangleCorner, 3>{corner(pts[0]), corner(pts[i]), corner(pts[i + 1])},
           material);
  }
}

MeshData MeshShape::GetMeshData(int32_t) {
  std::vector<Vec3> normals = m_.normals;
  std::vector<Vec2> uvs = m_.uvs;
  MeshData data;
  HostDocument* doc = m_.Document();
  // The lists are sized once: a large shape would otherwise be copied as they grow.
  const size_t triangles = TriangleCount();
  data.corners.reserve(10 * triangles + 1);
  data.materials.reserve(triangles);
  data.positions.reserve(3 * m_.vertices.size());
  Triangulate(normals, uvs, [&](const std::array<TriangleCorner, 3>& corners, HostMaterial* m) {
    data.corners.push_back(3);
    for (const auto& c : corners) {
      data.corners.push_back(c.position);
      data.corners.push_back(c.normal);
      data.corners.push_back(c.textureCoordinate);
    }
    data.materials.push_back(m ? m : &doc->DefaultMaterial());
  });
  data.corners.push_back(0);
  for (const Vec3& v : m_.vertices)
    data.positions.insert(data.positions.end(), {v.x, v.y, v.z});
  for (const Vec3& n : normals)
    data.normals.insert(data.normals.end(), {n.x, n.y, n.z});
  for (const Vec2& t : uvs)
    data.textureCoordinates.insert(data.textureCoordinates.end(), {t.u, t.v});
  data.polygonCount = 0;
  for (size_t f = 0; f < m_.FaceCount(); ++f)
    data.polygonCount += m_.FaceRemoved(f) ? 0 : 1;
  return data;
}

int64_t MeshShape::TriangleCount() {
  int64_t triangles = 0;
  for (size_t face = 0; face < m_.FaceCount(); ++face)
    if (const size_t n = m_.Points(face).size(); !m_.FaceRemoved(face) && n >= 3)
      triangles += static_cast<int64_t>(n) - 2;
  return triangles;
}

TriangleData MeshShape::GetTriangleData() {
  TriangleData data;
  data.positions = m_.vertices;
  data.normals = m_.normals;
  data.textureCoordinates = m_.uvs;
  std::map<const HostMaterial*, int32_t> materialIndex;
  HostDocument* doc = m_.Document();
  data.triangles.reserve(TriangleCount());
  Triangulate(data.normals, data.textureCoordinates,
              [&](const std::array<TriangleCorner, 3>& corners, HostMaterial* m) {
                HostMaterial* material = m ? m : &doc->DefaultMaterial();
                auto [it, added] = materialIndex.emplace(material, Count(data.materials.size()));
                if (added) data.materials.push_back(material);
                data.triangles.push_back({corners, it->second});
              });
  return data;
}

void MeshShape::Compact() {
  const std::vector<int32_t> newIndex = m_.CompactFaces();
  // Selections follow their polygons; removed ones leave the selection.
  auto renumber = [&](std::vector<int32_t>& list) {
    std::vector<int32_t> out;
    for (int32_t i : list)
      if (i >= 0 && static_cast<size_t>(i) < newIndex.size() &&
          newIndex[static_cast<size_t>(i)] >= 0)
        out.push_back(newIndex[static_cast<size_t>(i)]);
    list = std::move(out);
  };
  if (HostDocument* doc = m_.Document()) {
    for (auto& e : doc->graphSelection.shapes)
      if (e.mesh == &m_) renumber(e.polygons);
    for (auto& e : doc->scriptingSelection.objects)
      if (e.mesh == &m_) renumber(e.faces);
  }
}

void MeshShape::Merge(vlm::Shape& other) {
  HostMesh* source = nullptr;
  if (HostDocument* doc = m_.Document()) source = doc->MeshOf(&other);
  if (!source) Raise(err::InvalidProcedureCall, "the shape to merge does not belong to this scene");
  if (source == &m_) Raise(err::InvalidProcedureCall, "a shape cannot be merged into itself");
  const auto vertexBase = Count(m_.vertices.size());
  const auto normalBase = Count(m_.normals.size());
  const auto uvBase = Count(m_.uvs.size());
  m_.vertices.insert(m_.vertices.end(), source->vertices.begin(), source->vertices.end());
  m_.normals.insert(m_.normals.end(), source->normals.begin(), source->normals.end());
  m_.uvs.insert(m_.uvs.end(), source->uvs.begin(), source->uvs.end());
  m_.ReserveFaces(source->FaceCount(), source->TotalPoints());
  for (size_t face = 0; face < source->FaceCount(); ++face) {
    if (source->FaceRemoved(face)) continue;
    const size_t copy = m_.AddFace(source->FaceMaterial(face));
    for (HostPoint p : source->Points(face)) {
      p.vertex += vertexBase;
      if (p.normal >= 0) p.normal += normalBase;
      if (p.uv >= 0) p.uv += uvBase;
      m_.AddPoint(copy, p);
    }
  }
}

// ---- whole faces and polygons, without handles ----------------------------------------------

namespace {

// A count a plug-in passes for room to reserve.
size_t RoomCount(int32_t count, const char* what) {
  if (count < 0)
    Raise(err::InvalidProcedureCall,
          std::string("room for ") + std::to_string(count) + " " + what + " cannot be reserved");
  return static_cast<size_t>(count);
}

}  // namespace

void MeshObject::Reserve(int32_t vertices, int32_t faces, int32_t points) {
  const size_t v = RoomCount(vertices, "vertices"), f = RoomCount(faces, "faces"),
               p = RoomCount(points, "points");
  m_.ReserveVertices(v);
  m_.ReserveFaces(f, p);
}

int32_t MeshObject::AddFaceOfPoints(std::span<const FacePoint> points, vlm::Material* material) {
  HostMaterial* host = nullptr;
  if (material) {
    if (HostDocument* doc = m_.Document()) host = doc->MaterialOf(material);
    if (!host) Raise(err::InvalidProcedureCall, "the material does not belong to this scene");
  }
  points_.clear();
  for (const FacePoint& p : points)
    points_.push_back(m_.CheckedPoint(p.vertex, p.normal, p.textureCoordinate));
  return Count(m_.AddFace(points_, host));
}

void MeshObject::GetFacePoints(int32_t face, std::vector<FacePoint>& points) {
  points.clear();
  for (const HostPoint& p : m_.Points(CheckedIndex(m_.FaceCount(), face, "face")))
    points.push_back({p.vertex, p.normal, p.uv});
}

void MeshShape::Reserve(int32_t positions, int32_t polygons, int32_t points) {
  const size_t v = RoomCount(positions, "positions"), f = RoomCount(polygons, "polygons"),
               p = RoomCount(points, "points");
  m_.ReserveVertices(v);
  m_.ReserveFaces(f, p);
}

int32_t MeshShape::AddPositions(std::span<const Vec3> positions) {
  const size_t first = m_.vertices.size();
  if (positions.size() > size_t{INT32_MAX} - first)
    Raise(err::OutOfMemory, "the shape " + m_.Path() + " cannot hold more than " +
                                std::to_string(INT32_MAX) + " positions");
  m_.ReserveVertices(positions.size());
  m_.vertices.insert(m_.vertices.end(), positions.begin(), positions.end());
  return Count(first);
}

int32_t MeshShape::AddPolygons(std::span<const int32_t> counts,
                               std::span<const int32_t> positions) {
  // Everything is checked before the first polygon is added.
  size_t total = 0;
  for (int32_t count : counts) {
    if (count < 0)
      Raise(err::InvalidProcedureCall,
            "a polygon cannot have " + std::to_string(count) + " points");
    total += static_cast<size_t>(count);
  }
  if (total != positions.size())
    Raise(err::InvalidProcedureCall, "the polygons' counts add up to " + std::to_string(total) +
                                         " points where " + std::to_string(positions.size()) +
                                         " positions are given");
  const size_t held = m_.vertices.size();
  for (int32_t index : positions)
    if (index < 0 || static_cast<size_t>(index) >= held) CheckedIndex(held, index, "position");
  return Count(m_.AddFacesOfVertices(counts, positions));
}

void MeshShape::GetPolygonPoints(int32_t polygon, std::vector<int32_t>& positions) {
  positions.clear();
  for (const HostPoint& p : m_.Points(CheckedIndex(m_.FaceCount(), polygon, "polygon")))
    positions.push_back(p.vertex);
}

}  // namespace vlm::host
