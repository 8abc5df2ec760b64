// lod's simplification: the faces of a group's subtree gathered as the simplifier takes
// them, and copies of them simplified to a level's share.
//
// Each object is simplified material by material, so the boundaries between materials stay
// where they are: every such run of faces is a mesh of its own for the simplifier, with its
// open borders locked. Its vertices are the distinct corners (position, normal, texture
// coordinate) of its faces, so a texture seam is two corners at one place, which the
// simplifier keeps apart. Every level is made from the detailed group, not from the level
// before it, so the errors do not add up.
#include "prep/lod_simplify.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <set>
#include <span>
#include <unordered_map>
#include <vector>

namespace vlm::host {
namespace {

constexpr uint32_t kNone = UINT32_MAX;
// The simplifier measures its error as a mean distance to the planes of the faces a vertex
// came from, which on real models stays at about a third to a half of the farthest a level
// lies from the detailed surface: it is held to this share of the limit, so that the
// farthest distance stays within it.
constexpr double kErrorShare = 1.0 / 3;

uint64_t CornerHash(const HostPoint& p) {
  uint64_t h = static_cast<uint32_t>(p.vertex) * 0x9E3779B97F4A7C15ull;
  h ^= static_cast<uint32_t>(p.normal + 1) * 0xC2B2AE3D27D4EB4Full;
  h ^= static_cast<uint32_t>(p.uv + 1) * 0x165667B19E3779F9ull;
  return h ^ (h >> 31);
}

bool PointFits(const HostMesh& mesh, const HostPoint& p) {
  return p.vertex >= 0 && static_cast<size_t>(p.vertex) < mesh.vertices.size() && p.normal >= -1 &&
         (p.normal < 0 || static_cast<size_t>(p.normal) < mesh.normals.size()) && p.uv >= -1 &&
         (p.uv < 0 || static_cast<size_t>(p.uv) < mesh.uvs.size());
}

// The normals that are a face's own: every face that names one names it at each of its
// corners. A faceted model gives each face such a normal; kept apart by them, every corner
// would be a seam and nothing could be simplified. So corners are told apart by position and
// texture coordinate where their normal is a face's own, and each simplified face is given its
// own plane's normal again.
std::vector<uint8_t> FlatNormals(const HostMesh& mesh) {
  std::vector<uint8_t> used(mesh.normals.size()), partial(mesh.normals.size());
  for (size_t f = 0; f < mesh.FaceCount(); ++f) {
    if (mesh.FaceRemoved(f)) continue;
    const auto p = mesh.Points(f);
    if (p.empty()) continue;
    const bool one = std::all_of(p.begin(), p.end(),
                                 [&](const HostPoint& q) { return q.normal == p[0].normal; });
    for (const HostPoint& q : p)
      if (q.normal >= 0 && static_cast<size_t>(q.normal) < used.size())
        (one ? used : partial)[static_cast<size_t>(q.normal)] = 1;
  }
  for (size_t n = 0; n < used.size(); ++n)
    used[n] = used[n] && !partial[n];
  return used;
}

ObjectSource GatherObject(const HostMesh& mesh, Counts& counts) {
  ObjectSource object{&mesh, {}, {}};
  const size_t faces = mesh.FaceCount();
  // Each face's part, and the points and triangles of each part.
  std::vector<uint32_t> partOf(faces, kNone);
  std::vector<size_t> points, triangles;
  std::unordered_map<const HostMaterial*, uint32_t> partByMaterial;
  const HostMaterial* lastMaterial = nullptr;
  uint32_t lastPart = kNone;
  for (size_t f = 0; f < faces; ++f) {
    if (mesh.FaceRemoved(f)) continue;
    const auto p = mesh.Points(f);
    if (!std::all_of(p.begin(), p.end(), [&](const HostPoint& q) { return PointFits(mesh, q); })) {
      ++counts.badFaces;
      continue;
    }
    if (p.size() < 3) {
      object.loose.push_back(f);
      continue;
    }
    HostMaterial* material = mesh.FaceMaterial(f);
    if (material != lastMaterial || lastPart == kNone) {
      auto [at, added] =
          partByMaterial.try_emplace(material, static_cast<uint32_t>(object.parts.size()));
      if (added) {
        object.parts.emplace_back();
        object.parts.back().material = material;
        points.push_back(0);
        triangles.push_back(0);
      }
      lastMaterial = material;
      lastPart = at->second;
    }
    partOf[f] = lastPart;
    points[lastPart] += p.size();
    triangles[lastPart] += p.size() - 2;
  }
  // The distinct corners of each part, through a table of its own (open addressing, the
  // corner's number + 1 in each taken slot).
  std::vector<std::vector<uint32_t>> slots(object.parts.size());
  for (size_t k = 0; k < object.parts.size(); ++k) {
    size_t size = 16;
    while (size < 2 * points[k])
      size *= 2;
    slots[k].assign(size, 0);
    object.parts[k].corners.reserve(points[k] / 2 + 4);
    object.parts[k].triangles.reserve(3 * triangles[k]);
    counts.triangles += triangles[k];
  }
  const std::vector<uint8_t> flatNormal = FlatNormals(mesh);
  // A corner as the simplifier tells corners apart: a face's own normal left out.
  const auto key = [&](HostPoint p) {
    if (p.normal >= 0 && flatNormal[static_cast<size_t>(p.normal)]) p.normal = -2;
    return p;
  };
  std::vector<uint32_t> face;
  for (size_t f = 0; f < faces; ++f) {
    if (partOf[f] == kNone) continue;
    Part& part = object.parts[partOf[f]];
    std::vector<uint32_t>& table = slots[partOf[f]];
    const size_t mask = table.size() - 1;
    face.clear();
    for (const HostPoint& point : mesh.Points(f)) {
      const HostPoint p = key(point);
      size_t slot = CornerHash(p) & mask;
      while (table[slot] && key(part.corners[table[slot] - 1]) != p)
        slot = (slot + 1) & mask;
      if (!table[slot]) {
        part.corners.push_back(point);
        part.flat.push_back(p.normal == -2);
        table[slot] = static_cast<uint32_t>(part.corners.size());
      }
      face.push_back(table[slot] - 1);
    }
    // A fan from the first point, as the faces are drawn.
    for (size_t k = 1; k + 1 < face.size(); ++k)
      part.triangles.insert(part.triangles.end(), {face[0], face[k], face[k + 1]});
  }
  for (Part& part : object.parts) {
    part.positions.resize(3 * part.corners.size());
    for (size_t c = 0; c < part.corners.size(); ++c) {
      const Vec3 v = mesh.vertices[static_cast<size_t>(part.corners[c].vertex)];
      part.positions[3 * c] = v.x, part.positions[3 * c + 1] = v.y, part.positions[3 * c + 2] = v.z;
    }
    part.scale =
        meshopt_simplifyScale(part.positions.data(), part.corners.size(), 3 * sizeof(float));
  }
  return object;
}

// The box around every corner, in the frame of the subtree's top (frames are rigid, so
// lengths are the same in every frame).
void AddToBox(const NodeSource& source, const Mat4& toTop, Vec3& low, Vec3& high) {
  for (const ObjectSource& object : source.objects)
    for (const Part& part : object.parts)
      for (size_t c = 0; c < part.corners.size(); ++c) {
        const Vec3 p = TransformPoint(
            {part.positions[3 * c], part.positions[3 * c + 1], part.positions[3 * c + 2]}, toTop);
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
      }
  for (const NodeSource& child : source.children)
    AddToBox(child, Multiply(child.node->LocalMatrix(), toTop), low, high);
}

// One object simplified to `ratio` within `limit` (a length), as a new object of `parent`
// that holds only the vertices, normals and texture coordinates its faces use.
void CopyObject(HostDocument& document, HostNode& parent, const ObjectSource& object, double ratio,
                double limit, LevelOutcome& outcome) {
  const HostMesh& mesh = *object.mesh;
  HostMesh& copy = document.NewMesh(parent, mesh.name);
  copy.kind = mesh.kind;
  copy.smoothingAngle = mesh.smoothingAngle;
  std::vector<int32_t> vertexTo(mesh.vertices.size(), -1), normalTo(mesh.normals.size(), -1),
      uvTo(mesh.uvs.size(), -1);
  const auto keep = [&](const HostPoint& p) {
    HostPoint q{-1, -1, -1};
    int32_t& v = vertexTo[static_cast<size_t>(p.vertex)];
    if (v < 0) {
      v = static_cast<int32_t>(copy.vertices.size());
      copy.vertices.push_back(mesh.vertices[static_cast<size_t>(p.vertex)]);
    }
    q.vertex = v;
    if (p.normal >= 0) {
      int32_t& n = normalTo[static_cast<size_t>(p.normal)];
      if (n < 0) {
        n = static_cast<int32_t>(copy.normals.size());
        copy.normals.push_back(mesh.normals[static_cast<size_t>(p.normal)]);
      }
      q.normal = n;
    }
    if (p.uv >= 0) {
      int32_t& t = uvTo[static_cast<size_t>(p.uv)];
      if (t < 0) {
        t = static_cast<int32_t>(copy.uvs.size());
        copy.uvs.push_back(mesh.uvs[static_cast<size_t>(p.uv)]);
      }
      q.uv = t;
    }
    return q;
  };
  std::vector<HostPoint> points;
  std::vector<uint32_t> ends;
  std::vector<HostMaterial*> materials;
  std::vector<uint32_t> kept;
  for (const Part& part : object.parts) {
    const size_t triangles = part.triangles.size() / 3;
    const size_t target = static_cast<size_t>(std::llround(ratio * double(triangles)));
    outcome.asked += target;
    kept.resize(part.triangles.size());
    size_t count = part.triangles.size();
    if (target < triangles && part.scale > 0) {
      float relative = 0;
      count = meshopt_simplify(kept.data(), part.triangles.data(), part.triangles.size(),
                               part.positions.data(), part.corners.size(), 3 * sizeof(float),
                               3 * target, static_cast<float>(kErrorShare * limit / part.scale),
                               meshopt_SimplifyLockBorder, &relative);
      double error = double(relative) * part.scale;
      // Where two levels both stop at the error limit, the simplifier's passes may end a few
      // triangles apart: the farther level then takes the nearer one's, within the limit too.
      if (part.simplified && part.nearer.size() < count) {
        count = part.nearer.size();
        std::copy(part.nearer.begin(), part.nearer.end(), kept.begin());
        error = part.nearerError;
      }
      part.nearer.assign(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(count));
      part.nearerError = error;
      part.simplified = true;
      outcome.error = std::max(outcome.error, error);
    } else {
      std::copy(part.triangles.begin(), part.triangles.end(), kept.begin());
    }
    outcome.kept += count / 3;
    for (size_t i = 0; i < count; ++i) {
      HostPoint corner = part.corners[kept[i]];
      if (part.flat[kept[i]]) corner.normal = -1;  // given below
      points.push_back(keep(corner));
      if (i % 3 != 2) continue;
      ends.push_back(static_cast<uint32_t>(points.size()));
      materials.push_back(part.material);
      // The corners whose normal was their face's own take the new face's (none when it
      // encloses no area).
      const std::span<HostPoint> t(points.data() + points.size() - 3, 3);
      if (!part.flat[kept[i - 2]] && !part.flat[kept[i - 1]] && !part.flat[kept[i]]) continue;
      const std::array<Vec3, 3> corners = {copy.vertices[size_t(t[0].vertex)],
                                           copy.vertices[size_t(t[1].vertex)],
                                           copy.vertices[size_t(t[2].vertex)]};
      const Vec3 normal = PolygonNormal(corners);
      if (!IsUsableNormal(normal)) continue;
      copy.normals.push_back(normal);
      for (size_t k = 0; k < 3; ++k)
        if (part.flat[kept[i - 2 + k]]) t[k].normal = static_cast<int32_t>(copy.normals.size() - 1);
    }
  }
  for (size_t f : object.loose) {
    for (const HostPoint& p : mesh.Points(f))
      points.push_back(keep(p));
    ends.push_back(static_cast<uint32_t>(points.size()));
    materials.push_back(mesh.FaceMaterial(f));
  }
  copy.AddFaces(std::move(points), std::move(ends), std::move(materials));
}

}  // namespace

// The group's subtree, leaving out the groups in `skip`.
NodeSource GatherNode(const HostNode& node, const std::set<const HostNode*>& skip, Counts& counts) {
  NodeSource source{&node, {}, {}};
  for (const auto& mesh : node.meshes)
    source.objects.push_back(GatherObject(*mesh, counts));
  for (const auto& child : node.children)
    if (!skip.contains(child.get())) source.children.push_back(GatherNode(*child, skip, counts));
  return source;
}

double SizeOf(const NodeSource& source) {
  Vec3 low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
  AddToBox(source, Mat4::Identity(), low, high);
  if (low.x > high.x) return 0;
  return PreciseLength(high - low);
}

void CopyNode(HostDocument& document, HostNode& into, const NodeSource& source, double ratio,
              double limit, LevelOutcome& outcome) {
  for (const ObjectSource& object : source.objects)
    CopyObject(document, into, object, ratio, limit, outcome);
  for (const NodeSource& child : source.children) {
    HostNode& node = document.NewNode(into, child.node->name);
    node.position = child.node->position;
    node.forward = child.node->forward;
    node.up = child.node->up;
    node.animationKeys = child.node->animationKeys;
    node.fields = child.node->fields;
    CopyNode(document, node, child, ratio, limit, outcome);
  }
}

}  // namespace vlm::host
