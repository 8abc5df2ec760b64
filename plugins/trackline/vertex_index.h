// Finding equal vertices of a mesh quickly.
//
// A new vertex reuses the first earlier vertex of its mesh that it equals (SameVertex). Equal
// vertices have exactly equal positions, so the vertices are indexed by position and only
// those at the same position are compared, in the order they were added: the same first
// match as a search through all of them, at near-linear cost.
#pragma once

#include <cstdint>
#include <vector>

#include "trackline/igs_records.h"
#include "vlm/vertex_table.h"

namespace vlm::igs {

// Whether a new vertex may reuse an existing one: exactly the same position and material;
// normals and texture coordinates within 2e-5.
bool SameVertex(const HeldVertex& a, const HeldVertex& b);

class VertexIndex {
 public:
  // Forgets every vertex (a new mesh starts) and makes room for about `expected` positions,
  // so that a mesh of that many never regrows the index.
  void Clear(size_t expected = 0);
  // The index in `vertices` of the first vertex that equals `v`; when there is none, `v` is
  // appended and its index returned. `vertices` must hold exactly the vertices given so far.
  int32_t FindOrAdd(std::vector<HeldVertex>& vertices, const HeldVertex& v);

 private:
  // A position by its bits, -0 made +0 first: exactly equal positions have equal keys.
  struct Key {
    uint32_t x, y, z;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    uint64_t operator()(const Key& k) const;
  };
  // The vertices at one position, as a list through next_.
  struct Chain {
    int32_t first, last;
  };

  VertexTable<Key, KeyHash> positions_;
  std::vector<Chain> chains_;  // by the position's number in positions_
  std::vector<int32_t> next_;  // the next vertex at the same position, -1 at the end
};

}  // namespace vlm::igs
