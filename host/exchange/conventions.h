// Where the host's conventions and the exchange library's meet (docs/scene-format.md, "Axes,
// handedness and texture coordinates").
//
// The exchange library hands every format over right-handed, +y up, with texture coordinates
// counted from the bottom left of the image (v up) and faces counter-clockwise seen from the
// front. The host is left-handed (+x right, +y up, +z forward), counts texture coordinates from
// the top left (v down), and lists a face's corners so that (p1 - p0) x (p2 - p0) points to
// the front. Mirroring z maps one space onto the other; the mirror alone would turn every face
// inside out, so the corners are listed the other way round as well.
#pragma once

#include <assimp/types.h>

#include <algorithm>
#include <vector>

#include "vlm/math.h"

namespace vlm::host::exchange {

// Positions and directions: z mirrored, both ways.
inline Vec3 FromLibrary(const aiVector3D& v) {
  return {v.x, v.y, -v.z};
}
inline aiVector3D ToLibrary(Vec3 v) {
  return {v.x, v.y, -v.z};
}

// Texture coordinates: v counted from the other edge, both ways.
inline Vec2 UvFromLibrary(const aiVector3D& t) {
  return {t.x, 1.0f - t.y};
}
inline aiVector3D UvToLibrary(Vec2 t) {
  return {t.u, 1.0f - t.v, 0.0f};
}

// The corners of a face in the other convention's order: the first corner stays first, so a
// fan from it gives the same triangles, each wound the other way.
template <typename T>
void ReverseWinding(std::vector<T>& corners) {
  if (corners.size() > 2) std::reverse(corners.begin() + 1, corners.end());
}

}  // namespace vlm::host::exchange
