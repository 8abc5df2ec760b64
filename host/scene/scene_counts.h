// What a scene holds, counted: its groups, objects, faces, triangles and vertices, and the
// box round its vertices in world space.
#pragma once

#include <cstdint>

#include "vlm/math.h"

namespace vlm::host {

class HostNode;
class HostMesh;

// The box round what was put in it; empty until something was.
struct Box {
  bool any = false;
  Vec3 min{}, max{};
  void Extend(Vec3 lo, Vec3 hi);
};

struct SceneCounts {
  int64_t groups = 0, objects = 0, faces = 0, triangles = 0, vertices = 0;
  Box bounds;  // in world space
};

// The triangles a fan from each face's first corner gives (removed faces left out).
int64_t Triangles(const HostMesh& mesh);
// Everything below `node` (not the node itself as a group).
SceneCounts CountScene(const HostNode& node);

}  // namespace vlm::host
