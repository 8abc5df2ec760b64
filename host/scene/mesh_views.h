// The two views of a mesh: the Object of the scripting view and the Shape of the scene-graph
// view, each answering from the mesh itself.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "scene/checked.h"
#include "scene/document.h"

namespace vlm::host {

class MeshObject final : public vlm::Object {
 public:
  explicit MeshObject(HostMesh& mesh) : m_(mesh) {}

  std::string Name() override { return m_.name; }
  void SetName(const std::string& name) override { m_.name = name; }
  Group* Parent() override {
    if (!m_.parent) Raise(err::ObjectVariableNotSet, "the object is not in a group yet");
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
  int32_t FaceCount() override { return Count(m_.FaceCount()); }
  vlm::Face* Face(int32_t index) override {
    return &m_.Face(CheckedIndex(m_.FaceCount(), index, "face"));
  }
  vlm::Face* AddFace() override { return &m_.Face(m_.AddFace()); }
  int32_t MaterialCount() override { return Count(m_.Materials(false).size()); }
  vlm::Material* Material(int32_t index) override {
    const auto& materials = m_.Materials(false);
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
  void Reserve(int32_t vertices, int32_t faces, int32_t points) override;
  int32_t AddFaceOfPoints(std::span<const FacePoint> points, vlm::Material* material) override;
  void GetFacePoints(int32_t face, std::vector<FacePoint>& points) override;
  vlm::Material* FaceMaterial(int32_t face) override {
    return m_.FaceMaterial(CheckedIndex(m_.FaceCount(), face, "face"));
  }
  Vec3 GetFaceNormal(int32_t face) override {
    return m_.FaceNormal(CheckedIndex(m_.FaceCount(), face, "face"));
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
  std::vector<HostPoint> points_;  // AddFaceOfPoints's checked points, kept for the next face
};

class MeshShape : public vlm::Shape {
 public:
  explicit MeshShape(HostMesh& mesh) : m_(mesh) {}

  std::string Name() override { return m_.name; }
  int32_t ShapeKind() override { return m_.kind; }
  int32_t VertexCount() override { return Count(m_.vertices.size()); }
  int32_t PolygonCount() override { return Count(m_.FaceCount()); }
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
    return &m_.Face(CheckedIndex(m_.FaceCount(), index, "polygon"));
  }
  vlm::Polygon* AddPolygon() override { return &m_.Face(m_.AddFace()); }
  void RemovePolygon(int32_t index) override {
    m_.RemoveFace(CheckedIndex(m_.FaceCount(), index, "polygon"));
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
    const auto& materials = m_.Materials(true);
    return CheckedAt(materials, index, "material");
  }
  void Reserve(int32_t positions, int32_t polygons, int32_t points) override;
  int32_t AddPositions(std::span<const Vec3> positions) override;
  int32_t AddPolygons(std::span<const int32_t> counts, std::span<const int32_t> positions) override;
  void GetPolygonPoints(int32_t polygon, std::vector<int32_t>& positions) override;
  Vec3 GetPolygonNormal(int32_t polygon) override {
    return m_.FaceNormal(CheckedIndex(m_.FaceCount(), polygon, "polygon"));
  }
  void Merge(vlm::Shape& other) override;
  void PrepareShadow(int32_t) override {}
  void Finalize() override {}
  MeshData GetMeshData(int32_t flags) override;
  TriangleData GetTriangleData() override;
  int64_t TriangleCount() override;

 private:
  static void SameCount(size_t given, size_t held, const char* what) {
    if (given != held)
      Raise(err::InvalidProcedureCall, std::string(what) + ": " + std::to_string(given) +
                                           " given where the shape holds " + std::to_string(held));
  }
  // The fan triangles of every polygon, with missing normals and texture coordinates filled
  // in: calls emit(corners, material) for each triangle (the face's material, or null).
  template <class Emit>
  void Triangulate(std::vector<Vec3>& normals, std::vector<Vec2>& uvs, Emit emit);
  HostMesh& m_;
};

}  // namespace vlm::host
