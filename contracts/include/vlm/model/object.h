// An object of the scripting view: a mesh in a group (a shape of the scene-graph view).
//
// Vertices and face normals are in the frame of the group that holds the object. Indices are
// 0-based; a new vertex, normal, texture coordinate or face takes the next index.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vlm/math.h"
#include "vlm/model/types.h"

namespace vlm {

class Face;
class Group;
class Material;

class Object {
 public:
  virtual ~Object() = default;

  virtual std::string Name() = 0;
  virtual void SetName(const std::string& name) = 0;
  // The group that holds the object; error 91 while it is unattached.
  virtual Group* Parent() = 0;

  virtual int32_t VertexCount() = 0;
  virtual Vec3 GetVertex(int32_t index) = 0;
  virtual void SetVertex(int32_t index, Vec3 position) = 0;
  virtual int32_t AddVertex(Vec3 position) = 0;

  virtual int32_t NormalCount() = 0;
  virtual Vec3 GetNormal(int32_t index) = 0;
  virtual int32_t AddNormal(Vec3 normal) = 0;

  virtual int32_t TextureCoordinateCount() = 0;
  virtual Vec2 GetTextureCoordinate(int32_t index) = 0;
  virtual int32_t AddTextureCoordinate(Vec2 uv) = 0;

  virtual int32_t FaceCount() = 0;
  virtual vlm::Face* Face(int32_t index) = 0;
  virtual vlm::Face* AddFace() = 0;

  // Room for this many more vertices, and for this many more faces holding this many points
  // together: a plug-in that adds many reserves once, so the object grows once. Error 5 for a
  // negative count.
  virtual void Reserve(int32_t vertices, int32_t faces, int32_t points) = 0;
  // Appends a whole face without a handle, with its points and its material (or nullptr); its
  // index. Each point is checked as Face::AddPoint checks it (error 9), the material as
  // Face::SetMaterial does (error 5); nothing is added then.
  virtual int32_t AddFaceOfPoints(std::span<const FacePoint> points, vlm::Material* material) = 0;
  // A face's points, in `points` (its old entries dropped), its material and its plane normal
  // (as Face::GetNormal), without a handle; error 9 when the face index is outside the object.
  virtual void GetFacePoints(int32_t face, std::vector<FacePoint>& points) = 0;
  virtual vlm::Material* FaceMaterial(int32_t face) = 0;
  virtual Vec3 GetFaceNormal(int32_t face) = 0;

  // The distinct materials of the object's faces, in first-use order.
  virtual int32_t MaterialCount() = 0;
  virtual vlm::Material* Material(int32_t index) = 0;

  // 0: the whole object is selected; 1: faces of it are selected.
  virtual int32_t SelectionMode() = 0;
  virtual int32_t SelectedFaceCount() = 0;
  virtual int32_t SelectedFace(int32_t n) = 0;  // a face index

  virtual float SmoothingAngle() = 0;  // degrees
  virtual void SetSmoothingAngle(float degrees) = 0;
  // Derives the normals from the geometry: a face point takes the mean of the normals of the
  // faces around its vertex that meet its own face at no more than the smoothing angle.
  virtual void GenerateNormals() = 0;
  // Called last on a finished object.
  virtual void Update() = 0;
};

}  // namespace vlm
