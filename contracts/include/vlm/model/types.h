// Small value types of the host object model.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "vlm/math.h"

namespace vlm {

class GraphMaterial;

struct Rgb {
  float r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};
struct Rgba {
  float r = 0, g = 0, b = 0, a = 1;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

// The two orientation vectors of a group: its local +z ("forward") and +y ("up") axes.
struct Orientation {
  Vec3 forward;
  Vec3 up;
};

struct Bounds {
  Vec3 min;
  Vec3 max;
};

// Shape::GetMeshData: the shape's polygons as triangles (each polygon fanned from its first
// point), in flat lists.
struct MeshData {
  std::vector<float> positions;           // x, y, z per position
  std::vector<float> normals;             // x, y, z per normal
  std::vector<float> textureCoordinates;  // u, v per texture coordinate
  // One ten-entry record per triangle, then one trailing entry (n = 10 x triangles + 1).
  // A record starting at r holds 3 (its corner count) at r, then the three corners at r+1,
  // r+4 and r+7, each a triple (position index, normal index, texture-coordinate index).
  // The trailing entry is 0.
  std::vector<int32_t> corners;
  // The material of each triangle record: the triangle at r has materials[r / 10].
  std::vector<GraphMaterial*> materials;
  int32_t polygonCount = 0;
};

// Shape::GetTriangleData: the same triangles with their corners and materials as records.
struct TriangleCorner {
  int32_t position = 0, normal = 0, textureCoordinate = 0;
  friend bool operator==(const TriangleCorner&, const TriangleCorner&) = default;
};
struct Triangle {
  std::array<TriangleCorner, 3> corners;
  int32_t material = 0;  // index into TriangleData::materials
};
struct TriangleData {
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;
  std::vector<Vec2> textureCoordinates;
  std::vector<GraphMaterial*> materials;  // the shape's materials, in first-use order
  std::vector<Triangle> triangles;        // in polygon order, each polygon fanned
};

// One point of a face as Object::AddFaceOfPoints and Object::GetFacePoints pass it: a vertex,
// a normal and a texture coordinate of the object, -1 for "none".
struct FacePoint {
  int32_t vertex = 0, normal = -1, textureCoordinate = -1;
  friend bool operator==(const FacePoint&, const FacePoint&) = default;
};

// Shape kinds.
inline constexpr int32_t ShapeKindPolygonMesh = 11;

}  // namespace vlm
