// A picture handed to the host (a plug-in's icon): empty, or a bitmap of 24-bit pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace vlm {

struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // rows from the top, 3 bytes (blue, green, red) per pixel

  bool Empty() const { return width == 0 || height == 0; }
};

}  // namespace vlm
