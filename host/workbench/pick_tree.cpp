// The pick tree (see pick_tree.h): split at the median of the longer side of the centres'
// box, down to a few triangles a leaf; walked nearer child first.
#include "workbench/pick_tree.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "workbench/scene_mesh.h"

namespace vlm::workbench {
namespace {

constexpr uint32_t kLeafSize = 4;

float Axis(Vec3 v, int axis) {
  return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

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

}  // namespace

PickTree::PickTree(const SceneMesh& mesh) {
  const size_t count = mesh.TriangleCount();
  if (count == 0) return;
  std::vector<uint32_t> order(count);
  std::vector<Vec3> centres(count), lo(count), hi(count);
  for (size_t t = 0; t < count; ++t) {
    order[t] = static_cast<uint32_t>(t);
    const Vec3 a = mesh.corners[3 * t], b = mesh.corners[3 * t + 1], c = mesh.corners[3 * t + 2];
    lo[t] = Min(Min(a, b), c);
    hi[t] = Max(Max(a, b), c);
    centres[t] = (lo[t] + hi[t]) * 0.5f;
  }
  nodes_.reserve(2 * count / kLeafSize + 1);
  nodes_.push_back({});
  struct Pending {
    uint32_t node, begin, end;
  };
  std::vector<Pending> stack{{0, 0, static_cast<uint32_t>(count)}};
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    Vec3 bmin = lo[order[p.begin]], bmax = hi[order[p.begin]];
    Vec3 cmin = centres[order[p.begin]], cmax = cmin;
    for (uint32_t i = p.begin; i < p.end; ++i) {
      const uint32_t t = order[i];
      bmin = Min(bmin, lo[t]), bmax = Max(bmax, hi[t]);
      cmin = Min(cmin, centres[t]), cmax = Max(cmax, centres[t]);
    }
    nodes_[p.node].min = bmin;
    nodes_[p.node].max = bmax;
    const Vec3 extent = cmax - cmin;
    const int axis = extent.x >= extent.y && extent.x >= extent.z ? 0
                     : extent.y >= extent.z                       ? 1
                                                                  : 2;
    if (p.end - p.begin <= kLeafSize || Axis(extent, axis) <= 0) {
      nodes_[p.node].first = p.begin;
      nodes_[p.node].count = p.end - p.begin;
      continue;
    }
    const uint32_t mid = p.begin + (p.end - p.begin) / 2;
    std::nth_element(
        order.begin() + p.begin, order.begin() + mid, order.begin() + p.end,
        [&](uint32_t a, uint32_t b) { return Axis(centres[a], axis) < Axis(centres[b], axis); });
    const uint32_t left = static_cast<uint32_t>(nodes_.size());
    nodes_[p.node].first = left;
    nodes_.push_back({});
    nodes_.push_back({});
    stack.push_back({left, p.begin, mid});
    stack.push_back({left + 1, mid, p.end});
  }
  triangles_.reserve(count);
  for (uint32_t t : order) {
    const Vec3 a = mesh.corners[3 * size_t{t}];
    triangles_.push_back({a, mesh.corners[3 * size_t{t} + 1] - a,
                          mesh.corners[3 * size_t{t} + 2] - a, t, mesh.triangleFace[t]});
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
      for (uint32_t i = node.first; i < node.first + node.count; ++i)
        if (visit(triangles_[i], limit)) return;
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

std::optional<PickTree::Hit> PickTree::Nearest(const Ray& ray, bool frontOnly) const {
  std::optional<Hit> best;
  float limit = std::numeric_limits<float>::infinity();
  Walk(ray, limit, [&](const Triangle& t, float& lim) {
    const float distance = Intersect(t, ray, frontOnly);
    if (distance >= 0 && distance < lim) {
      lim = distance;
      best = Hit{t.index, distance};
    }
    return false;
  });
  return best;
}

bool PickTree::Blocked(const Ray& ray, float distance, uint32_t face, bool frontOnly) const {
  bool blocked = false;
  float limit = distance;
  Walk(ray, limit, [&](const Triangle& t, float& lim) {
    if (t.face == face) return false;
    const float at = Intersect(t, ray, frontOnly);
    blocked = at >= 0 && at < lim;
    return blocked;
  });
  return blocked;
}

}  // namespace vlm::workbench
