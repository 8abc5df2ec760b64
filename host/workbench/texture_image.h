// Texture files read into texels for the 3D view, without Qt: DDS (DXT1, DXT3, DXT5 and
// uncompressed RGB, RGBA, BGRA and grey, with the mipmap levels the file holds, also behind a
// DX10 header of those formats) and TGA (true-colour, grey and colour-mapped, plain or
// run-length encoded). Other formats (PNG, BMP, JPEG) are read by a reader the caller gives.
//
// Texture files come from users: every size in a header is checked against the file's length
// before anything is read, and a damaged or cut file is refused with a problem that says what
// is wrong with it; nothing is ever read past the end of the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vlm::workbench {

// One level of a texture: RGBA, 8 bits a channel, rows top first (the first texel is the
// top left one, where the scene's texture coordinates are (0, 0)), no padding between rows.
struct TextureLevel {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes
};

// A texture: the full-size image first, then the smaller mipmap levels the file holds, each
// half the one before (rounded down, at least 1). One level when the file has no mipmaps.
struct TextureImage {
  std::vector<TextureLevel> levels;
};

// The largest side read, the largest a graphics card commonly takes.
inline constexpr int kMaxTextureSide = 16384;

// Reads a DDS file (known by its first bytes or its name) or a TGA file (by its name); any
// other file goes to `others` when given. Nothing, with `*problem` set (when not null), when
// the file cannot be opened or read, is damaged or cut short, or holds a kind of texture not
// read here.
using OtherImageReader =
    std::function<std::optional<TextureImage>(const std::filesystem::path&, std::string* problem)>;
std::optional<TextureImage> ReadTextureImage(const std::filesystem::path& file,
                                             std::string* problem,
                                             const OtherImageReader& others = {});

// The same for the bytes of a DDS file and of a TGA file (which has no mark of its own:
// ReadTextureImage knows it by its name).
std::optional<TextureImage> DecodeDds(std::span<const uint8_t> bytes, std::string* problem);
std::optional<TextureImage> DecodeTga(std::span<const uint8_t> bytes, std::string* problem);

}  // namespace vlm::workbench
