#include "scene/mesh.h"

#include <set>

#include "scene/checked.h"
#include "scene/document.h"
#include "scene/mesh_views.h"
#include "scene/paths.h"

namespace vlm::host {

// ---- HostFace -------------------------------------------------------------------------------

const HostPoint& HostFace::At(int32_t point) const {
  return CheckedAt(points, point, "point");
}

int32_t HostFace::PointVertex(int32_t point) {
  return At(point).vertex;
}
int32_t HostFace::PointNormal(int32_t point) {
  return At(point).normal;
}
int32_t HostFace::PointTextureCoordinate(int32_t point) {
  return At(point).uv;
}

void HostFace::AddPoint(int32_t vertex, int32_t normal, int32_t textureCoordinate) {
  CheckedAt(mesh_.vertices, vertex, "vertex");
  // -1 means "none yet"; so does 0 on a mesh that has no normals (texture coordinates).
  auto optional = [](int32_t index, size_t count, const char* what) {
    if (index == -1 || (index == 0 && count == 0)) return -1;
    if (index < 0 || static_cast<size_t>(index) >= count)
      Raise(err::SubscriptOutOfRange, std::string(what) + " index " + std::to_string(index) +
                                          " is outside 0.." + std::to_string(Count(count) - 1));
    return index;
  };
  HostPoint p;
  p.vertex = vertex;
  p.normal = optional(normal, mesh_.normals.size(), "normal");
  p.uv = optional(textureCoordinate, mesh_.uvs.size(), "texture coordinate");
  points.push_back(p);
}

Vec3 HostFace::GetNormal() {
  return mesh_.FaceNormal(*this);
}

void HostFace::SetMaterial(vlm::Material* m) {
  if (!m) return SetHostMaterial(nullptr);
  HostDocument* doc = mesh_.Document();
  HostMaterial* host = doc ? doc->MaterialOf(m) : nullptr;
  if (!host) Raise(err::InvalidProcedureCall, "the material does not belong to this scene");
  SetHostMaterial(host);
}

void HostFace::SetHostMaterial(HostMaterial* m) {
  if (m != material_) mesh_.MaterialsChanged();
  material_ = m;
}

void HostFace::Remove() {
  if (!removed_) mesh_.MaterialsChanged();
  removed_ = true;
}

// ---- HostMesh ---------------------------------------------------------------------------------

HostMesh::HostMesh(HostDocument* document, std::string name)
    : name(std::move(name)),
      document_(document),
      object_(std::make_unique<MeshObject>(*this)),
      shape_(std::make_unique<MeshShape>(*this)) {}

HostFace& HostMesh::AddFace() {
  faces.push_back(std::make_unique<HostFace>(*this));
  return *faces.back();
}

const std::vector<HostMaterial*>& HostMesh::Materials(bool forGraph) const {
  MaterialList& cached = materials_[forGraph ? 1 : 0];
  if (cached.known && cached.faceCount == faces.size()) return cached.list;
  std::vector<HostMaterial*>& out = cached.list;
  out.clear();
  std::set<const HostMaterial*> seen;
  const HostMaterial* last = nullptr;  // runs of faces share a material
  for (const auto& f : faces) {
    if (f->Removed()) continue;
    HostMaterial* m = f->Material();
    if (!m) {
      if (!forGraph || !document_) continue;
      m = &document_->DefaultMaterial();
    }
    if (m != last && seen.insert(m).second) out.push_back(m);
    last = m;
  }
  cached.faceCount = faces.size();
  cached.known = true;
  return out;
}

std::string HostMesh::Path() const {
  if (!parent) return PathSegment(name, 1);
  std::string own = PathSegment(name, Ordinal(parent->meshes, *this));
  std::string group = parent->Path();
  return group.empty() ? own : group + "/" + own;
}

Vec3 HostMesh::FaceNormal(const HostFace& face) const {
  // Newell's method (robust for non-planar and concave polygons), in double: in float the
  // products of coordinates near 1e19 overflow and those of edges near 1e-20 vanish.
  struct Corners {
    const std::vector<Vec3>& vertices;
    const std::vector<HostPoint>& points;
    size_t size() const { return points.size(); }
    Vec3 operator[](size_t i) const { return vertices[static_cast<size_t>(points[i].vertex)]; }
  };
  return PolygonNormal(Corners{vertices, face.points});
}

}  // namespace vlm::host
