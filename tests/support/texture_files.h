// Texture files written byte by byte, whose texels the tests know: DDS (DXT blocks of one
// colour each, or uncompressed texels by their masks) and TGA.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vlm::test {

using FileBytes = std::vector<uint8_t>;

inline void Put32(FileBytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Put16(FileBytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v)), b.push_back(static_cast<uint8_t>(v >> 8));
}
inline uint32_t FourCc(const char* c) {
  return uint32_t(uint8_t(c[0])) | uint32_t(uint8_t(c[1])) << 8 | uint32_t(uint8_t(c[2])) << 16 |
         uint32_t(uint8_t(c[3])) << 24;
}

// What the header says of the texels: a FourCC ("DXT1", "DX10", ...) or, with none, texels of
// `bits` bits and these masks (`flags`: the pixel format's, 0x40 RGB, 0x41 with alpha, 0x20000
// grey).
struct DdsLayout {
  const char* fourCc = nullptr;
  uint32_t bits = 0, red = 0, green = 0, blue = 0, alpha = 0, flags = 0x41;
  uint32_t mipmaps = 1;  // counted in the header when more than 1
  uint32_t caps2 = 0;    // 0x200: a cube map
  uint32_t headerSize = 124;
};

inline FileBytes DdsHeader(uint32_t width, uint32_t height, const DdsLayout& l) {
  FileBytes b = {'D', 'D', 'S', ' '};
  Put32(b, l.headerSize);
  Put32(b, 0x1007 | (l.mipmaps > 1 ? 0x20000 : 0));  // caps, height, width, pixel format
  Put32(b, height);
  Put32(b, width);
  Put32(b, 0);  // pitch or linear size
  Put32(b, 0);  // depth
  Put32(b, l.mipmaps);
  for (int i = 0; i < 11; ++i)
    Put32(b, 0);
  Put32(b, 32);
  Put32(b, l.fourCc ? 0x4 : l.flags);
  Put32(b, l.fourCc ? FourCc(l.fourCc) : 0);
  for (uint32_t v : {l.bits, l.red, l.green, l.blue, l.alpha})
    Put32(b, v);
  Put32(b, 0x1000 | (l.mipmaps > 1 ? 0x400008 : 0));
  Put32(b, l.caps2);
  for (int i = 0; i < 3; ++i)
    Put32(b, 0);
  return b;
}

// The DX10 header after a DDS header whose FourCC is "DX10": a flat texture of this DXGI format.
inline void PutDx10(FileBytes& b, uint32_t dxgi, uint32_t arraySize = 1) {
  for (uint32_t v : {dxgi, 3u, 0u, arraySize, 0u})
    Put32(b, v);
}

// A 4 x 4 block of one colour (5, 6, 5 bits; index 0 everywhere picks the first colour, the
// second being 0, below it, so the block has four colours). DXT3 and DXT5 put 8 bytes of
// alpha before it.
inline void PutDxt1Block(FileBytes& b, uint16_t colour) {
  Put16(b, colour);
  Put16(b, 0);
  Put32(b, 0);
}
inline void PutDxt3Block(FileBytes& b, uint16_t colour, uint8_t alpha) {
  const uint8_t four = static_cast<uint8_t>(alpha >> 4 | (alpha & 0xf0));
  for (int i = 0; i < 8; ++i)
    b.push_back(four);
  PutDxt1Block(b, colour);
}
inline void PutDxt5Block(FileBytes& b, uint16_t colour, uint8_t alpha) {
  b.push_back(alpha), b.push_back(0);
  for (int i = 0; i < 6; ++i)
    b.push_back(0);
  PutDxt1Block(b, colour);
}

// The four colours of the quarters of the test pictures, as 5, 6, 5 bits: the top left red,
// the top right green, the bottom left blue, the bottom right white.
inline constexpr uint16_t kQuarter565[4] = {0xf800, 0x07e0, 0x001f, 0xffff};
inline constexpr uint8_t kQuarterRgb[4][3] = {
    {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

// An 8 x 8 picture in quarters of those colours: four DXT blocks, top row first.
inline FileBytes QuartersDds(const char* fourCc, uint8_t alpha = 255) {
  FileBytes b = DdsHeader(8, 8, {.fourCc = fourCc});
  for (uint16_t c : kQuarter565) {
    if (std::string(fourCc) == "DXT1") PutDxt1Block(b, c);
    if (std::string(fourCc) == "DXT3") PutDxt3Block(b, c, alpha);
    if (std::string(fourCc) == "DXT5") PutDxt5Block(b, c, alpha);
  }
  return b;
}

// The same picture as a TGA file of 24-bit texels, bottom row first (as TGA stores them unless
// its header says otherwise), or run-length encoded in 32 bits with the top row first.
inline FileBytes QuartersTga(bool runs) {
  FileBytes b = {0, 0, static_cast<uint8_t>(runs ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16(b, 8);
  Put16(b, 8);
  b.push_back(runs ? 32 : 24);
  b.push_back(runs ? 0x28 : 0);  // 8 bits of alpha, the top row first
  for (int y = 0; y < 8; ++y) {
    const int row = runs ? y : 7 - y;
    for (int half = 0; half < 2; ++half) {
      const uint8_t* c = kQuarterRgb[(row / 4) * 2 + half];
      if (runs) b.push_back(0x80 | 3);  // one texel four times
      for (int x = 0; x < (runs ? 1 : 4); ++x) {
        b.insert(b.end(), {c[2], c[1], c[0]});
        if (runs) b.push_back(255);
      }
    }
  }
  return b;
}

inline void WriteBytes(const std::filesystem::path& file, const FileBytes& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vlm::test
