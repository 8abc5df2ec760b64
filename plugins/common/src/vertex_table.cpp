#include "vlm/vertex_table.h"

namespace vlm {

size_t VertexTableSlots(size_t keys) {
  size_t size = 16;
  while (size < 2 * keys)
    size *= 2;
  return size;
}

}  // namespace vlm
