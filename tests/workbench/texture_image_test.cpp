// Texture files read without Qt: every format's texels come out where the file puts them (the
// top row first), mipmap levels as the file holds them, and damaged or cut files are refused
// with a problem instead of being read past their end.
#include "workbench/texture_image.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "support/temp_home.h"
#include "support/texture_files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::FileBytes;
using workbench::TextureImage;
using Rgba = std::array<uint8_t, 4>;

// The quarters' colours (see texture_files.h) with this alpha.
std::array<Rgba, 4> Quarters(uint8_t alpha = 255) {
  std::array<Rgba, 4> q;
  for (int i = 0; i < 4; ++i)
    q[i] = {test::kQuarterRgb[i][0], test::kQuarterRgb[i][1], test::kQuarterRgb[i][2], alpha};
  return q;
}

// An 8 x 8 DDS file of uncompressed texels in quarters: `texel` writes one of the quarter
// colours in the file's layout.
FileBytes QuartersDdsTexels(const test::DdsLayout& layout,
                            const std::function<void(FileBytes&, Rgba)>& texel,
                            const std::array<Rgba, 4>& colours) {
  FileBytes b = test::DdsHeader(8, 8, layout);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      texel(b, colours[(y / 4) * 2 + x / 4]);
  return b;
}

// A TGA file of `type` (1 colour-mapped, 3 grey) in quarters, 8 bits a texel, top row first.
FileBytes QuartersTgaOfBytes(uint8_t type, const std::array<uint8_t, 4>& texels,
                             const FileBytes& map = {}) {
  FileBytes b = {0, static_cast<uint8_t>(map.empty() ? 0 : 1), type, 0, 0};
  test::Put16(b, static_cast<uint32_t>(map.size() / 3));
  b.push_back(map.empty() ? 0 : 24);
  for (int i = 0; i < 4; ++i)
    b.push_back(0);
  test::Put16(b, 8);
  test::Put16(b, 8);
  b.push_back(8);
  b.push_back(0x20);
  b.insert(b.end(), map.begin(), map.end());
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      b.push_back(texels[(y / 4) * 2 + x / 4]);
  return b;
}

struct FormatCase {
  const char* name;
  FileBytes bytes;
  bool tga;
  std::array<Rgba, 4> quarters;  // top left, top right, bottom left, bottom right
};

std::vector<FormatCase> FormatCases() {
  const auto bgra = [](FileBytes& b, Rgba c) { b.insert(b.end(), {c[2], c[1], c[0], c[3]}); };
  const auto bgr = [](FileBytes& b, Rgba c) { b.insert(b.end(), {c[2], c[1], c[0]}); };
  const auto rgb565 = [](FileBytes& b, Rgba c) {
    test::Put16(b, uint32_t(c[0] >> 3) << 11 | uint32_t(c[1] >> 2) << 5 | uint32_t(c[2] >> 3));
  };
  const auto grey = [](FileBytes& b, Rgba c) { b.push_back(c[0]); };
  const std::array<Rgba, 4> greys = {Rgba{64, 64, 64, 255}, Rgba{128, 128, 128, 255},
                                     Rgba{192, 192, 192, 255}, Rgba{255, 255, 255, 255}};
  FileBytes dx10 = test::DdsHeader(8, 8, {.fourCc = "DX10"});
  test::PutDx10(dx10, 77);  // BC3, which is DXT5
  for (uint16_t c : test::kQuarter565)
    test::PutDxt5Block(dx10, c, 0x80);
  FileBytes map;  // the quarters' colours as a TGA colour map, blue first, from index 0
  for (const Rgba& c : Quarters())
    map.insert(map.end(), {c[2], c[1], c[0]});
  return {
      {"DXT1", test::QuartersDds("DXT1"), false, Quarters()},
      {"DXT3", test::QuartersDds("DXT3", 0x77), false, Quarters(0x77)},
      {"DXT5", test::QuartersDds("DXT5", 0x80), false, Quarters(0x80)},
      {"DX10 header, BC3", dx10, false, Quarters(0x80)},
      {"BGRA 32 bits",
       QuartersDdsTexels(
           {.bits = 32, .red = 0xff0000, .green = 0xff00, .blue = 0xff, .alpha = 0xff000000}, bgra,
           Quarters(0x40)),
       false, Quarters(0x40)},
      {"RGB 24 bits",
       QuartersDdsTexels(
           {.bits = 24, .red = 0xff0000, .green = 0xff00, .blue = 0xff, .flags = 0x40}, bgr,
           Quarters()),
       false, Quarters()},
      {"RGB 5, 6, 5 bits",
       QuartersDdsTexels({.bits = 16, .red = 0xf800, .green = 0x07e0, .blue = 0x1f, .flags = 0x40},
                         rgb565, Quarters()),
       false, Quarters()},
      {"grey 8 bits", QuartersDdsTexels({.bits = 8, .red = 0xff, .flags = 0x20000}, grey, greys),
       false, greys},
      {"TGA 24 bits, bottom row first", test::QuartersTga(false), true, Quarters()},
      {"TGA run-length encoded", test::QuartersTga(true), true, Quarters()},
      {"TGA grey", QuartersTgaOfBytes(3, {64, 128, 192, 255}), true, greys},
      {"TGA colour-mapped", QuartersTgaOfBytes(1, {0, 1, 2, 3}, map), true, Quarters()},
  };
}

