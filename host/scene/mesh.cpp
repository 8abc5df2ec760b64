#include "scene/mesh.h"

#include <algorithm>
#include <set>

#include "scene/checked.h"
#include "scene/document.h"
#include "scene/mesh_views.h"
#include "scene/paths.h"

namespace vlm::host {

// ---- HostFace -------------------------------------------------------------------------------

size_t HostFace::Index() const {
  if (index_ == kGone)
    Raise(err::ObjectVariableNotSet, "the face was removed from its object and is gone");
  return index_;
}

const HostPoint& HostFace::At(int32_t point) const {
  const auto points = mesh_.Points(Index());
  if (point < 0 || static_cast<size_t>(point) >= points.size())
    Raise(err::SubscriptOutOfRange, "point index " + std::to_string(point) + " is outside 0.." +
                                        std::to_string(Count(points.size()) - 1));
  return points[static_cast<size_t>(point)];
}

int32_t HostFace::PointCount() {
  return Count(mesh_.Points(Index()).size());
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
  const size_t face = Index();
  mesh_.AddPoint(face, mesh_.CheckedPoint(vertex, normal, textureCoordinate));
}

Vec3 HostFace::GetNormal() {
  return mesh_.FaceNormal(Index());
}

HostMaterial* HostFace::Material() {
  return mesh_.FaceMaterial(Index());
}

void HostFace::SetMaterial(vlm::Material* m) {
  if (!m) return SetHostMaterial(nullptr);
  HostDocument* doc = mesh_.Document();
  HostMaterial* host = doc ? doc->MaterialOf(m) : nullptr;
  if (!host) Raise(err::InvalidProcedureCall, "the material does not belong to this scene");
  SetHostMaterial(host);
}

void HostFace::SetHostMaterial(HostMaterial* m) {
  mesh_.SetFaceMaterial(Index(), m);
}

bool HostFace::Removed() const {
  return index_ == kGone || mesh_.FaceRemoved(index_);
}

void HostFace::Remove() {
  if (index_ != kGone) mesh_.RemoveFace(index_);
}

// ---- HostMesh ---------------------------------------------------------------------------------

HostMesh::HostMesh(HostDocument* document, std::string name)
    : name(std::move(name)),
      document_(document),
      object_(std::make_unique<MeshObject>(*this)),
      shape_(std::make_unique<MeshShape>(*this)) {}

HostMesh::~HostMesh() = default;

void HostMesh::SetFaceMaterial(size_t face, HostMaterial* material) {
  if (material != faceMaterials_[face]) MaterialsChanged();
  faceMaterials_[face] = material;
}

void HostMesh::RemoveFace(size_t face) {
  if (!faceRemoved_[face]) MaterialsChanged();
  faceRemoved_[face] = 1;
}

void HostMesh::RoomForPoints(size_t more) const {
  if (more > UINT32_MAX - points_.size())
    Raise(err::OutOfMemory, "the object " + Path() + " cannot hold more than " +
                                std::to_string(UINT32_MAX) + " face points");
}

size_t HostMesh::AddFace(HostMaterial* material) {
  faceEnds_.push_back(static_cast<uint32_t>(points_.size()));
  faceMaterials_.push_back(material);
  faceRemoved_.push_back(0);
  return faceEnds_.size() - 1;
}

size_t HostMesh::AddFace(std::span<const HostPoint> points, HostMaterial* material) {
  RoomForPoints(points.size());
  points_.append(points);
  return AddFace(material);
}

void HostMesh::AddPoint(size_t face, HostPoint point) {
  RoomForPoints(1);
  if (face + 1 == faceEnds_.size()) {
    points_.push_back(point);
  } else {
    points_.insert(faceEnds_[face], point);
    for (size_t f = face + 1; f < faceEnds_.size(); ++f)
      ++faceEnds_[f];
  }
  ++faceEnds_[face];
}

void HostMesh::ReserveFaces(size_t faces, size_t points) {
  // Growing at least twofold, so that room asked for a little at a time stays linear.
  auto room = [](auto& list, size_t more) {
    if (list.size() + more > list.capacity())
      list.reserve(std::max(list.size() + more, 2 * list.capacity()));
  };
  room(points_, points);
  room(faceEnds_, faces);
  room(faceMaterials_, faces);
  room(faceRemoved_, faces);
}

void HostMesh::ReserveVertices(size_t more) {
  if (vertices.size() + more > vertices.capacity())
    vertices.reserve(std::max(vertices.size() + more, 2 * vertices.capacity()));
}

size_t HostMesh::AddFacesOfVertices(std::span<const int32_t> counts,
                                    std::span<const int32_t> vertexIndices) {
  RoomForPoints(vertexIndices.size());
  const size_t first = faceEnds_.size();
  ReserveFaces(counts.size(), vertexIndices.size());
  for (int32_t v : vertexIndices)
    points_.push_back({v, -1, -1});
  auto end = static_cast<uint32_t>(points_.size() - vertexIndices.size());
  for (int32_t count : counts)
    faceEnds_.push_back(end += static_cast<uint32_t>(count));
  faceMaterials_.append(counts.size(), nullptr);
  faceRemoved_.append(counts.size(), 0);
  return first;
}

void HostMesh::AddFaces(std::vector<HostPoint> points, std::vector<uint32_t> ends,
                        std::vector<HostMaterial*> materials) {
  if (!materials.empty()) MaterialsChanged();
  faceRemoved_.resize(faceRemoved_.size() + ends.size(), 0);
  RoomForPoints(points.size());
  const auto base = static_cast<uint32_t>(points_.size());
  points_.append(points);
  faceEnds_.reserve(faceEnds_.size() + ends.size());
  for (uint32_t end : ends)
    faceEnds_.push_back(base + end);
  faceMaterials_.append(materials);
}

void HostMesh::ClearFaces() {
  for (HostFace* handle : handles_)
    if (handle) handle->index_ = HostFace::kGone;
  handles_.clear();
  points_.clear();
  faceEnds_.clear();
  faceMaterials_.clear();
  faceRemoved_.clear();
  MaterialsChanged();
}

std::vector<int32_t> HostMesh::CompactFaces() {
  const size_t count = faceEnds_.size();
  std::vector<int32_t> newIndex(count, -1);
  size_t kept = 0, point = 0, begin = 0;
  for (size_t f = 0; f < count; ++f) {
    const size_t end = faceEnds_[f];
    if (!faceRemoved_[f]) {
      std::copy(points_.begin() + begin, points_.begin() + end, points_.begin() + point);
      point += end - begin;
      faceEnds_[kept] = static_cast<uint32_t>(point);
      faceMaterials_[kept] = faceMaterials_[f];
      newIndex[f] = Count(kept);
      ++kept;
    }
    begin = end;
  }
  points_.resize(point);
  faceEnds_.resize(kept);
  faceMaterials_.resize(kept);
  faceRemoved_.assign(kept, 0);
  // The handles follow their faces; those of dropped faces are gone.
  FlatArray<HostFace*> handles;
  for (size_t f = 0; f < handles_.size(); ++f) {
    HostFace* handle = handles_[f];
    if (!handle) continue;
    if (newIndex[f] < 0) {
      handle->index_ = HostFace::kGone;
      continue;
    }
    handle->index_ = static_cast<size_t>(newIndex[f]);
    if (handles.size() <= handle->index_) handles.resize(handle->index_ + 1);
    handles[handle->index_] = handle;
  }
  handles_ = std::move(handles);
  if (kept != count) MaterialsChanged();
  return newIndex;
}

HostFace& HostMesh::Face(size_t face) {
  if (handles_.size() <= face) handles_.resize(face + 1);
  HostFace*& handle = handles_[face];
  if (!handle) handle = &handleStore_.emplace_back(*this, face);
  return *handle;
}

HostPoint HostMesh::CheckedPoint(int32_t vertex, int32_t normal, int32_t textureCoordinate) const {
  CheckedAt(vertices, vertex, "vertex");
  // -1 means "none yet"; so does 0 on a mesh that has no normals (texture coordinates).
  auto optional = [](int32_t index, size_t count, const char* what) {
    if (index == -1 || (index == 0 && count == 0)) return -1;
    if (index < 0 || static_cast<size_t>(index) >= count)
      Raise(err::SubscriptOutOfRange, std::string(what) + " index " + std::to_string(index) +
                                          " is outside 0.." + std::to_string(Count(count) - 1));
    return index;
  };
  return {vertex, optional(normal, normals.size(), "normal"),
          optional(textureCoordinate, uvs.size(), "texture coordinate")};
}

const std::vector<HostMaterial*>& HostMesh::Materials(bool forGraph) const {
  MaterialList& cached = materials_[forGraph ? 1 : 0];
  if (cached.known && cached.faceCount == FaceCount()) return cached.list;
  std::vector<HostMaterial*>& out = cached.list;
  out.clear();
  std::set<const HostMaterial*> seen;
  const HostMaterial* last = nullptr;  // runs of faces share a material
  for (size_t f = 0; f < FaceCount(); ++f) {
    if (faceRemoved_[f]) continue;
    HostMaterial* m = faceMaterials_[f];
    if (!m) {
      if (!forGraph || !document_) continue;
      m = &document_->DefaultMaterial();
    }
    if (m != last && seen.insert(m).second) out.push_back(m);
    last = m;
  }
  cached.faceCount = FaceCount();
  cached.known = true;
  return out;
}

std::string HostMesh::Path() const {
  if (!parent) return PathSegment(name, 1);
  std::string own = PathSegment(name, Ordinal(parent->meshes, *this));
  std::string group = parent->Path();
  return group.empty() ? own : group + "/" + own;
}

Vec3 HostMesh::FaceNormal(size_t face) const {
  // Newell's method (robust for non-planar and concave polygons), in double: in float the
  // products of coordinates near 1e19 overflow and those of edges near 1e-20 vanish.
  struct Corners {
    const std::vector<Vec3>& vertices;
    std::span<const HostPoint> points;
    size_t size() const { return points.size(); }
    Vec3 operator[](size_t i) const { return vertices[static_cast<size_t>(points[i].vertex)]; }
  };
  return PolygonNormal(Corners{vertices, Points(face)});
}

}  // namespace vlm::host
