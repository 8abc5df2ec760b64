// The stand-in of a scene mesh (see stand_in.h): each batch's corners welded where position
// and texture coordinate agree, then simplified by meshoptimizer's sloppy simplifier, which
// clusters vertices on a grid: fast enough for millions of triangles, and never slower for
// a model that is hard to simplify well.
#include "workbench/stand_in.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>

namespace vlm::workbench {
namespace {

bool Finite(Vec3 p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// A material of at most this many triangles is kept whole when it would vanish.
constexpr size_t kKeptWhole = 64;

}  // namespace

StandIn MakeStandIn(const SceneMesh& mesh, size_t triangles, std::span<const uint8_t> hidden) {
  StandIn out;
  const size_t total = mesh.TriangleCount();
  if (total == 0) return out;
  const double share = std::min(1.0, static_cast<double>(triangles) / static_cast<double>(total));
  std::vector<Vec3> positions, welded;
  std::vector<Vec2> uvs, weldedUvs;
  std::vector<unsigned> remap, kept;
  for (const MaterialBatch& batch : mesh.batches) {
    // The batch's triangles that are drawn: where that is all of them, read where they are.
    const size_t first = batch.firstTriangle, last = first + batch.triangleCount;
    bool all = true;
    for (size_t t = first; t < last && all; ++t) {
      const uint32_t face = mesh.triangleFace[t];
      const Vec3* c = &mesh.corners[3 * t];
      all = !(face < hidden.size() && hidden[face] != 0) && Finite(c[0]) && Finite(c[1]) &&
            Finite(c[2]);
    }
    positions.clear();
    uvs.clear();
    if (!all)
      for (size_t t = first; t < last; ++t) {
        const uint32_t face = mesh.triangleFace[t];
        if (face < hidden.size() && hidden[face] != 0) continue;
        const Vec3* c = &mesh.corners[3 * t];
        if (!Finite(c[0]) || !Finite(c[1]) || !Finite(c[2])) continue;
        positions.insert(positions.end(), c, c + 3);
        uvs.insert(uvs.end(), &mesh.uvs[3 * t], &mesh.uvs[3 * t] + 3);
      }
    const Vec3* cornerAt = all ? mesh.corners.data() + 3 * first : positions.data();
    const Vec2* uvAt = all ? mesh.uvs.data() + 3 * first : uvs.data();
    MaterialBatch own{batch.material, static_cast<uint32_t>(out.TriangleCount()), 0};
    const size_t corners = all ? 3 * (last - first) : positions.size();
    if (corners > 0) {
      const meshopt_Stream streams[] = {{cornerAt, sizeof(Vec3), sizeof(Vec3)},
                                        {uvAt, sizeof(Vec2), sizeof(Vec2)}};
      remap.resize(corners);
      const size_t unique =
          meshopt_generateVertexRemapMulti(remap.data(), nullptr, corners, corners, streams, 2);
      welded.resize(unique);
      weldedUvs.resize(unique);
      meshopt_remapVertexBuffer(welded.data(), cornerAt, corners, sizeof(Vec3), remap.data());
      meshopt_remapVertexBuffer(weldedUvs.data(), uvAt, corners, sizeof(Vec2), remap.data());
      // Unwelded, corner i is vertex i: the remap is the welded mesh's index list.
      const size_t target =
          3 * std::max<size_t>(1, static_cast<size_t>(share * static_cast<double>(corners / 3)));
      kept.resize(corners);
      size_t count = target >= corners
                         ? corners
                         : meshopt_simplifySloppy(kept.data(), remap.data(), corners, &welded[0].x,
                                                  unique, sizeof(Vec3), target, 1.0f, nullptr);
      if (target >= corners) std::copy(remap.begin(), remap.end(), kept.begin());
      if (count == 0 && corners / 3 <= kKeptWhole) {
        std::copy(remap.begin(), remap.end(), kept.begin());
        count = corners;
      }
      for (size_t i = 0; i < count; ++i) {
        out.corners.push_back(welded[kept[i]]);
        out.uvs.push_back(weldedUvs[kept[i]]);
      }
    }
    own.triangleCount = static_cast<uint32_t>(out.TriangleCount() - own.firstTriangle);
    out.batches.push_back(own);
  }
  return out;
}

}  // namespace vlm::workbench
