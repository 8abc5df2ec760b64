// The pixel size of a texture file, read from its header alone (PNG, DDS and BMP), and the kind
// of picture a header starts (also JPEG and TGA).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vlm::host {

struct ImageSize {
  int64_t width = 0, height = 0;
  std::string format;  // "PNG", "DDS", "BMP"
};

// The size the header at the start of `bytes` gives; nothing when the bytes are no PNG, DDS
// or BMP header, are cut short, or give a side of 0. Reads nothing past the header: any bytes
// may be given, of any length.
std::optional<ImageSize> ReadImageSize(std::string_view bytes);

// The same for the start of a file; nothing when it cannot be read or is no plain file (a
// device or pipe is not opened).
std::optional<ImageSize> ImageSizeOfFile(const std::filesystem::path& file);

// The bytes ImageFormatOf needs from the start of a file.
constexpr size_t kImageHeaderBytes = 26;

// The kind of picture whose header the start of `bytes` is: "PNG", "DDS" or "BMP" as
// ReadImageSize reads them, "JPEG" (its start-of-image marker) or "TGA" (a colour-mapped,
// true-colour or grey picture with sides and a pixel depth it can have); nothing for other
// bytes. Reads no more than kImageHeaderBytes, and any bytes may be given.
std::optional<std::string> ImageFormatOf(std::string_view bytes);

// Whether a side is a power of two (1, 2, 4, ...).
inline bool IsPowerOfTwo(int64_t side) {
  return side > 0 && (side & (side - 1)) == 0;
}

}  // namespace vlm::host
