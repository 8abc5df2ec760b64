// The distinct values of a list being built, as an importer gathers positions, normals and
// texture coordinates: each value added gives the index of its first copy in the list.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vlm/vertex_table.h"

namespace vlm::host::exchange {

// Values told apart by their bits (-0 and +0 stay apart); the list starts empty.
template <typename T>
class Distinct {
 public:
  int32_t Add(const T& value, std::vector<T>& list) {
    Key key{};
    std::memcpy(key.data(), &value, sizeof value);
    const auto entry = table_.Insert(key);
    if (entry.added) list.push_back(value);
    return entry.number;
  }

 private:
  using Key = std::array<uint32_t, sizeof(T) / 4>;
  // Coordinates on a grid have low bits that are all zero, so every bit is mixed into the
  // low ones the table's slots are taken from.
  struct Hash {
    uint64_t operator()(const Key& k) const {
      uint64_t h = 0;
      for (uint32_t x : k)
        h = (h ^ x) * 0x9E3779B97F4A7C15ull;
      h ^= h >> 32;
      h *= 0xFF51AFD7ED558CCDull;
      return h ^ (h >> 29);
    }
  };
  struct Equal {
    bool operator()(const Key& a, const Key& b) const {
      for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
      return true;
    }
  };
  VertexTable<Key, Hash, Equal> table_;
};

}  // namespace vlm::host::exchange
