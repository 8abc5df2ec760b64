// Where the faces of an object are in the world: what `show --faces` prints and what
// selection rules (facing=, box=) test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vlm/math.h"

namespace vlm::host {

class HostMesh;

struct WorldFace {
  size_t index = 0;     // in the object
  int32_t corners = 0;  // points of the face
  Vec3 centre{};        // the mean of its corners
  Vec3 normal{};        // unit (Newell's method over the world corners); zero when degenerate
};

// The object's faces that are not removed, in index order, in world space (the object's
// vertices are in its group's frame).
std::vector<WorldFace> WorldFaces(const HostMesh& mesh);

// The world-space box round an object's vertices; false for an object without vertices.
bool WorldBounds(const HostMesh& mesh, Vec3& min, Vec3& max);

}  // namespace vlm::host
