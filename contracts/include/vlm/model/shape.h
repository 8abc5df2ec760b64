// A shape of the scene-graph view: a mesh of a node (an object of the scripting view).
//
// Positions and normals are in the frame of the node that holds the shape.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vlm/math.h"
#include "vlm/model/types.h"

namespace vlm {

class Polygon;
class GraphMaterial;

class Shape {
 public:
  virtual ~Shape() = default;

  virtual std::string Name() = 0;
  virtual int32_t ShapeKind() = 0;  // ShapeKindPolygonMesh for meshes

  virtual int32_t VertexCount() = 0;  // positions
  virtual int32_t PolygonCount() = 0;
  // Bounding box of the positions (both corners 0 for an empty shape).
  virtual Bounds GetBounds() = 0;

  virtual Vec3 GetPosition(int32_t index) = 0;
  virtual int32_t AddPosition(Vec3 position) = 0;
  virtual std::vector<Vec3> GetPositions() = 0;
  virtual void SetPositions(const std::vector<Vec3>& positions) = 0;  // same count
  virtual std::vector<Vec3> GetNormals() = 0;
  virtual void SetNormals(const std::vector<Vec3>& normals) = 0;  // same count

  virtual vlm::Polygon* Polygon(int32_t index) = 0;
  virtual vlm::Polygon* AddPolygon() = 0;
  // Marks the polygon as removed; indices stay valid until Compact drops it.
  virtual void RemovePolygon(int32_t index) = 0;
  // Drops removed polygons (the following ones move down).
  virtual void Compact() = 0;
  // Tells the host the shape is finished (flags -1: everything).
  virtual void Update(int32_t flags) = 0;

  // The polygons selected in the view `device`, in selection order.
  virtual std::vector<int32_t> GetSelectedPolygons(int32_t device) = 0;

  // The distinct materials of the polygons, in first-use order. A polygon without a
  // material uses the document's default material.
  virtual int32_t MaterialCount() = 0;
  virtual GraphMaterial* Material(int32_t index) = 0;

  // Room for this many more positions, and for this many more polygons holding this many
  // points together: a plug-in that adds many reserves once, so the shape grows once. Error 5
  // for a negative count.
  virtual void Reserve(int32_t positions, int32_t polygons, int32_t points) = 0;
  // Appends the positions; the index of the first (the count when none are given). Error 7
  // when the shape would hold more positions than an index reaches.
  virtual int32_t AddPositions(std::span<const Vec3> positions) = 0;
  // Appends whole polygons without handles: polygon i takes the next counts[i] entries of
  // `positions` (position indices; its points have no normal and no texture coordinate, it
  // has no material). The index of the first new polygon. Error 9 when a position index is
  // outside the shape's positions, error 5 when a count is negative or the counts do not add
  // up to the positions given; nothing is added then.
  virtual int32_t AddPolygons(std::span<const int32_t> counts,
                              std::span<const int32_t> positions) = 0;
  // The position index of each point of a polygon, in `positions` (its old entries dropped);
  // error 9 when the polygon index is outside the shape.
  virtual void GetPolygonPoints(int32_t polygon, std::vector<int32_t>& positions) = 0;
  // The polygon's unit plane normal, as Polygon::GetNormal gives it; error 9 as above.
  virtual Vec3 GetPolygonNormal(int32_t polygon) = 0;

  // Appends the other shape's positions, normals, texture coordinates and polygons (no
  // transform).
  virtual void Merge(Shape& other) = 0;
  // Preparation hooks of the host's exporters; the stand-in host changes nothing.
  virtual void PrepareShadow(int32_t flags) = 0;
  virtual void Finalize() = 0;

  // The polygons as triangles, each polygon fanned from its first point. A point without a
  // normal gets its polygon's plane normal, one without a texture coordinate (0, 0).
  virtual MeshData GetMeshData(int32_t flags) = 0;
  virtual TriangleData GetTriangleData() = 0;
  // How many triangles GetTriangleData gives (a polygon of n >= 3 points that is not removed
  // fans into n - 2), counted without making them.
  virtual int64_t TriangleCount() = 0;
};

class Polygon {
 public:
  virtual ~Polygon() = default;
  virtual int32_t PointCount() = 0;
  virtual int32_t PointIndex(int32_t point) = 0;  // the position of the point
  // As Face::AddPoint: position, normal, texture coordinate.
  virtual void AddPoint(int32_t position, int32_t normal, int32_t textureCoordinate) = 0;
  virtual Vec3 GetNormal() = 0;
};

}  // namespace vlm
