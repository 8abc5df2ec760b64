#include "workbench/texture_image.h"

#include <squish.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <system_error>

namespace vlm::workbench {
namespace {

namespace fs = std::filesystem;
using Bytes = std::span<const uint8_t>;

std::optional<TextureImage> Refuse(std::string* problem, std::string text) {
  if (problem) *problem = std::move(text);
  return std::nullopt;
}

uint32_t Le32(Bytes b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(Bytes b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

std::string Size(uint64_t width, uint64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// A side of 0 or one larger than is drawn.
std::optional<std::string> BadSize(uint64_t width, uint64_t height) {
  if (width == 0 || height == 0) return "its header gives a size of " + Size(width, height);
  if (width > kMaxTextureSide || height > kMaxTextureSide)
    return "it is " + Size(width, height) + " texels, larger than the " +
           Size(kMaxTextureSide, kMaxTextureSide) + " drawn here";
  return std::nullopt;
}

TextureLevel NewLevel(int width, int height) {
  return {width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 4)};
}

// ---- DDS ----

constexpr size_t kDdsHeaderEnd = 128;        // "DDS " and the header of 124 bytes
constexpr size_t kDx10HeaderEnd = 128 + 20;  // and the DX10 header after it
constexpr uint32_t kDdsdMipmapCount = 0x20000, kDdsdDepth = 0x800000;
constexpr uint32_t kDdpfAlphaPixels = 0x1, kDdpfAlpha = 0x2, kDdpfFourCc = 0x4, kDdpfRgb = 0x40,
                   kDdpfLuminance = 0x20000;
constexpr uint32_t kDdsCapsMipmap = 0x400000;
constexpr uint32_t kDdsCaps2CubeMap = 0x200, kDdsCaps2Volume = 0x200000;

constexpr uint32_t FourCc(const char (&c)[5]) {
  return uint32_t(uint8_t(c[0])) | uint32_t(uint8_t(c[1])) << 8 | uint32_t(uint8_t(c[2])) << 16 |
         uint32_t(uint8_t(c[3])) << 24;
}

std::string FourCcText(uint32_t code) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((code >> (8 * i)) & 0xff);
    if (c < 0x20 || c > 0x7e) return "number " + std::to_string(code);
    text += c;
  }
  return '"' + text + '"';
}

// How the texels of a DDS file are stored: DXTn blocks (squish's flag) or pixels of `bits` bits
// whose channels the masks pick out (a mask of 0: the channel is not stored).
struct DdsFormat {
  int squishFlags = 0;
  uint32_t bits = 0, red = 0, green = 0, blue = 0, alpha = 0;
};

// The formats a DX10 header may name that are read here (DXGI_FORMAT numbers).
std::optional<DdsFormat> Dx10Format(uint32_t dxgi, std::string& name) {
  switch (dxgi) {
    case 71:
    case 72:
      return DdsFormat{squish::kDxt1};
    case 74:
    case 75:
      return DdsFormat{squish::kDxt3};
    case 77:
    case 78:
      return DdsFormat{squish::kDxt5};
    case 28:
    case 29:
      return DdsFormat{0, 32, 0xff, 0xff00, 0xff0000, 0xff000000};
    case 87:
    case 91:
      return DdsFormat{0, 32, 0xff0000, 0xff00, 0xff, 0xff000000};
    case 88:
    case 93:
      return DdsFormat{0, 32, 0xff0000, 0xff00, 0xff, 0};
    default:
      break;
  }
  const struct {
    uint32_t dxgi;
    const char* name;
  } known[] = {{2, "RGBA 32-bit float"},
               {10, "RGBA 16-bit float"},
               {80, "BC4"},
               {81, "BC4"},
               {83, "BC5"},
               {84, "BC5"},
               {95, "BC6H"},
               {96, "BC6H"},
               {98, "BC7"},
               {99, "BC7"}};
  name = "number " + std::to_string(dxgi);
  for (const auto& k : known)
    if (k.dxgi == dxgi) name += " (" + std::string(k.name) + ")";
  return std::nullopt;
}

const char* kDdsFormatsRead =
    "DXT1, DXT3, DXT5 and uncompressed RGB, RGBA, BGRA and grey textures are read";

// One uncompressed channel: its bits of a pixel scaled to 0..255.
struct Channel {
  uint32_t mask = 0, shift = 0, top = 0;
  explicit Channel(uint32_t m) : mask(m) {
    if (m) shift = static_cast<uint32_t>(std::countr_zero(m)), top = m >> shift;
  }
  bool Contiguous() const { return (top & (top + 1)) == 0; }
  uint8_t Of(uint32_t pixel, uint8_t none) const {
    if (!mask) return none;
    return static_cast<uint8_t>((uint64_t((pixel & mask) >> shift) * 255 + top / 2) / top);
  }
};

void DecodeMasked(Bytes data, const DdsFormat& f, TextureLevel& level) {
  const size_t bytes = f.bits / 8;
  const Channel r(f.red), g(f.green), b(f.blue), a(f.alpha);
  // Alpha alone (A8): white texels of that opacity.
  const uint8_t noColour = (f.red | f.green | f.blue) ? 0 : 255;
  const size_t count = size_t(level.width) * size_t(level.height);
  for (size_t i = 0; i < count; ++i) {
    uint32_t pixel = 0;
    for (size_t k = 0; k < bytes; ++k)
      pixel |= uint32_t(data[i * bytes + k]) << (8 * k);
    uint8_t* out = &level.rgba[4 * i];
    out[0] = r.Of(pixel, noColour), out[1] = g.Of(pixel, noColour), out[2] = b.Of(pixel, noColour);
    out[3] = a.Of(pixel, 255);
  }
}

}  // namespace

std::optional<TextureImage> DecodeDds(Bytes b, std::string* problem) {
  if (b.size() < 4 || std::memcmp(b.data(), "DDS ", 4) != 0)
    return Refuse(problem, "it is not a DDS file (it does not start with \"DDS \")");
  if (b.size() < kDdsHeaderEnd)
    return Refuse(problem, "the file ends inside its DDS header, after " +
                               std::to_string(b.size()) + " of 128 bytes");
  if (Le32(b, 4) != 124)
    return Refuse(problem, "its DDS header gives its own size as " + std::to_string(Le32(b, 4)) +
                               " bytes, not 124");
  const uint32_t flags = Le32(b, 8), height = Le32(b, 12), width = Le32(b, 16);
  const uint32_t depth = Le32(b, 24), mipmaps = Le32(b, 28);
  const uint32_t formatFlags = Le32(b, 80), fourCc = Le32(b, 84);
  const uint32_t caps = Le32(b, 108), caps2 = Le32(b, 112);
  if (caps2 & kDdsCaps2CubeMap)
    return Refuse(problem, "it is a cube map; only flat textures are drawn");
  if ((caps2 & kDdsCaps2Volume) || ((flags & kDdsdDepth) && depth > 1))
    return Refuse(problem, "it is a volume texture; only flat textures are drawn");
  if (const auto bad = BadSize(width, height)) return Refuse(problem, *bad);

  DdsFormat format;
  size_t offset = kDdsHeaderEnd;
  if (formatFlags & kDdpfFourCc) {
    if (fourCc == FourCc("DXT1")) {
      format.squishFlags = squish::kDxt1;
    } else if (fourCc == FourCc("DXT3")) {
      format.squishFlags = squish::kDxt3;
    } else if (fourCc == FourCc("DXT5")) {
      format.squishFlags = squish::kDxt5;
    } else if (fourCc == FourCc("DX10")) {
      if (b.size() < kDx10HeaderEnd) return Refuse(problem, "the file ends inside its DX10 header");
      const uint32_t dxgi = Le32(b, 128), dimension = Le32(b, 132), misc = Le32(b, 136),
                     arraySize = Le32(b, 140);
      offset = kDx10HeaderEnd;
      if (dimension != 3)
        return Refuse(problem, "its DX10 header is not that of a flat (2D) texture");
      if (misc & 0x4) return Refuse(problem, "it is a cube map; only flat textures are drawn");
      if (arraySize > 1)
        return Refuse(problem, "it holds an array of " + std::to_string(arraySize) +
                                   " textures; only single textures are drawn");
      std::string name;
      const std::optional<DdsFormat> known = Dx10Format(dxgi, name);
      if (!known)
        return Refuse(
            problem, "its DX10 header's format " + name + " is not read (" + kDdsFormatsRead + ")");
      format = *known;
    } else {
      return Refuse(problem, "its compression " + FourCcText(fourCc) + " is not read (" +
                                 kDdsFormatsRead + ")");
    }
  } else if (formatFlags & (kDdpfRgb | kDdpfLuminance | kDdpfAlpha)) {
    format.bits = Le32(b, 88);
    const uint32_t red = Le32(b, 92);
    format.red = red;
    format.green = formatFlags & kDdpfLuminance ? red : Le32(b, 96);
    format.blue = formatFlags & kDdpfLuminance ? red : Le32(b, 100);
    format.alpha = formatFlags & (kDdpfAlphaPixels | kDdpfAlpha) ? Le32(b, 104) : 0;
    if (format.bits != 8 && format.bits != 16 && format.bits != 24 && format.bits != 32)
      return Refuse(problem, "its texels of " + std::to_string(format.bits) +
                                 " bits are not read (8, 16, 24 or 32 bits are)");
    const uint64_t all = format.bits == 32 ? 0xffffffffu : (uint64_t(1) << format.bits) - 1;
    for (const uint32_t mask : {format.red, format.green, format.blue, format.alpha})
      if ((mask & ~all) != 0 || !Channel(mask).Contiguous())
        return Refuse(problem, "its colour masks do not fit its texels of " +
                                   std::to_string(format.bits) + " bits");
    if (!(format.red | format.green | format.blue | format.alpha))
      return Refuse(problem, "its colour masks are all 0");
  } else {
    return Refuse(problem, "its pixel format is neither compressed nor RGB (" +
                               std::string(kDdsFormatsRead) + ")");
  }

  // The mipmap levels, when the header says it counts them; as many as the file holds.
  uint32_t levels = 1;
  if ((flags & kDdsdMipmapCount) || (caps & kDdsCapsMipmap)) levels = std::max(mipmaps, 1u);
  const uint32_t most = static_cast<uint32_t>(std::bit_width(std::max(width, height)));
  if (levels > most)
    return Refuse(problem, "its header counts " + std::to_string(levels) +
                               " mipmap levels; a texture of " + Size(width, height) +
                               " has at most " + std::to_string(most));
  TextureImage image;
  for (uint32_t l = 0; l < levels; ++l) {
    const uint32_t w = std::max(width >> l, 1u), h = std::max(height >> l, 1u);
    const uint64_t need = format.squishFlags ? uint64_t((w + 3) / 4) * ((h + 3) / 4) *
                                                   (format.squishFlags == squish::kDxt1 ? 8 : 16)
                                             : uint64_t(w) * h * (format.bits / 8);
    if (need > b.size() - offset) {
      const std::string what =
          l == 0 ? "its texels (" + Size(w, h) + ")"
                 : "its mipmap level " + std::to_string(l) + " (" + Size(w, h) + ")";
      return Refuse(problem, "the file is cut short: " + what + " need " + std::to_string(need) +
                                 " bytes from byte " + std::to_string(offset) + ", and only " +
                                 std::to_string(b.size() - offset) + " are left");
    }
    TextureLevel level = NewLevel(static_cast<int>(w), static_cast<int>(h));
    const Bytes data = b.subspan(offset, need);
    if (format.squishFlags)
      squish::DecompressImage(level.rgba.data(), level.width, level.height, data.data(),
                              format.squishFlags);
    else
      DecodeMasked(data, format, level);
    image.levels.push_back(std::move(level));
    offset += need;
  }
  return image;
}

// ---- TGA ----

std::optional<TextureImage> DecodeTga(Bytes b, std::string* problem) {
  constexpr size_t kHeader = 18;
  if (b.size() < kHeader)
    return Refuse(problem, "the file ends inside its TGA header, after " +
                               std::to_string(b.size()) + " of 18 bytes");
  const uint8_t idLength = b[0], mapType = b[1], type = b[2];
  const uint16_t mapFirst = Le16(b, 3), mapLength = Le16(b, 5);
  const uint8_t mapBits = b[7];
  const uint16_t width = Le16(b, 12), height = Le16(b, 14);
  const uint8_t bits = b[16], descriptor = b[17];
  const bool runs = type >= 9;
  const int kind = type & 7;  // 1 colour-mapped, 2 true-colour, 3 grey
  if ((type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) || mapType > 1)
    return Refuse(problem, "its TGA image type " + std::to_string(type) +
                               " is not read (true-colour, grey and colour-mapped images, "
                               "plain or run-length encoded, are)");
  if (const auto bad = BadSize(width, height)) return Refuse(problem, *bad);
  const auto bitsOk = [](int n, std::initializer_list<int> allowed) {
    return std::find(allowed.begin(), allowed.end(), n) != allowed.end();
  };
  if (kind == 1 && (mapType != 1 || !bitsOk(bits, {8, 16}) || !bitsOk(mapBits, {15, 16, 24, 32})))
    return Refuse(problem,
                  "its colour map is not one of 15, 16, 24 or 32-bit colours indexed by "
                  "8 or 16 bits");
  if (kind == 2 && !bitsOk(bits, {15, 16, 24, 32}))
    return Refuse(problem, "its texels of " + std::to_string(bits) +
                               " bits are not read (15, 16, 24 or 32 bits are)");
  if (kind == 3 && !bitsOk(bits, {8, 16}))
    return Refuse(problem, "its grey texels of " + std::to_string(bits) +
                               " bits are not read (8 or 16 bits are)");

  // A colour of 15 or 16 bits (5 each, blue lowest; the top bit the alpha when the header
  // says the texels have alpha), 24 (blue, green, red) or 32 (and alpha).
  const bool alpha16 = (descriptor & 0x0f) != 0;
  const auto colour = [alpha16](const uint8_t* p, int n, uint8_t* out) {
    if (n == 15 || n == 16) {
      const unsigned v = p[0] | p[1] << 8;
      const auto five = [](unsigned c) { return static_cast<uint8_t>((c * 255 + 15) / 31); };
      out[0] = five((v >> 10) & 31), out[1] = five((v >> 5) & 31), out[2] = five(v & 31);
      out[3] = n == 16 && alpha16 ? ((v & 0x8000) ? 255 : 0) : 255;
    } else {
      out[0] = p[2], out[1] = p[1], out[2] = p[0];
      out[3] = n == 32 ? p[3] : 255;
    }
  };
  size_t at = kHeader + idLength;
  std::vector<uint8_t> palette;  // RGBA
  if (mapType == 1) {
    const size_t entry = (mapBits + 7) / 8, bytes = size_t(mapLength) * entry;
    if (at > b.size() || bytes > b.size() - at)
      return Refuse(problem, "the file is cut short inside its colour map");
    if (kind == 1) {
      palette.resize(size_t(mapLength) * 4);
      for (size_t i = 0; i < mapLength; ++i)
        colour(&b[at + i * entry], mapBits, &palette[4 * i]);
    }
    at += bytes;
  }
  if (at > b.size()) return Refuse(problem, "the file is cut short before its texels");
  const size_t texelBytes = (bits + 7) / 8;
  const size_t count = size_t(width) * height;
  // Each byte of run-length data gives at most 128 texels: a header claiming far more than
  // the file can hold is refused before anything is made for it.
  const size_t left = b.size() - at;
  if (runs ? count > left * 128 : count * texelBytes > left)
    return Refuse(problem, "the file is cut short: its texels (" + Size(width, height) +
                               ") need more than the " + std::to_string(left) +
                               " bytes left after its header");
  TextureLevel level = NewLevel(width, height);
  // One texel of the file into the texels as stored (bottom row first unless the header
  // says otherwise); false for an index outside the colour map.
  const auto put = [&](const uint8_t* p, size_t i) {
    uint8_t* out = &level.rgba[4 * i];
    if (kind == 1) {
      const unsigned index = bits == 8 ? p[0] : unsigned(p[0] | p[1] << 8);
      if (index < mapFirst || index - mapFirst >= mapLength) return false;
      std::memcpy(out, &palette[4 * (index - mapFirst)], 4);
    } else if (kind == 3) {
      out[0] = out[1] = out[2] = p[0];
      out[3] = bits == 16 ? p[1] : 255;
    } else {
      colour(p, bits, out);
    }
    return true;
  };
  const std::string badIndex = "a texel names a colour outside its colour map";
  if (!runs) {
    for (size_t i = 0; i < count; ++i)
      if (!put(&b[at + i * texelBytes], i)) return Refuse(problem, badIndex);
  } else {
    // Packets: a byte whose top bit says whether one texel repeats or texels follow as they
    // are, and whose low seven bits count them less one. A packet may run on into the next
    // row; one running past the last texel is cut there.
    for (size_t i = 0; i < count;) {
      if (at >= b.size()) return Refuse(problem, "the file is cut short inside its texels");
      const uint8_t head = b[at++];
      const size_t n = std::min<size_t>((head & 0x7f) + 1, count - i);
      const size_t need = head & 0x80 ? texelBytes : n * texelBytes;
      if (need > b.size() - at) return Refuse(problem, "the file is cut short inside its texels");
      for (size_t k = 0; k < n; ++k)
        if (!put(&b[at + (head & 0x80 ? 0 : k * texelBytes)], i + k))
          return Refuse(problem, badIndex);
      at += need, i += n;
    }
  }
  // Rows top first, each left to right.
  const size_t row = size_t(width) * 4;
  if (!(descriptor & 0x20))
    for (size_t y = 0; y < height / 2u; ++y)
      std::swap_ranges(level.rgba.begin() + std::ptrdiff_t(y * row),
                       level.rgba.begin() + std::ptrdiff_t((y + 1) * row),
                       level.rgba.begin() + std::ptrdiff_t((height - 1 - y) * row));
  if (descriptor & 0x10)
    for (size_t y = 0; y < height; ++y)
      for (size_t x = 0; x < width / 2u; ++x)
        std::swap_ranges(level.rgba.begin() + std::ptrdiff_t(y * row + 4 * x),
                         level.rgba.begin() + std::ptrdiff_t(y * row + 4 * x + 4),
                         level.rgba.begin() + std::ptrdiff_t(y * row + 4 * (width - 1 - x)));
  TextureImage image;
  image.levels.push_back(std::move(level));
  return image;
}

// ---- files ----

std::optional<TextureImage> ReadTextureImage(const fs::path& file, std::string* problem,
                                             const OtherImageReader& others) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec))
    return Refuse(problem, fs::exists(file, ec) ? "it is not a plain file" : "it does not exist");
  const uintmax_t size = fs::file_size(file, ec);
  if (ec) return Refuse(problem, "its size cannot be read: " + ec.message());
  std::ifstream in(file, std::ios::binary);
  char magic[4] = {};
  if (!in || !in.read(magic, std::min<uintmax_t>(size, 4)))
    return Refuse(problem, "it cannot be opened or read");
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const bool dds = size >= 4 && std::memcmp(magic, "DDS ", 4) == 0;
  if (!dds && extension != ".dds" && extension != ".tga") {
    if (others) return others(file, problem);
    return Refuse(problem, "its format is not read here (DDS and TGA are)");
  }
  // The largest texture drawn, in its largest uncompressed form, and room for mipmaps.
  if (size > uintmax_t(kMaxTextureSide) * kMaxTextureSide * 4 * 2)
    return Refuse(problem, "it is larger than any texture drawn here");
  std::vector<uint8_t> bytes(size);
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
    return Refuse(problem, "it cannot be read whole");
  return dds || extension == ".dds" ? DecodeDds(bytes, problem) : DecodeTga(bytes, problem);
}

}  // namespace vlm::workbench
