// Finding equal vertices of a mesh quickly.
//
// A new vertex reuses the first earlier vertex of its mesh that it equals (SameVertex). Equal
// vertices have exactly equal positions, so the vertices are indexed by position and only
// those at the same position are compared, in the order they were added: the same first
// match as a search through all of them, at near-linear cost.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "trackline/igs_records.h"

namespace vlm::igs {

// Whether a new vertex may reuse an existing one: exactly the same position; the same
// number of texture-coordinate sets, material and number of bone weights; normals and used
// texture coordinates within 2e-5; colours within 0.0039; the same bones with exactly the
// same weights.
bool SameVertex(const IgsVertex& a, const IgsVertex& b);

class VertexIndex {
 public:
  // Forgets every vertex (a new mesh starts).
  void Clear();
  // The index in `vertices` of the first vertex that equals `v`; when there is none, `v` is
  // appended and its index returned. `vertices` must hold exactly the vertices given so far.
  int32_t FindOrAdd(std::vector<IgsVertex>& vertices, const IgsVertex& v);

 private:
  struct Key {
    uint32_t x, y, z;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const noexcept;
  };
  // The vertices at one position, as a list through next_: first and last index.
  struct Chain {
    int32_t first, last;
  };
  std::unordered_map<Key, Chain, KeyHash> chains_;
  std::vector<int32_t> next_;  // the next vertex at the same position, -1 at the end
};

}  // namespace vlm::igs
