// An object of the scripting view: a mesh in a group (a shape of the scene-graph view).
//
// Vertices and face normals are in the frame of the group that holds the object. Indices are
// 0-based; a new vertex, normal, texture coordinate or face takes the next index.
#pragma once

#include <cstdint>
#include <string>

#include "vlm/math.h"

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
