// A face of an object (a polygon of the scene-graph view).
#pragma once

#include <cstdint>

#include "vlm/math.h"

namespace vlm {

class Material;

class Face {
 public:
  virtual ~Face() = default;

  // Points in winding order; each names a vertex, a normal and a texture coordinate of the
  // face's object.
  virtual int32_t PointCount() = 0;
  virtual int32_t PointVertex(int32_t point) = 0;
  virtual int32_t PointNormal(int32_t point) = 0;
  virtual int32_t PointTextureCoordinate(int32_t point) = 0;
  // Error 9 when an index is outside its list. On an object without normals (texture
  // coordinates) index 0 is accepted and means "none yet".
  virtual void AddPoint(int32_t vertex, int32_t normal, int32_t textureCoordinate) = 0;

  // The unit plane normal (counter-clockwise winding faces the viewer); zero when degenerate.
  virtual Vec3 GetNormal() = 0;

  // The face's material (shared by reference), or nullptr.
  virtual vlm::Material* Material() = 0;
  virtual void SetMaterial(vlm::Material* material) = 0;
};

}  // namespace vlm
