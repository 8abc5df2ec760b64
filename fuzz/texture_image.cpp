// Texture files for the workbench's view: any bytes give a texture or a problem, never a read
// past their end; a texture's levels are whole, each half the one before, and no larger than
// is drawn. Bytes starting "DDS " are read as DDS, any others as TGA.
#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "workbench/texture_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const bool dds = vlm::fuzz::Text(data, size).starts_with("DDS ");
  std::string problem;
  const auto image =
      dds ? vlm::workbench::DecodeDds(bytes, &problem) : vlm::workbench::DecodeTga(bytes, &problem);
  if (!image) {
    vlm::fuzz::Check(!problem.empty(), "a file refused says why");
    return 0;
  }
  vlm::fuzz::Check(!image->levels.empty(), "a texture has a level");
  const auto& first = image->levels[0];
  vlm::fuzz::Check(first.width > 0 && first.height > 0 &&
                       first.width <= vlm::workbench::kMaxTextureSide &&
                       first.height <= vlm::workbench::kMaxTextureSide,
                   "a texture's size is one drawn");
  for (size_t l = 0; l < image->levels.size(); ++l) {
    const auto& level = image->levels[l];
    vlm::fuzz::Check(level.width == std::max(first.width >> l, 1) &&
                         level.height == std::max(first.height >> l, 1),
                     "each level is half the one before");
    vlm::fuzz::Check(level.rgba.size() == size_t(level.width) * size_t(level.height) * 4,
                     "a level holds four bytes a texel");
  }
  return 0;
}
