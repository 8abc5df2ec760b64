// The distinct values of a list being built, as an importer gathers positions, normals and
// texture coordinates: each value added gives the index of its first copy in the list.
#pragma once

#include <cstdint>
#include <vector>

#include "vlm/vertex_table.h"

namespace vlm::host::exchange {

// Values told apart by their bits (-0 and +0 stay apart), numbered in a VertexTable; the list
// starts empty and grows only through Add, so a value's number is its index in the list.
template <typename T>
class Distinct {
 public:
  int32_t Add(const T& value, std::vector<T>& list) {
    const auto entry = table_.Insert(value);
    if (entry.added) list.push_back(value);
    return entry.number;
  }

 private:
  VertexTable<T, BitwiseHash<T>, BitwiseEqual<T>> table_;
};

}  // namespace vlm::host::exchange
