#include "scene/document.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <utility>

#include "vlm/error.h"

namespace vlm::host {
namespace {

constexpr int32_t ObjectVariableNotSet = 91;

int32_t Count(size_t n) {
  return static_cast<int32_t>(n);
}

template <class T>
const T& CheckedAt(const std::vector<T>& items, int32_t index, const char* what) {
  if (index < 0 || static_cast<size_t>(index) >= items.size())
    Raise(err::SubscriptOutOfRange, std::string(what) + " index " + std::to_string(index) +
                                        " is outside 0.." +
                                        std::to_string(Count(items.size()) - 1));
  return items[static_cast<size_t>(index)];
}

// Inverse of a rigid row-vector transform (orthonormal rotation and a translation).
Mat4 RigidInverse(const Mat4& m) {
  Mat4 r = Mat4::Identity();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r(i, j) = m(j, i);
  for (int j = 0; j < 3; ++j)
    r(3, j) = -(m(3, 0) * r(0, j) + m(3, 1) * r(1, j) + m(3, 2) * r(2, j));
  return r;
}

Vec3 Row(const Mat4& m, int row) {
  return {m(row, 0), m(row, 1), m(row, 2)};
}

// A unit vector at right angles to `z`.
Vec3 AnyPerpendicular(Vec3 z) {
  Vec3 axis = std::fabs(z.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
  return Normalize(axis - z * Dot(axis, z));
}

std::string ShortestText(float value) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names)
    out += (out.empty() ? "" : ", ") + ("\"" + n + "\"");
  return out;
}

// The place of `item` among the siblings of its name, counting from 1.
template <class T>
int32_t Ordinal(const std::vector<std::unique_ptr<T>>& siblings, const T& item) {
  int32_t n = 0;
  for (const auto& s : siblings) {
    if (s->name == item.name) ++n;
    if (s.get() == &item) return n;
  }
  return 1;
}

}  // namespace

// ---- HostMaterial -------------------------------------------------------------------------

HostMaterial::HostMaterial(HostDocument& document, std::string name)
    : name(std::move(name)), document_(document) {}

void HostMaterial::SetDiffuseColor(float red, float green, float blue) {
  diffuse = {red, green, blue};
}

void HostMaterial::SetTranslucency(int32_t percent) {
  if (percent < 0 || percent > 100)
    Raise(err::InvalidProcedureCall,
          "translucency " + std::to_string(percent) + " is outside 0..100");
  translucency = percent;
}

void HostMaterial::SetDiffuseTexture(const std::string& file) {
  diffuseMap = file;
  hasTextures = hasTextures || !file.empty();
}
void HostMaterial::SetBumpTexture(const std::string& file) {
  bumpMap = file;
  hasTextures = hasTextures || !file.empty();
}
void HostMaterial::SetDetailTexture(const std::string& file) {
  detailMap = file;
  hasTextures = hasTextures || !file.empty();
}
void HostMaterial::SetSpecularTexture(const std::string& file) {
  specularMap = file;
  hasTextures = hasTextures || !file.empty();
}
void HostMaterial::SetEnvironmentTexture(const std::string& file) {
  environmentMap = file;
  hasTextures = hasTextures || !file.empty();
}

std::string HostMaterial::GetCustomField(int32_t slot) {
  CheckedAt(document_.MaterialFieldNames(), slot, "material custom field");
  auto it = fields.find(slot);
  return it == fields.end() ? std::string() : it->second;
}

void HostMaterial::SetCustomField(int32_t slot, const std::string& text) {
  CheckedAt(document_.MaterialFieldNames(), slot, "material custom field");
  if (text.empty())
    fields.erase(slot);
  else
    fields[slot] = text;
}

Rgba HostMaterial::GetDiffuse() {
  return {diffuse.r, diffuse.g, diffuse.b, 1.0f - static_cast<float>(translucency) / 100.0f};
}

void HostMaterial::SetSpecular(float red, float green, float blue) {
  specular = {red, green, blue};
}

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
  if (!m) {
    material = nullptr;
    return;
  }
  HostDocument* doc = mesh_.Document();
  HostMaterial* host = doc ? doc->MaterialOf(m) : nullptr;
  if (!host) Raise(err::InvalidProcedureCall, "the material does not belong to this scene");
  material = host;
}

// ---- HostMesh: the Object view ----------------------------------------------------------------

class HostMesh::ObjectView final : public vlm::Object {
 public:
  explicit ObjectView(HostMesh& mesh) : m_(mesh) {}

