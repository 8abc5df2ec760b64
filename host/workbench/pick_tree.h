// A bounding-volume tree over the triangles of a scene mesh, for finding what a ray from the
// eye meets first: the face under the cursor, and whether a face's centre is in sight.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vlm/math.h"
#include "workbench/camera.h"

namespace vlm::workbench {

class SceneMesh;

class PickTree {
 public:
  PickTree() = default;
  // Reads the mesh's triangles where they are: the mesh must outlive the tree and stay as
  // it is.
  explicit PickTree(const SceneMesh& mesh);

  struct Hit {
    uint32_t triangle = 0;  // the scene mesh's triangle index
    float distance = 0;     // along the ray
  };
  // The faces a search passes through: a byte per scene face, not 0 for one that is hidden
  // (empty: none is).
  using Hidden = std::span<const uint8_t>;
  // The first triangle the ray meets; with `frontOnly`, triangles seen from behind (their
  // corners clockwise from the ray's origin) are passed through, and so are hidden faces.
  std::optional<Hit> Nearest(const Ray& ray, bool frontOnly, Hidden hidden = {}) const;
  // Every triangle the ray meets, nearest first.
  std::vector<Hit> AllHits(const Ray& ray, bool frontOnly, Hidden hidden = {}) const;
  // Whether the ray meets a triangle of another face than `face` before `distance`.
  bool Blocked(const Ray& ray, float distance, uint32_t face, bool frontOnly,
               Hidden hidden = {}) const;

  size_t NodeCount() const { return nodes_.size(); }

 private:
  struct Node {
    Vec3 min, max;
    uint32_t first = 0;  // a leaf's first triangle, else its first child (the other follows)
    uint32_t count = 0;  // triangles of a leaf; 0 for an inner node
  };
  struct Triangle {
    Vec3 a, ab, ac;
    uint32_t index, face;
  };
  template <class Visit>
  void Walk(const Ray& ray, float& limit, Visit visit) const;
  const SceneMesh* mesh_ = nullptr;
  std::vector<Node> nodes_;
  std::vector<uint32_t> order_;  // the mesh's triangles in the leaves' order
};

}  // namespace vlm::workbench