std::optional<TextureImage> Decode(const FileBytes& bytes, bool tga, std::string* problem) {
  return tga ? workbench::DecodeTga(bytes, problem) : workbench::DecodeDds(bytes, problem);
}

Rgba TexelAt(const workbench::TextureLevel& level, int x, int y) {
  const size_t at = 4 * (size_t(y) * size_t(level.width) + size_t(x));
  return {level.rgba[at], level.rgba[at + 1], level.rgba[at + 2], level.rgba[at + 3]};
}

TEST(TextureImage, ReadsEachFormatsTexelsWithTheTopRowFirst) {
  for (const FormatCase& c : FormatCases()) {
    std::string problem;
    const std::optional<TextureImage> image = Decode(c.bytes, c.tga, &problem);
    ASSERT_TRUE(image) << c.name << ": " << problem;
    ASSERT_EQ(image->levels.size(), 1u) << c.name;
    const workbench::TextureLevel& level = image->levels[0];
    ASSERT_EQ(level.width, 8) << c.name;
    ASSERT_EQ(level.height, 8) << c.name;
    ASSERT_EQ(level.rgba.size(), 8u * 8 * 4) << c.name;
    // Every texel of each quarter, corners included.
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        ASSERT_EQ(TexelAt(level, x, y), c.quarters[(y / 4) * 2 + x / 4])
            << c.name << " at " << x << "," << y;
  }
}

// One colour a level, each half the size of the one before.
TEST(TextureImage, KeepsTheMipmapLevelsTheFileHas) {
  const uint16_t colours[4] = {0xf800, 0x07e0, 0x001f, 0xffff};
  for (const uint32_t count : {4u, 2u}) {
    FileBytes b = test::DdsHeader(8, 8, {.fourCc = "DXT1", .mipmaps = count});
    for (uint32_t l = 0; l < count; ++l) {
      const uint32_t side = 8 >> l, blocks = std::max(side / 4, 1u) * std::max(side / 4, 1u);
      for (uint32_t k = 0; k < blocks; ++k)
        test::PutDxt1Block(b, colours[l]);
    }
    std::string problem;
    const std::optional<TextureImage> image = workbench::DecodeDds(b, &problem);
    ASSERT_TRUE(image) << problem;
    ASSERT_EQ(image->levels.size(), count);
    for (uint32_t l = 0; l < count; ++l) {
      const workbench::TextureLevel& level = image->levels[l];
      EXPECT_EQ(level.width, int(8 >> l)) << l;
      EXPECT_EQ(level.height, int(8 >> l)) << l;
      const Rgba want = {test::kQuarterRgb[l][0], test::kQuarterRgb[l][1], test::kQuarterRgb[l][2],
                         255};
      EXPECT_EQ(TexelAt(level, level.width - 1, level.height - 1), want) << l;
    }
  }
}

