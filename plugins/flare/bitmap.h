// Reading of the Windows bitmap files (.bmp) that the plug-ins compile in as resources.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "vlm/picture.h"

namespace vlm {

// Decodes an uncompressed 24-bit bitmap file (its rows bottom-up or top-down). Anything else,
// or a file cut short, raises error 5 with a description that starts with `origin` and says
// what is wrong.
Picture DecodeBitmap(std::span<const uint8_t> file, const std::string& origin);

}  // namespace vlm