  std::string Name() override { return m_.name; }
  void SetName(const std::string& name) override { m_.name = name; }
  Group* Parent() override {
    if (!m_.parent) Raise(ObjectVariableNotSet, "the object is not in a group yet");
    return &m_.parent->AsGroup();
  }
  int32_t VertexCount() override { return Count(m_.vertices.size()); }
  Vec3 GetVertex(int32_t index) override { return CheckedAt(m_.vertices, index, "vertex"); }
  void SetVertex(int32_t index, Vec3 position) override {
    CheckedAt(m_.vertices, index, "vertex");
    m_.vertices[static_cast<size_t>(index)] = position;
  }
  int32_t AddVertex(Vec3 position) override {
    m_.vertices.push_back(position);
    return Count(m_.vertices.size()) - 1;
  }
  int32_t NormalCount() override { return Count(m_.normals.size()); }
  Vec3 GetNormal(int32_t index) override { return CheckedAt(m_.normals, index, "normal"); }
  int32_t AddNormal(Vec3 normal) override {
    m_.normals.push_back(normal);
    return Count(m_.normals.size()) - 1;
  }
  int32_t TextureCoordinateCount() override { return Count(m_.uvs.size()); }
  Vec2 GetTextureCoordinate(int32_t index) override {
    return CheckedAt(m_.uvs, index, "texture coordinate");
  }
  int32_t AddTextureCoordinate(Vec2 uv) override {
    m_.uvs.push_back(uv);
    return Count(m_.uvs.size()) - 1;
  }
  int32_t FaceCount() override { return Count(m_.faces.size()); }
  vlm::Face* Face(int32_t index) override { return CheckedAt(m_.faces, index, "face").get(); }
  vlm::Face* AddFace() override { return &m_.AddFace(); }
  int32_t MaterialCount() override { return Count(m_.Materials(false).size()); }
  vlm::Material* Material(int32_t index) override {
    auto materials = m_.Materials(false);
    return CheckedAt(materials, index, "material");
  }
  int32_t SelectionMode() override {
    auto* entry = Entry();
    return entry ? entry->mode : 0;
  }
  int32_t SelectedFaceCount() override {
    auto* entry = Entry();
    return entry && entry->mode == 1 ? Count(entry->faces.size()) : 0;
  }
  int32_t SelectedFace(int32_t n) override {
    auto* entry = Entry();
    static const std::vector<int32_t> none;
    return CheckedAt(entry && entry->mode == 1 ? entry->faces : none, n, "selected face");
  }
  float SmoothingAngle() override { return m_.smoothingAngle; }
  void SetSmoothingAngle(float degrees) override { m_.smoothingAngle = degrees; }
  void GenerateNormals() override;
  void Update() override {}

 private:
  ScriptingSelection::ObjectEntry* Entry() {
    if (!m_.Document()) return nullptr;
    for (auto& e : m_.Document()->scriptingSelection.objects)
      if (e.mesh == &m_) return &e;
    return nullptr;
  }
  HostMesh& m_;
};

