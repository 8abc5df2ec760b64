#include "trackline/vertex_index.h"

#include <bit>
#include <cmath>

namespace vlm::igs {
namespace {

bool Within(float a, float b, float tolerance) {
  return std::fabs(a - b) <= tolerance;
}

}  // namespace

bool SameVertex(const HeldVertex& a, const HeldVertex& b) {
  if (a.position[0] != b.position[0] || a.position[1] != b.position[1] ||
      a.position[2] != b.position[2] || a.material != b.material)
    return false;
  constexpr float normalTolerance = 2e-5f, uvTolerance = 2e-5f;
  for (int k = 0; k < 3; ++k)
    if (!Within(a.normal[k], b.normal[k], normalTolerance)) return false;
  return Within(a.texCoord[0], b.texCoord[0], uvTolerance) &&
         Within(a.texCoord[1], b.texCoord[1], uvTolerance);
}

uint64_t VertexIndex::KeyHash::operator()(const Key& k) const {
  uint64_t h = k.x;
  h = h * 0x9E3779B97F4A7C15ull ^ k.y;
  h = h * 0x9E3779B97F4A7C15ull ^ k.z;
  h *= 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 32);
}

void VertexIndex::Clear(size_t expected) {
  positions_.Clear(expected);
  chains_.clear();
  chains_.reserve(expected);
  next_.clear();
  next_.reserve(expected);
}

int32_t VertexIndex::FindOrAdd(std::vector<HeldVertex>& vertices, const HeldVertex& v) {
  const auto index = static_cast<int32_t>(vertices.size());
  // A position with a NaN equals nothing, not even itself: it is never indexed.
  if (std::isnan(v.position[0]) || std::isnan(v.position[1]) || std::isnan(v.position[2])) {
    vertices.push_back(v);
    next_.push_back(-1);
    return index;
  }
  // Adding 0 turns -0 into +0, which compare equal, so they share a key.
  const Key key{std::bit_cast<uint32_t>(v.position[0] + 0.0f),
                std::bit_cast<uint32_t>(v.position[1] + 0.0f),
                std::bit_cast<uint32_t>(v.position[2] + 0.0f)};
  const auto position = positions_.Insert(key);
  if (position.added) {
    chains_.push_back(Chain{index, index});
  } else {
    Chain& chain = chains_[static_cast<size_t>(position.number)];
    for (int32_t i = chain.first; i >= 0; i = next_[static_cast<size_t>(i)])
      if (SameVertex(vertices[static_cast<size_t>(i)], v)) return i;
    next_[static_cast<size_t>(chain.last)] = index;
    chain.last = index;
  }
  vertices.push_back(v);
  next_.push_back(-1);
  return index;
}

}  // namespace vlm::igs
