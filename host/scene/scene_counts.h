// What a scene holds, counted: its groups, objects, faces, triangles and vertices, and the
// box round its vertices in world space.
#pragma once

#include <cstdint>

#include "vlm/math.h"

namespace vlm::host {

class HostNode;
class HostMesh;

struct SceneCounts {
  int64_t groups = 0, objects = 0, faces = 0, triangles = 0, vertices = 0;
  bool hasBounds = false;  // some object has a vertex
  Vec3 min{}, max{};
  void Extend(Vec3 lo, Vec3 hi);
};

// The triangles a fan from each face's first corner gives (removed faces left out).
int64_t Triangles(const HostMesh& mesh);
// Everything below `node` (not the node itself as a group).
SceneCounts CountScene(const HostNode& node);

}  // namespace vlm::host