void HostMesh::ObjectView::GenerateNormals() {
  std::vector<Vec3> faceNormals;
  std::vector<std::vector<size_t>> facesOfVertex(m_.vertices.size());
  for (size_t f = 0; f < m_.faces.size(); ++f) {
    faceNormals.push_back(m_.FaceNormal(*m_.faces[f]));
    for (const auto& p : m_.faces[f]->points) {
      auto& list = facesOfVertex[static_cast<size_t>(p.vertex)];
      if (list.empty() || list.back() != f) list.push_back(f);
    }
  }
  const float limit =
      std::cos(std::clamp(m_.smoothingAngle, 0.0f, 180.0f) * 3.14159265358979f / 180.0f);
  std::vector<Vec3> normals;
  std::map<std::tuple<float, float, float>, int32_t> indexOf;
  for (size_t f = 0; f < m_.faces.size(); ++f) {
    for (auto& p : m_.faces[f]->points) {
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

// ---- HostMesh: the Shape view -----------------------------------------------------------------

class HostMesh::ShapeView final : public vlm::Shape {
 public:
  explicit ShapeView(HostMesh& mesh) : m_(mesh) {}

  std::string Name() override { return m_.name; }
  int32_t ShapeKind() override { return m_.kind; }
  int32_t VertexCount() override { return Count(m_.vertices.size()); }
  int32_t PolygonCount() override { return Count(m_.faces.size()); }
  Bounds GetBounds() override {
    if (m_.vertices.empty()) return {};
    Bounds b{m_.vertices[0], m_.vertices[0]};
    for (const Vec3& v : m_.vertices) {
      b.min = {std::min(b.min.x, v.x), std::min(b.min.y, v.y), std::min(b.min.z, v.z)};
      b.max = {std::max(b.max.x, v.x), std::max(b.max.y, v.y), std::max(b.max.z, v.z)};
    }
    return b;
  }
  Vec3 GetPosition(int32_t index) override { return CheckedAt(m_.vertices, index, "position"); }
  int32_t AddPosition(Vec3 position) override {
    m_.vertices.push_back(position);
    return Count(m_.vertices.size()) - 1;
  }
  std::vector<Vec3> GetPositions() override { return m_.vertices; }
  void SetPositions(const std::vector<Vec3>& positions) override {
    SameCount(positions.size(), m_.vertices.size(), "positions");
    m_.vertices = positions;
  }
  std::vector<Vec3> GetNormals() override { return m_.normals; }
  void SetNormals(const std::vector<Vec3>& normals) override {
    SameCount(normals.size(), m_.normals.size(), "normals");
    m_.normals = normals;
  }
  vlm::Polygon* Polygon(int32_t index) override {
    return CheckedAt(m_.faces, index, "polygon").get();
  }
  vlm::Polygon* AddPolygon() override { return &m_.AddFace(); }
  void RemovePolygon(int32_t index) override {
    CheckedAt(m_.faces, index, "polygon")->removed = true;
  }
  void Compact() override;
  void Update(int32_t) override {}
  std::vector<int32_t> GetSelectedPolygons(int32_t) override {
    if (m_.Document())
      for (auto& e : m_.Document()->graphSelection.shapes)
        if (e.mesh == &m_) return e.polygons;
    return {};
  }
  int32_t MaterialCount() override { return Count(m_.Materials(true).size()); }
  GraphMaterial* Material(int32_t index) override {
    auto materials = m_.Materials(true);
    return CheckedAt(materials, index, "material");
  }
  void Merge(vlm::Shape& other) override;
  void PrepareShadow(int32_t) override {}
  void Finalize() override {}
  MeshData GetMeshData(int32_t flags) override;
  TriangleData GetTriangleData() override;

 private:
  static void SameCount(size_t given, size_t held, const char* what) {
    if (given != held)
      Raise(err::InvalidProcedureCall, std::string(what) + ": " + std::to_string(given) +
                                           " given where the shape holds " + std::to_string(held));
  }
  // The fan triangles of every polygon, with missing normals and texture coordinates filled
  // in: calls emit(corners, face) for each triangle.
  template <class Emit>
  void Triangulate(std::vector<Vec3>& normals, std::vector<Vec2>& uvs, Emit emit);
  HostMesh& m_;
};

template <class Emit>
void HostMesh::ShapeView::Triangulate(std::vector<Vec3>& normals, std::vector<Vec2>& uvs,
                                      Emit emit) {
  int32_t zeroUv = -1;
  for (const auto& face : m_.faces) {
    if (face->removed || face->points.size() < 3) continue;
    int32_t planeNormal = -1;
    auto corner = [&](const HostPoint& p) {
      TriangleCorner c{p.vertex, p.normal, p.uv};
      if (c.normal < 0) {
        if (planeNormal < 0) {
          planeNormal = Count(normals.size());
          normals.push_back(m_.FaceNormal(*face));
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
    const auto& pts = face->points;
    for (size_t i = 1; i + 1 < pts.size(); ++i)
      emit(std::array<TriangleCorner, 3>{corner(pts[0]), corner(pts[i]), corner(pts[i + 1])},
           *face);
  }
}

MeshData HostMesh::ShapeView::GetMeshData(int32_t) {
  std::vector<Vec3> normals = m_.normals;
  std::vector<Vec2> uvs = m_.uvs;
  MeshData data;
  HostDocument* doc = m_.Document();
  // The lists are sized once: a large shape would otherwise be copied as they grow.
  size_t triangles = 0;
  for (const auto& face : m_.faces)
    if (!face->removed && face->points.size() >= 3) triangles += face->points.size() - 2;
  data.corners.reserve(10 * triangles + 1);
  data.materials.reserve(triangles);
  data.positions.reserve(3 * m_.vertices.size());
  Triangulate(normals, uvs, [&](const std::array<TriangleCorner, 3>& corners, HostFace& face) {
    data.corners.push_back(3);
    for (const auto& c : corners) {
      data.corners.push_back(c.position);
      data.corners.push_back(c.normal);
      data.corners.push_back(c.textureCoordinate);
    }
    data.materials.push_back(face.material ? face.material : &doc->DefaultMaterial());
  });
  data.corners.push_back(0);
  for (const Vec3& v : m_.vertices)
    data.positions.insert(data.positions.end(), {v.x, v.y, v.z});
  for (const Vec3& n : normals)
    data.normals.insert(data.normals.end(), {n.x, n.y, n.z});
  for (const Vec2& t : uvs)
    data.textureCoordinates.insert(data.textureCoordinates.end(), {t.u, t.v});
  data.polygonCount = 0;
  for (const auto& f : m_.faces)
    data.polygonCount += f->removed ? 0 : 1;
  return data;
}

TriangleData HostMesh::ShapeView::GetTriangleData() {
  TriangleData data;
  data.positions = m_.vertices;
  data.normals = m_.normals;
  data.textureCoordinates = m_.uvs;
  std::map<const HostMaterial*, int32_t> materialIndex;
  HostDocument* doc = m_.Document();
  Triangulate(data.normals, data.textureCoordinates,
              [&](const std::array<TriangleCorner, 3>& corners, HostFace& face) {
                HostMaterial* material = face.material ? face.material : &doc->DefaultMaterial();
                auto [it, added] = materialIndex.emplace(material, Count(data.materials.size()));
                if (added) data.materials.push_back(material);
                data.triangles.push_back({corners, it->second});
              });
  return data;
}

void HostMesh::ShapeView::Compact() {
  std::vector<int32_t> newIndex(m_.faces.size(), -1);
  std::vector<std::unique_ptr<HostFace>> kept;
  for (size_t i = 0; i < m_.faces.size(); ++i) {
    if (m_.faces[i]->removed) continue;
    newIndex[i] = Count(kept.size());
    kept.push_back(std::move(m_.faces[i]));
  }
  m_.faces = std::move(kept);
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

void HostMesh::ShapeView::Merge(vlm::Shape& other) {
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
  m_.faces.reserve(m_.faces.size() + source->faces.size());
  for (const auto& face : source->faces) {
    if (face->removed) continue;
    HostFace& copy = m_.AddFace();
    copy.material = face->material;
    copy.points.reserve(face->points.size());
    for (HostPoint p : face->points) {
      p.vertex += vertexBase;
      if (p.normal >= 0) p.normal += normalBase;
      if (p.uv >= 0) p.uv += uvBase;
      copy.points.push_back(p);
    }
  }
}

// ---- HostMesh ---------------------------------------------------------------------------------

HostMesh::HostMesh(HostDocument* document, std::string name)
    : name(std::move(name)),
      document_(document),
      object_(std::make_unique<ObjectView>(*this)),
      shape_(std::make_unique<ShapeView>(*this)) {}

HostMesh::~HostMesh() = default;

Object& HostMesh::AsObject() {
  return *object_;
}
Shape& HostMesh::AsShape() {
  return *shape_;
}

HostFace& HostMesh::AddFace() {
  faces.push_back(std::make_unique<HostFace>(*this));
  return *faces.back();
}

std::vector<HostMaterial*> HostMesh::Materials(bool forGraph) const {
  std::vector<HostMaterial*> out;
  std::set<const HostMaterial*> seen;
  for (const auto& f : faces) {
    if (f->removed) continue;
    HostMaterial* m = f->material;
    if (!m) {
      if (!forGraph || !document_) continue;
      m = &document_->DefaultMaterial();
    }
    if (seen.insert(m).second) out.push_back(m);
  }
  return out;
}

std::string HostMesh::Path() const {
  if (!parent) return PathSegment(name, 1);
  std::string own = PathSegment(name, Ordinal(parent->meshes, *this));
  std::string group = parent->Path();
  return group.empty() ? own : group + "/" + own;
}

Vec3 HostMesh::FaceNormal(const HostFace& face) const {
  // Newell's method: robust for non-planar and concave polygons.
  Vec3 n{};
  const auto& pts = face.points;
  for (size_t i = 0; i < pts.size(); ++i) {
    const Vec3& a = vertices[static_cast<size_t>(pts[i].vertex)];
    const Vec3& b = vertices[static_cast<size_t>(pts[(i + 1) % pts.size()].vertex)];
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return Normalize(n);
}

// ---- HostNode: the Group and Node views ------------------------------------------------------

class HostNode::GroupView final : public vlm::Group {
 public:
  explicit GroupView(HostNode& node) : n_(node) {}

  std::string Name() override { return n_.name; }
  void SetName(const std::string& name) override { n_.name = name; }
  Group* Parent() override {
    if (!n_.parent) Raise(ObjectVariableNotSet, "the group \"" + n_.name + "\" has no parent");
    return &n_.parent->AsGroup();
  }
  int32_t GroupCount() override { return Count(n_.children.size()); }
  Group* ChildGroup(int32_t index) override {
    return &CheckedAt(n_.children, index, "group")->AsGroup();
  }
  int32_t ObjectCount() override { return Count(n_.meshes.size()); }
  vlm::Object* Object(int32_t index) override {
    return &CheckedAt(n_.meshes, index, "object")->AsObject();
  }
  void AddGroup(Group* group) override;
  void AddObject(vlm::Object* object) override;

  Vec3 GetPosition(Group* relativeTo, int32_t) override { return Row(Relative(relativeTo), 3); }
  void SetPosition(Group* relativeTo, int32_t, Vec3 position) override {
    Vec3 world = TransformPoint(position, FrameOf(relativeTo));
    n_.position = TransformPoint(world, RigidInverse(ParentFrame()));
  }
  vlm::Orientation GetOrientation(Group* relativeTo, int32_t) override {
    Mat4 m = Relative(relativeTo);
    return {Normalize(Row(m, 2)), Normalize(Row(m, 1))};
  }
  void SetOrientation(Group* relativeTo, int32_t, Vec3 forward, Vec3 up) override {
    Mat4 toParent = Multiply(FrameOf(relativeTo), RigidInverse(ParentFrame()));
    Vec3 z = Normalize(TransformDirection(forward, toParent));
    if (z == Vec3{}) Raise(err::InvalidProcedureCall, "the forward vector is zero");
    Vec3 u = TransformDirection(up, toParent);
    Vec3 y = Normalize(u - z * Dot(u, z));
    if (y == Vec3{}) y = AnyPerpendicular(z);
    n_.forward = z;
    n_.up = y;
  }
  std::string GetCustomField(int32_t slot) override { return n_.Field(slot); }
  void SetCustomField(int32_t slot, const std::string& text) override { n_.SetField(slot, text); }

 private:
  Mat4 FrameOf(Group* group) {
    if (!group) return Mat4::Identity();
    HostNode* node = n_.document_.NodeOf(group);
    if (!node) Raise(err::InvalidProcedureCall, "the group does not belong to this scene");
    return node->WorldMatrix();
  }
  Mat4 ParentFrame() { return n_.parent ? n_.parent->WorldMatrix() : Mat4::Identity(); }
  // This group's transform in the frame of `relativeTo`.
  Mat4 Relative(Group* relativeTo) {
    return Multiply(n_.WorldMatrix(), RigidInverse(FrameOf(relativeTo)));
  }
  HostNode& n_;
};

void HostNode::GroupView::AddGroup(Group* group) {
  if (!n_.document_.AdoptGroup(group, n_))
    Raise(err::InvalidProcedureCall,
          "the group to add was not made by CreateGroup, is already in the scene, or holds "
          "this group");
}

void HostNode::GroupView::AddObject(vlm::Object* object) {
  if (!n_.document_.AdoptObject(object, n_))
    Raise(err::InvalidProcedureCall,
          "the object to add was not made by CreateObject or is already in the scene");
}

class HostNode::NodeView final : public vlm::Node {
 public:
  explicit NodeView(HostNode& node) : n_(node), children_(node), shapes_(node) {}

  std::string Name() override { return n_.name; }
  void SetName(const std::string& name) override { n_.name = name; }
  int32_t Id() override { return n_.Id(); }
  vlm::Node* Parent() override { return n_.parent ? &n_.parent->AsNode() : nullptr; }
  NodeCollection* Children() override { return &children_; }
  ShapeCollection* Shapes() override { return &shapes_; }
  Mat4 GetMatrix(vlm::Node* relativeTo, int32_t) override {
    Mat4 frame = Mat4::Identity();
    if (relativeTo) {
      HostNode* other = n_.document_.NodeOf(relativeTo);
      if (!other) Raise(err::InvalidProcedureCall, "the node does not belong to this scene");
      frame = other->WorldMatrix();
    }
    return Transpose(Multiply(n_.WorldMatrix(), RigidInverse(frame)));
  }
  int32_t GetAnimationKeys(int32_t, int32_t) override { return n_.animationKeys; }
  int32_t FindCustomField(const std::string& name) override {
    return n_.document_.FindNodeField(name);
  }
  int32_t AddCustomField(const std::string& name) override {
    return n_.document_.DefineNodeField(name);
  }
  int32_t FindMaterialCustomField(const std::string& name) override {
    return n_.document_.FindMaterialField(name);
  }
  int32_t AddMaterialCustomField(const std::string& name) override {
    return n_.document_.DefineMaterialField(name);
  }
  std::string GetCustomField(int32_t slot) override { return n_.Field(slot); }
  void SetCustomField(int32_t slot, const std::string& text) override { n_.SetField(slot, text); }

 private:
  struct ChildList final : NodeCollection {
    explicit ChildList(HostNode& n) : n(n) {}
    int32_t Count() override { return static_cast<int32_t>(n.children.size()); }
    vlm::Node* Item(int32_t index) override {
      return &CheckedAt(n.children, index, "child node")->AsNode();
    }
    HostNode& n;
  };
  struct ShapeList final : ShapeCollection {
    explicit ShapeList(HostNode& n) : n(n) {}
    int32_t Count() override { return static_cast<int32_t>(n.meshes.size()); }
    vlm::Shape* Item(int32_t index) override {
      return &CheckedAt(n.meshes, index, "shape")->AsShape();
    }
    HostNode& n;
  };
  HostNode& n_;
  ChildList children_;
  ShapeList shapes_;
};

// ---- HostNode -------------------------------------------------------------------------------

HostNode::HostNode(HostDocument& document, std::string name, int32_t id)
    : name(std::move(name)),
      document_(document),
      id_(id),
      group_(std::make_unique<GroupView>(*this)),
      node_(std::make_unique<NodeView>(*this)) {}

HostNode::~HostNode() = default;

Group& HostNode::AsGroup() {
  return *group_;
}
Node& HostNode::AsNode() {
  return *node_;
}

Mat4 HostNode::LocalMatrix() const {
  Vec3 x = Cross(up, forward);
  Mat4 m = Mat4::Identity();
  const Vec3 rows[4] = {x, up, forward, position};
  for (int r = 0; r < 4; ++r) {
    m(r, 0) = rows[r].x;
    m(r, 1) = rows[r].y;
    m(r, 2) = rows[r].z;
  }
  return m;
}

Mat4 HostNode::WorldMatrix() const {
  Mat4 m = LocalMatrix();
  for (const HostNode* p = parent; p; p = p->parent)
    m = Multiply(m, p->LocalMatrix());
  return m;
}

std::string HostNode::Path() const {
  if (!parent) return "";
  std::string own = PathSegment(name, Ordinal(parent->children, *this));
  std::string up = parent->Path();
  return up.empty() ? own : up + "/" + own;
}

std::string HostNode::Field(int32_t slot) const {
  CheckedAt(document_.NodeFieldNames(), slot, "custom field");
  auto it = fields.find(slot);
  return it == fields.end() ? std::string() : it->second;
}

void HostNode::SetField(int32_t slot, const std::string& text) {
  CheckedAt(document_.NodeFieldNames(), slot, "custom field");
  if (text.empty())
    fields.erase(slot);
  else
    fields[slot] = text;
}

// ---- HostDocument ----------------------------------------------------------------------------

HostDocument::HostDocument() : root_(std::make_unique<HostNode>(*this, "", 0)) {
  Register(*root_);
}

HostDocument::~HostDocument() = default;

void HostDocument::Register(HostNode& node) {
  nodeByView_[&node.AsGroup()] = &node;
  nodeByView_[&node.AsNode()] = &node;
}

void HostDocument::Register(HostMesh& mesh) {
  meshByView_[&mesh.AsObject()] = &mesh;
  meshByView_[&mesh.AsShape()] = &mesh;
}

float HostDocument::MetresPerUnit() const {
  switch (units) {
    case 1:
      return 0.01f;
    case 2:
      return 0.3048f;
    default:
      return 1.0f;
  }
}

HostMaterial* HostDocument::FindMaterial(std::string_view name) const {
  for (const auto& m : materials_)
    if (m->name == name) return m.get();
  return nullptr;
}

HostMaterial& HostDocument::NewMaterial(std::string name) {
  if (name.empty() || FindMaterial(name)) {
    std::string base = name.empty() ? "Material" : name;
    for (int n = 1;; ++n) {
      std::string candidate = base + std::to_string(n);
      if (!FindMaterial(candidate)) {
        name = candidate;
        break;
      }
    }
  }
  materials_.push_back(std::make_unique<HostMaterial>(*this, std::move(name)));
  return *materials_.back();
}

HostMaterial& HostDocument::DefaultMaterial() {
  if (!defaultMaterial_) defaultMaterial_ = std::make_unique<HostMaterial>(*this, "(default)");
  return *defaultMaterial_;
}

bool HostDocument::IsDefaultMaterial(const HostMaterial* material) const {
  return material && material == defaultMaterial_.get();
}

HostNode& HostDocument::NewNode(HostNode& parent, std::string name) {
  parent.children.push_back(std::make_unique<HostNode>(*this, std::move(name), nextId_++));
  HostNode& node = *parent.children.back();
  node.parent = &parent;
  Register(node);
  return node;
}

HostMesh& HostDocument::NewMesh(HostNode& parent, std::string name) {
  parent.meshes.push_back(std::make_unique<HostMesh>(this, std::move(name)));
  HostMesh& mesh = *parent.meshes.back();
  mesh.parent = &parent;
  Register(mesh);
  return mesh;
}

namespace {
int32_t FindName(const std::vector<std::string>& names, std::string_view name) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int32_t>(i);
  return -1;
}
int32_t DefineName(std::vector<std::string>& names, const std::string& name) {
  int32_t slot = FindName(names, name);
  if (slot >= 0) return slot;
  names.push_back(name);
  return static_cast<int32_t>(names.size()) - 1;
}
}  // namespace

int32_t HostDocument::FindNodeField(std::string_view name) const {
  return FindName(nodeFields_, name);
}
int32_t HostDocument::DefineNodeField(const std::string& name) {
  return DefineName(nodeFields_, name);
}
int32_t HostDocument::FindMaterialField(std::string_view name) const {
  return FindName(materialFields_, name);
}
int32_t HostDocument::DefineMaterialField(const std::string& name) {
  return DefineName(materialFields_, name);
}

void HostDocument::ClearSelection() {
  scriptingSelection = {};
  graphSelection = {};
}

namespace {
// Removes repeated entries from `indices`, keeping the first of each in its place; gives the
// ones removed, in order.
std::vector<int32_t> DropRepeats(std::vector<int32_t>& indices) {
  std::vector<int32_t> kept, dropped;
  std::set<int32_t> seen;
  for (int32_t i : indices)
    (seen.insert(i).second ? kept : dropped).push_back(i);
  indices = std::move(kept);
  return dropped;
}

// Appends `more` to `held`, leaving out what `held` already has; gives what was left out.
// `held` has no repeats, so every index left out is one of `more`.
std::vector<int32_t> Join(std::vector<int32_t>& held, const std::vector<int32_t>& more) {
  held.insert(held.end(), more.begin(), more.end());
  return DropRepeats(held);
}
}  // namespace

std::vector<int32_t> HostDocument::SelectObject(HostMesh& mesh, int32_t mode,
                                                std::vector<int32_t> faces) {
  for (auto& e : scriptingSelection.objects)
    if (e.mesh == &mesh) return e.mode == 1 && mode == 1 ? Join(e.faces, faces) : faces;
  std::vector<int32_t> dropped = DropRepeats(faces);
  scriptingSelection.objects.push_back({&mesh, mode, std::move(faces)});
  return dropped;
}

std::vector<int32_t> HostDocument::SelectShape(HostMesh& mesh, std::vector<int32_t> polygons) {
  for (auto& e : graphSelection.shapes)
    if (e.mesh == &mesh) return Join(e.polygons, polygons);
  std::vector<int32_t> dropped = DropRepeats(polygons);
  graphSelection.shapes.push_back({&mesh, std::move(polygons)});
  return dropped;
}

std::string PathSegment(std::string_view name, int32_t ordinal) {
  std::string out;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == '[') out += '\\';
    out += c;
  }
  if (ordinal > 1 || name.empty()) out += "[" + std::to_string(ordinal) + "]";
  return out;
}

namespace {

// One step of a path as read: the name, which of the siblings of that name it is (from 1),
// and the step as written, for messages.
struct Step {
  std::string name;
  int32_t ordinal = 1;
  bool numbered = false;  // the step ended in "[n]"
  std::string literal;    // the whole step taken as a name, "[n]" and all
  std::string written;
};

std::vector<Step> SplitPath(std::string_view path) {
  std::vector<Step> steps;
  if (path.empty()) return steps;
  Step step;
  size_t bracket = std::string::npos;  // where the last "[" not escaped went into the name
  auto finish = [&] {
    step.literal = step.name;
    const std::string& n = step.name;
    if (bracket != std::string::npos && n.size() >= bracket + 3 && n.back() == ']') {
      const char* first = n.data() + bracket + 1;
      const char* last = n.data() + n.size() - 1;
      int32_t value = 0;
      auto [end, ec] = std::from_chars(first, last, value);
      if (ec == std::errc() && end == last && value >= 1) {
        step.ordinal = value;
        step.numbered = true;
        step.name.resize(bracket);
      }
    }
    steps.push_back(std::move(step));
    step = {};
    bracket = std::string::npos;
  };
  for (size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (c == '/') {
      finish();
      continue;
    }
    step.written += c;
    bool escape = c == '\\' && i + 1 < path.size() &&
                  (path[i + 1] == '/' || path[i + 1] == '\\' || path[i + 1] == '[');
    if (escape) {
      c = path[++i];
      step.written += c;
    } else if (c == '[') {
      bracket = step.name.size();
    }
    step.name += c;
  }
  finish();
  return steps;
}

template <class T>
T* FindSibling(const std::vector<std::unique_ptr<T>>& siblings, const Step& step) {
  int32_t seen = 0;
  for (const auto& s : siblings)
    if (s->name == step.name && ++seen == step.ordinal) return s.get();
  // A name that itself ends in "[n]", as paths held it before "[" was escaped.
  if (step.numbered)
    for (const auto& s : siblings)
      if (s->name == step.literal) return s.get();
  return nullptr;
}

// The siblings as a path names them.
template <class T>
std::string SiblingSteps(const std::vector<std::unique_ptr<T>>& siblings) {
  std::vector<std::string> names;
  std::map<std::string, int32_t> seen;
  for (const auto& s : siblings)
    names.push_back(PathSegment(s->name, ++seen[s->name]));
  return JoinNames(names);
}

std::string Describe(const HostNode& node) {
  return node.parent ? "group \"" + node.Path() + "\"" : "the root";
}

// The group the first `count` steps lead to from `root`.
template <class NodeT>
NodeT* Walk(NodeT& root, const std::vector<Step>& steps, size_t count, std::string* problem) {
  NodeT* node = &root;
  for (size_t i = 0; i < count; ++i) {
    NodeT* next = FindSibling(node->children, steps[i]);
    if (!next) {
      if (problem)
        *problem = "no group \"" + steps[i].written + "\" in " + Describe(*node) +
                   (node->children.empty() ? " (it has no groups)"
                                           : "; its groups: " + SiblingSteps(node->children));
      return nullptr;
    }
    node = next;
  }
  return node;
}

template <class NodeT>
HostMesh* FindMeshIn(NodeT& root, std::string_view path, std::string* problem) {
  std::vector<Step> steps = SplitPath(path);
  if (steps.empty()) steps.emplace_back();  // "": the object of the root without a name
  NodeT* node = Walk(root, steps, steps.size() - 1, problem);
  if (!node) return nullptr;
  if (HostMesh* mesh = FindSibling(node->meshes, steps.back())) return mesh;
  if (problem)
    *problem = "no object \"" + steps.back().written + "\" in " + Describe(*node) +
               (node->meshes.empty() ? " (it has no objects)"
                                     : "; its objects: " + SiblingSteps(node->meshes));
  return nullptr;
}

}  // namespace

HostNode* HostDocument::FindGroup(std::string_view path, std::string* problem) {
  std::vector<Step> steps = SplitPath(path);
  return Walk(*root_, steps, steps.size(), problem);
}

const HostNode* HostDocument::FindGroup(std::string_view path, std::string* problem) const {
  std::vector<Step> steps = SplitPath(path);
  return Walk(std::as_const(*root_), steps, steps.size(), problem);
}

HostMesh* HostDocument::FindMesh(std::string_view path, std::string* problem) {
  return FindMeshIn(*root_, path, problem);
}

const HostMesh* HostDocument::FindMesh(std::string_view path, std::string* problem) const {
  return FindMeshIn(std::as_const(*root_), path, problem);
}

// ---- Scene ----

Group* HostDocument::CreateGroup() {
  unattachedNodes_.push_back(std::make_unique<HostNode>(*this, "", nextId_++));
  Register(*unattachedNodes_.back());
  return &unattachedNodes_.back()->AsGroup();
}

vlm::Object* HostDocument::CreateObject() {
  unattachedMeshes_.push_back(std::make_unique<HostMesh>(this, ""));
  Register(*unattachedMeshes_.back());
  return &unattachedMeshes_.back()->AsObject();
}

Material* HostDocument::CreateMaterial() {
  return &NewMaterial("");
}

int32_t HostDocument::SelectedObjectCount() {
  return Count(scriptingSelection.objects.size());
}
vlm::Object* HostDocument::SelectedObject(int32_t index) {
  return &CheckedAt(scriptingSelection.objects, index, "selected object").mesh->AsObject();
}
int32_t HostDocument::SelectedGroupCount() {
  return Count(scriptingSelection.groups.size());
}
Group* HostDocument::SelectedGroup(int32_t index) {
  return &CheckedAt(scriptingSelection.groups, index, "selected group")->AsGroup();
}
Group* HostDocument::RootGroup() {
  return &root_->AsGroup();
}

std::string HostDocument::UnitScaleText(float value) {
  return ShortestText(value * MetresPerUnit());
}

// ---- SceneGraph ----

int32_t HostDocument::SelectedNodeCount(int32_t) {
  return Count(graphSelection.nodes.size());
}
vlm::Node* HostDocument::SelectedNode(int32_t, int32_t index) {
  return &CheckedAt(graphSelection.nodes, index, "selected node")->AsNode();
}
int32_t HostDocument::SelectedShapeCount(int32_t) {
  return Count(graphSelection.shapes.size());
}
vlm::Shape* HostDocument::SelectedShape(int32_t, int32_t index) {
  return &CheckedAt(graphSelection.shapes, index, "selected shape").mesh->AsShape();
}

namespace {
// A shape that belongs to the plug-in that asked for it (NewShape): it owns its mesh and
// answers through the mesh's shape view.
class FreeShape final : public Shape {
 public:
  explicit FreeShape(HostDocument& document)
      : document_(document), mesh_(std::make_unique<HostMesh>(&document, "")) {
    document_.RegisterView(this, mesh_.get());
    document_.RegisterView(&mesh_->AsShape(), mesh_.get());
  }
  ~FreeShape() override {
    document_.UnregisterView(this);
    document_.UnregisterView(&mesh_->AsShape());
  }
  std::string Name() override { return S().Name(); }
  int32_t ShapeKind() override { return S().ShapeKind(); }
  int32_t VertexCount() override { return S().VertexCount(); }
  int32_t PolygonCount() override { return S().PolygonCount(); }
  Bounds GetBounds() override { return S().GetBounds(); }
  Vec3 GetPosition(int32_t i) override { return S().GetPosition(i); }
  int32_t AddPosition(Vec3 p) override { return S().AddPosition(p); }
  std::vector<Vec3> GetPositions() override { return S().GetPositions(); }
  void SetPositions(const std::vector<Vec3>& p) override { S().SetPositions(p); }
  std::vector<Vec3> GetNormals() override { return S().GetNormals(); }
  void SetNormals(const std::vector<Vec3>& n) override { S().SetNormals(n); }
  vlm::Polygon* Polygon(int32_t i) override { return S().Polygon(i); }
  vlm::Polygon* AddPolygon() override { return S().AddPolygon(); }
  void RemovePolygon(int32_t i) override { S().RemovePolygon(i); }
  void Compact() override { S().Compact(); }
  void Update(int32_t flags) override { S().Update(flags); }
  std::vector<int32_t> GetSelectedPolygons(int32_t d) override {
    return S().GetSelectedPolygons(d);
  }
  int32_t MaterialCount() override { return S().MaterialCount(); }
  GraphMaterial* Material(int32_t i) override { return S().Material(i); }
  void Merge(Shape& other) override { S().Merge(other); }
  void PrepareShadow(int32_t flags) override { S().PrepareShadow(flags); }
  void Finalize() override { S().Finalize(); }
  MeshData GetMeshData(int32_t flags) override { return S().GetMeshData(flags); }
  TriangleData GetTriangleData() override { return S().GetTriangleData(); }

 private:
  Shape& S() { return mesh_->AsShape(); }
  HostDocument& document_;
  std::unique_ptr<HostMesh> mesh_;
};
}  // namespace

std::unique_ptr<Shape> HostDocument::NewShape() {
  return std::make_unique<FreeShape>(*this);
}

vlm::Node* HostDocument::RootNode() {
  return &root_->AsNode();
}

// ---- identity ----

HostNode* HostDocument::AdoptGroup(Group* group, HostNode& parent) {
  for (auto it = unattachedNodes_.begin(); it != unattachedNodes_.end(); ++it)
    if (&(*it)->AsGroup() == group) {
      // A group cannot go into itself or into a group it holds: it would own itself.
      for (const HostNode* p = &parent; p; p = p->parent)
        if (p == it->get()) return nullptr;
      (*it)->parent = &parent;
      parent.children.push_back(std::move(*it));
      unattachedNodes_.erase(it);
      return parent.children.back().get();
    }
  return nullptr;
}

HostMesh* HostDocument::AdoptObject(vlm::Object* object, HostNode& parent) {
  for (auto it = unattachedMeshes_.begin(); it != unattachedMeshes_.end(); ++it)
    if (&(*it)->AsObject() == object) {
      (*it)->parent = &parent;
      parent.meshes.push_back(std::move(*it));
      unattachedMeshes_.erase(it);
      return parent.meshes.back().get();
    }
  return nullptr;
}

HostNode* HostDocument::NodeOf(const void* view) const {
  auto it = nodeByView_.find(view);
  return it == nodeByView_.end() ? nullptr : it->second;
}

HostMesh* HostDocument::MeshOf(const void* view) const {
  auto it = meshByView_.find(view);
  return it == meshByView_.end() ? nullptr : it->second;
}

HostMaterial* HostDocument::MaterialOf(Material* material) const {
  for (const auto& m : materials_)
    if (static_cast<Material*>(m.get()) == material) return m.get();
  return nullptr;
}

}  // namespace vlm::host
