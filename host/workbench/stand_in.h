// A lighter copy of a large scene mesh, drawn in its place while the camera moves: each
// material's triangles simplified together to a share of their count, so a drag redraws
// about kStandInTriangles triangles however large the model is. The full mesh is drawn again
// once the camera stops.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vlm/math.h"
#include "workbench/scene_mesh.h"

namespace vlm::workbench {

// Meshes of more triangles than this get a stand-in, of about this many.
inline constexpr size_t kStandInAbove = 250000;
inline constexpr size_t kStandInTriangles = 100000;

struct StandIn {
  // Per triangle corner (3 per triangle), as SceneMesh's.
  std::vector<Vec3> corners;
  std::vector<Vec2> uvs;
  // One batch for each of the mesh's batches, in the same order (some may hold nothing).
  std::vector<MaterialBatch> batches;
  size_t TriangleCount() const { return corners.size() / 3; }
};

// The stand-in of `mesh` of about `triangles` triangles, leaving out the faces whose byte in
// `hidden` (one per scene face; empty: none) is not 0 and triangles with a corner that is not
// finite. A material of only a few triangles that would simplify to nothing keeps them.
StandIn MakeStandIn(const SceneMesh& mesh, size_t triangles, std::span<const uint8_t> hidden = {});

}  // namespace vlm::workbench