TEST(TextureImage, RefusesDamagedAndCutFilesWithAProblem) {
  const auto dds = [](uint32_t w, uint32_t h, test::DdsLayout layout, size_t extra = 4096) {
    FileBytes b = test::DdsHeader(w, h, layout);
    b.resize(b.size() + extra, 0);
    return b;
  };
  FileBytes bc7 = test::DdsHeader(8, 8, {.fourCc = "DX10"});
  test::PutDx10(bc7, 98);
  bc7.resize(bc7.size() + 64);
  FileBytes array = test::DdsHeader(8, 8, {.fourCc = "DX10"});
  test::PutDx10(array, 71, 6);
  array.resize(array.size() + 6 * 32);
  FileBytes tgaHuge = test::QuartersTga(true);
  tgaHuge[12] = tgaHuge[13] = tgaHuge[14] = tgaHuge[15] = 0x3f;  // 16191 x 16191 from 300 bytes
  FileBytes tgaBadIndex = QuartersTgaOfBytes(1, {0, 1, 2, 9}, FileBytes(12, 0));
  const struct {
    const char* name;
    FileBytes bytes;
    bool tga;
    const char* problem;  // part of it
  } cases[] = {
      {"no DDS mark", FileBytes(200, 'x'), false, "not a DDS file"},
      {"header's own size", dds(8, 8, {.fourCc = "DXT1", .headerSize = 100}), false,
       "size as 100 bytes"},
      {"no width", dds(0, 8, {.fourCc = "DXT1"}), false, "a size of 0 x 8"},
      {"too large", dds(1u << 20, 4, {.fourCc = "DXT1"}), false, "larger than"},
      {"cube map", dds(8, 8, {.fourCc = "DXT1", .caps2 = 0x200 | 0xfc00}), false, "cube map"},
      {"too many levels", dds(8, 8, {.fourCc = "DXT1", .mipmaps = 5}), false, "at most 4"},
      {"unknown compression", dds(8, 8, {.fourCc = "ATI2"}), false, "\"ATI2\" is not read"},
      {"DX10 BC7", bc7, false, "format number 98 (BC7) is not read"},
      {"DX10 array", array, false, "array of 6"},
      {"DX10 header cut", test::DdsHeader(8, 8, {.fourCc = "DX10"}), false,
       "inside its DX10 header"},
      {"texels of 12 bits", dds(8, 8, {.bits = 12, .red = 0xf00, .green = 0xf0, .blue = 0xf}),
       false, "12 bits"},
      {"mask past the texel",
       dds(8, 8, {.bits = 16, .red = 0xff0000, .green = 0xff00, .blue = 0xff}), false,
       "masks do not fit"},
      {"broken mask", dds(8, 8, {.bits = 32, .red = 0xf0f0, .green = 0xff0000, .blue = 0xff}),
       false, "masks do not fit"},
      {"TGA type 0", FileBytes(18 + 64, 0), true, "TGA image type 0"},
      {"TGA of 13 bits",
       [] {
         auto b = test::QuartersTga(false);
         b[16] = 13;
         return b;
       }(),
       true, "13 bits"},
      {"TGA larger than its runs", tgaHuge, true, "cut short"},
      {"TGA texel outside its colour map", tgaBadIndex, true, "outside its colour map"},
  };
  for (const auto& c : cases) {
    std::string problem;
    EXPECT_FALSE(Decode(c.bytes, c.tga, &problem)) << c.name;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
  }
  // Every good file cut at every length short of its end: refused, never read past the end.
  std::vector<FormatCase> whole = FormatCases();
  FileBytes mipmapped = test::DdsHeader(8, 8, {.fourCc = "DXT5", .mipmaps = 4});
  for (int k = 0; k < 4 + 1 + 1 + 1; ++k)
    test::PutDxt5Block(mipmapped, 0xffff, 0x80);
  whole.push_back({"DXT5 with mipmaps", mipmapped, false, {}});
  for (const FormatCase& c : whole)
    for (size_t n = 0; n < c.bytes.size(); ++n) {
      const FileBytes cut(c.bytes.begin(), c.bytes.begin() + std::ptrdiff_t(n));
      std::string problem;
      ASSERT_FALSE(Decode(cut, c.tga, &problem)) << c.name << " cut at " << n;
      ASSERT_FALSE(problem.empty()) << c.name << " cut at " << n;
    }
}

// A file is read by what it is (a DDS file by its mark, whatever its name) or by its name; the
// formats of other readers go to the reader given.
TEST(TextureImage, ReadsAFileByItsMarkOrItsName) {
  test::TempHome home;
  const fs::path dir = home.Path();
  test::WriteBytes(dir / "door.dds", test::QuartersDds("DXT1"));
  test::WriteBytes(dir / "DOOR.DDS", test::QuartersDds("DXT1"));
  test::WriteBytes(dir / "door.bin", test::QuartersDds("DXT1"));
  test::WriteBytes(dir / "wall.tga", test::QuartersTga(false));
  test::WriteBytes(dir / "fake.dds", test::QuartersTga(false));
  test::WriteBytes(dir / "roof.png", {1, 2, 3});
  fs::create_directory(dir / "folder.dds");
  const workbench::OtherImageReader others = [](const fs::path& file, std::string* problem) {
    *problem = "others asked for " + file.filename().string();
    return std::optional<TextureImage>();
  };
  const struct {
    const char* file;
    bool withOthers;
    const char* problem;  // empty: read as an 8 x 8 texture
  } cases[] = {
      {"door.dds", false, ""},
      {"DOOR.DDS", false, ""},
      {"door.bin", true, ""},
      {"wall.tga", false, ""},
      {"fake.dds", true, "not a DDS file"},
      {"roof.png", true, "others asked for roof.png"},
      {"roof.png", false, "not read here"},
      {"gone.dds", true, "does not exist"},
      {"folder.dds", true, "not a plain file"},
  };
  for (const auto& c : cases) {
    std::string problem;
    const auto image =
        workbench::ReadTextureImage(dir / c.file, &problem, c.withOthers ? others : nullptr);
    if (*c.problem == 0) {
      ASSERT_TRUE(image) << c.file << ": " << problem;
      EXPECT_EQ(image->levels.at(0).width, 8) << c.file;
      EXPECT_EQ(TexelAt(image->levels[0], 7, 7), Quarters()[3]) << c.file;
    } else {
      EXPECT_FALSE(image) << c.file;
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.file << ": " << problem;
    }
  }
}

}  // namespace
}  // namespace vlm
