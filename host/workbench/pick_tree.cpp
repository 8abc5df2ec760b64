// The pick tree (see pick_tree.h), walked nearer child first.
#include "workbench/pick_tree.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "workbench/large_arrays.h"
#include "workbench/scene_mesh.h"

namespace vlm::workbench {
namespace {

constexpr uint32_t kLeafSize = 4;

Vec3 Min(Vec3 a, Vec3 b) {
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
}
Vec3 Max(Vec3 a, Vec3 b) {
  return {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}

// Where the ray enters the box, if it does before `limit`.
bool EntersBox(Vec3 min, Vec3 max, Vec3 origin, Vec3 inverse, float limit, float& entry) {
  float t0 = 0, t1 = limit;
  const float o[3] = {origin.x, origin.y, origin.z}, inv[3] = {inverse.x, inverse.y, inverse.z};
  const float lo[3] = {min.x, min.y, min.z}, hi[3] = {max.x, max.y, max.z};
  for (int i = 0; i < 3; ++i) {
    float near = (lo[i] - o[i]) * inv[i], far = (hi[i] - o[i]) * inv[i];
    if (near > far) std::swap(near, far);
    // NaN (a ray in the plane of a side) compares false and leaves the interval as it is.
    if (near > t0) t0 = near;
    if (far < t1) t1 = far;
    if (t0 > t1) return false;
  }
  entry = t0;
  return true;
}

// Spreads the low 21 bits of v to every third bit.
uint64_t Spread(uint64_t v) {
  v &= 0x1fffff;
  v = (v | v << 32) & 0x1f00000000ffffULL;
  v = (v | v << 16) & 0x1f0000ff0000ffULL;
  v = (v | v << 8) & 0x100f00f00f00f00fULL;
  v = (v | v << 4) & 0x10c30c30c30c30c3ULL;
  v = (v | v << 2) & 0x1249249249249249ULL;
  return v;
}

}  // namespace

// The triangles are sorted along a space-filling curve through their centres (nearby
// triangles end up nearby in the list), and the list is halved down to the leaves; each
// node's box is then worked out from its children, the last nodes first.
PickTree::PickTree(const SceneMesh& mesh) {
  const size_t count = mesh.TriangleCount();
  if (count == 0) return;
  Vec3 lo = mesh.corners[0], hi = lo;
  for (const Vec3& p : mesh.corners)
    lo = Min(lo, p), hi = Max(hi, p);
  const Vec3 extent = hi - lo;
  const auto scale = [](float e) { return e > 0 && std::isfinite(e) ? 2097151.0f / e : 0.0f; };
  const Vec3 to{scale(extent.x), scale(extent.y), scale(extent.z)};
  std::vector<std::pair<uint64_t, uint32_t>> order;
  ResizeLarge(order, count);
  for (size_t t = 0; t < count; ++t) {
    const Vec3 c =
        (mesh.corners[3 * t] + mesh.corners[3 * t + 1] + mesh.corners[3 * t + 2]) * (1.0f / 3);
    const auto cell = [](float v) {
      // Not finite (a corner at infinity) counts as the box's edge.
      return static_cast<uint64_t>(!(v > 0) ? 0.0f : std::min(v, 2097151.0f));
    };
    const uint64_t code = Spread(cell((c.x - lo.x) * to.x)) |
                          Spread(cell((c.y - lo.y) * to.y)) << 1 |
                          Spread(cell((c.z - lo.z) * to.z)) << 2;
    order[t] = {code, static_cast<uint32_t>(t)};
  }
  std::sort(order.begin(), order.end());

  mesh_ = &mesh;
  ReserveLarge(order_, count);
  for (const auto& [code, t] : order)
    order_.push_back(t);
  // Halving a run of n > kLeafSize gives at most 2n / 2 nodes below it.
  ReserveLarge(nodes_, count + 1);
  nodes_.push_back({{}, {}, 0, static_cast<uint32_t>(count)});
  for (size_t n = 0; n < nodes_.size(); ++n) {
    const uint32_t begin = nodes_[n].first, size = nodes_[n].count;
    if (size <= kLeafSize) continue;
    const uint32_t half = size / 2;
    const uint32_t left = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({{}, {}, begin, half});
    nodes_.push_back({{}, {}, begin + half, size - half});
    nodes_[n].first = left;
    nodes_[n].count = 0;
  }
  for (size_t n = nodes_.size(); n-- > 0;) {
    Node& node = nodes_[n];
    if (node.count > 0) {
      node.min = node.max = mesh.corners[3 * size_t{order_[node.first]}];
      for (uint32_t i = node.first; i < node.first + node.count; ++i)
        for (size_t k = 0; k < 3; ++k) {
          const Vec3 p = mesh.corners[3 * size_t{order_[i]} + k];
          node.min = Min(node.min, p), node.max = Max(node.max, p);
        }
    } else {
      node.min = Min(nodes_[node.first].min, nodes_[node.first + 1].min);
      node.max = Max(nodes_[node.first].max, nodes_[node.first + 1].max);
    }
  }
}

template <class Visit>
void PickTree::Walk(const Ray& ray, float& limit, Visit visit) const {
  if (nodes_.empty()) return;
  const Vec3 d = ray.direction;
  const Vec3 inverse{1 / d.x, 1 / d.y, 1 / d.z};
  float entry = 0;
  if (!EntersBox(nodes_[0].min, nodes_[0].max, ray.origin, inverse, limit, entry)) return;
  struct Entry {
    uint32_t node;
    float at;
  };
  Entry stack[128];
  int top = 0;
  stack[top++] = {0, entry};
  while (top > 0) {
    const Entry e = stack[--top];
    if (e.at > limit) continue;
    const Node& node = nodes_[e.node];
    if (node.count > 0) {
      for (uint32_t i = node.first; i < node.first + node.count; ++i) {
        const uint32_t t = order_[i];
        const Vec3* corner = &mesh_->corners[3 * size_t{t}];
        if (visit(Triangle{corner[0], corner[1] - corner[0], corner[2] - corner[0], t,
                           mesh_->triangleFace[t]},
                  limit))
          return;
      }
      continue;
    }
    float atLeft = 0, atRight = 0;
    const bool left = EntersBox(nodes_[node.first].min, nodes_[node.first].max, ray.origin, inverse,
                                limit, atLeft);
    const bool right = EntersBox(nodes_[node.first + 1].min, nodes_[node.first + 1].max, ray.origin,
                                 inverse, limit, atRight);
    // The nearer child goes on top of the stack; the tree is at most ~40 deep, far below 128.
    if (left && right) {
      if (atLeft <= atRight) {
        stack[top++] = {node.first + 1, atRight};
        stack[top++] = {node.first, atLeft};
      } else {
        stack[top++] = {node.first, atLeft};
        stack[top++] = {node.first + 1, atRight};
      }
    } else if (left) {
      stack[top++] = {node.first, atLeft};
    } else if (right) {
      stack[top++] = {node.first + 1, atRight};
    }
  }
}

namespace {

// The distance along the ray to the triangle, Moller and Trumbore's way; negative for a miss.
template <class Triangle>
float Intersect(const Triangle& t, const Ray& ray, bool frontOnly) {
  const Vec3 p = Cross(ray.direction, t.ac);
  const float det = Dot(t.ab, p);
  // Counter-clockwise seen from the origin gives a positive determinant.
  if (frontOnly ? !(det > 0) : det == 0) return -1;
  const float inv = 1 / det;
  const Vec3 s = ray.origin - t.a;
  const float u = Dot(s, p) * inv;
  if (!(u >= 0 && u <= 1)) return -1;
  const Vec3 q = Cross(s, t.ab);
  const float v = Dot(ray.direction, q) * inv;
  if (!(v >= 0 && u + v <= 1)) return -1;
  const float distance = Dot(t.ac, q) * inv;
  return distance > 0 ? distance : -1;
}

}  // namespace

namespace {

bool IsHidden(PickTree::Hidden hidden, uint32_t face) {
  return face < hidden.size() && hidden[face] != 0;
}

}  // namespace

std::optional<PickTree::Hit> PickTree::Nearest(const Ray& ray, bool frontOnly,
                                               Hidden hidden) const {
  std::optional<Hit> best;
  float limit = std::numeric_limits<float>::infinity();
  Walk(ray, limit, [&](const Triangle& t, float& lim) {
    if (IsHidden(hidden, t.face)) return false;
    const float distance = Intersect(t, ray, frontOnly);
    if (distance >= 0 && distance < lim) {
      lim = distance;
      best = Hit{t.index, distance};
    }
    return false;
  });
  return best;
}

std::vector<PickTree::Hit> PickTree::AllHits(const Ray& ray, bool frontOnly, Hidden hidden) const {
  std::vector<Hit> hits;
  float limit = std::numeric_limits<float>::infinity();
  Walk(ray, limit, [&](const Triangle& t, float&) {
    if (IsHidden(hidden, t.face)) return false;
    const float distance = Intersect(t, ray, frontOnly);
    if (distance >= 0) hits.push_back({t.index, distance});
    return false;
  });
  std::sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
    return a.distance < b.distance || (a.distance == b.distance && a.triangle < b.triangle);
  });
  return hits;
}

bool PickTree::Blocked(const Ray& ray, float distance, uint32_t face, bool frontOnly,
                       Hidden hidden) const {
  bool blocked = false;
  float limit = distance;
  Walk(ray, limit, [&](const Triangle& t, float& lim) {
    if (t.face == face || IsHidden(hidden, t.face)) return false;
    const float at = Intersect(t, ray, frontOnly);
    blocked = at >= 0 && at < lim;
    return blocked;
  });
  return blocked;
}

}  // namespace vlm::workbench
