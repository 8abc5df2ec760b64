#include "flare/bitmap.h"

#include <cstdlib>
#include <limits>

#include "vlm/error.h"

namespace vlm {
namespace {

// The little-endian field at `offset`; the caller has checked that it lies inside the file.
uint32_t ReadU32(std::span<const uint8_t> b, size_t offset) {
  return uint32_t{b[offset]} | uint32_t{b[offset + 1]} << 8 | uint32_t{b[offset + 2]} << 16 |
         uint32_t{b[offset + 3]} << 24;
}
uint16_t ReadU16(std::span<const uint8_t> b, size_t offset) {
  return static_cast<uint16_t>(b[offset] | b[offset + 1] << 8);
}

}  // namespace

Picture DecodeBitmap(std::span<const uint8_t> file, const std::string& origin) {
  auto fail = [&](const std::string& problem) {
    Raise(err::InvalidProcedureCall, origin + ": " + problem);
  };
  // The file header (14 bytes) and the information header (at least its first 40 bytes).
  constexpr size_t FileHeader = 14, InfoHeader = 40;
  if (file.size() < FileHeader + InfoHeader)
    fail("a bitmap file has at least 54 bytes; this one has " + std::to_string(file.size()));
  if (file[0] != 'B' || file[1] != 'M') fail("not a bitmap file (it does not start with \"BM\")");
  const uint32_t pixelOffset = ReadU32(file, 10);
  const uint32_t infoSize = ReadU32(file, 14);
  if (infoSize < InfoHeader)
    fail("unknown bitmap header of " + std::to_string(infoSize) + " bytes");
  const int32_t width = static_cast<int32_t>(ReadU32(file, 18));
  const int32_t rawHeight = static_cast<int32_t>(ReadU32(file, 22));
  const uint16_t bitsPerPixel = ReadU16(file, 28);
  const uint32_t compression = ReadU32(file, 30);
  if (bitsPerPixel != 24)
    fail("only 24-bit bitmaps are read; this one has " + std::to_string(bitsPerPixel) +
         " bits per pixel");
  if (compression != 0) fail("only uncompressed bitmaps are read");
  // A negative height means the rows run from the top; the most negative value has no
  // positive counterpart and is refused with the other impossible sizes.
  if (width <= 0 || rawHeight == 0 || rawHeight == std::numeric_limits<int32_t>::min() ||
      width > 0x4000 || std::abs(rawHeight) > 0x4000)
    fail("impossible size " + std::to_string(width) + " x " + std::to_string(rawHeight));
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;

  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const size_t stride = (rowBytes + 3) / 4 * 4;  // rows are padded to whole 32-bit words
  const size_t needed = static_cast<size_t>(height) * stride;
  if (pixelOffset < FileHeader + infoSize || pixelOffset > file.size() ||
      file.size() - pixelOffset < needed)
    fail("the pixels of a " + std::to_string(width) + " x " + std::to_string(height) +
         " bitmap need " + std::to_string(needed) + " bytes from offset " +
         std::to_string(pixelOffset) + "; the file has " + std::to_string(file.size()) + " bytes");

  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.reserve(static_cast<size_t>(height) * rowBytes);
  for (int32_t row = 0; row < height; ++row) {
    const int32_t stored = topDown ? row : height - 1 - row;
    const auto line = file.subspan(pixelOffset + static_cast<size_t>(stored) * stride, rowBytes);
    picture.pixels.insert(picture.pixels.end(), line.begin(), line.end());
  }
  return picture;
}

}  // namespace vlm
