#include "exchange/image_size.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vlm::host {
namespace {

uint32_t LittleEndian32(std::string_view b, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k)
    v |= static_cast<uint32_t>(static_cast<unsigned char>(b[at + k])) << (8 * k);
  return v;
}

uint32_t BigEndian32(std::string_view b, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k)
    v = (v << 8) | static_cast<unsigned char>(b[at + k]);
  return v;
}

uint16_t LittleEndian16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                               (static_cast<unsigned char>(b[at + 1]) << 8));
}

std::optional<ImageSize> Sized(int64_t width, int64_t height, const char* format) {
  if (width <= 0 || height <= 0) return std::nullopt;
  return ImageSize{width, height, format};
}

// TGA has no magic number: its fixed header of 18 bytes must be one a writer can make. The
// colour-mapped kinds (1, 9) need a map of entries of 15 to 32 bits and 8- or 16-bit indices,
// grey (3, 11) 8 or 16 bits, true colour (2, 10) 15 to 32; the two top bits of the
// descriptor are 0 and it has at most 8 bits of alpha.
bool IsTgaHeader(std::string_view b) {
  if (b.size() < 18) return false;
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(b[at]); };
  const unsigned mapType = byte(1), kind = byte(2), depth = byte(16), descriptor = byte(17);
  const bool mapped = kind == 1 || kind == 9, grey = kind == 3 || kind == 11;
  if (mapType != (mapped ? 1u : 0u) || (!mapped && !grey && kind != 2 && kind != 10)) return false;
  if (mapped) {
    const unsigned entry = byte(7);
    if (entry != 15 && entry != 16 && entry != 24 && entry != 32) return false;
    if (LittleEndian16(b, 5) == 0) return false;  // a map of no entries
  }
  const bool depthFits = mapped || grey ? depth == 8 || depth == 16
                                        : depth == 15 || depth == 16 || depth == 24 || depth == 32;
  return depthFits && (descriptor & 0xC0) == 0 && (descriptor & 0x0F) <= 8 &&
         LittleEndian16(b, 12) > 0 && LittleEndian16(b, 14) > 0;
}

}  // namespace

std::optional<ImageSize> ReadImageSize(std::string_view b) {
  // PNG: the signature, then the IHDR chunk (length, type, width, height; big-endian).
  if (b.size() >= 24 && b.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8) &&
      b.substr(12, 4) == "IHDR")
    return Sized(BigEndian32(b, 16), BigEndian32(b, 20), "PNG");
  // DDS: the magic, then the header of 124 bytes: size, flags, height, width.
  if (b.size() >= 20 && b.substr(0, 4) == "DDS " && LittleEndian32(b, 4) == 124)
    return Sized(LittleEndian32(b, 16), LittleEndian32(b, 12), "DDS");
  // BMP: the file header of 14 bytes, then the bitmap header, whose size tells its kind: the
  // old one of 12 bytes has 16-bit sides, the others signed 32-bit ones (a negative height is a
  // picture stored top row first).
  if (b.size() >= 18 && b.substr(0, 2) == "BM") {
    const uint32_t headerSize = LittleEndian32(b, 14);
    if (headerSize == 12 && b.size() >= 22)
      return Sized(LittleEndian16(b, 18), LittleEndian16(b, 20), "BMP");
    if (headerSize >= 40 && b.size() >= kImageHeaderBytes) {
      const auto width = static_cast<int32_t>(LittleEndian32(b, 18));
      const auto height = static_cast<int32_t>(LittleEndian32(b, 22));
      return Sized(width, std::llabs(static_cast<long long>(height)), "BMP");
    }
  }
  return std::nullopt;
}

std::optional<std::string> ImageFormatOf(std::string_view b) {
  if (const auto size = ReadImageSize(b.substr(0, kImageHeaderBytes))) return size->format;
  if (b.size() >= 3 && b.substr(0, 3) == "\xff\xd8\xff") return "JPEG";
  if (IsTgaHeader(b)) return "TGA";
  return std::nullopt;
}

std::optional<ImageSize> ImageSizeOfFile(const std::filesystem::path& file) {
  // A texture name may lead to a pipe or device, which is not even opened: opening one may
  // wait for ever.
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char buffer[kImageHeaderBytes];
  ssize_t got = -1;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) do
      got = ::pread(fd, buffer, sizeof buffer, 0);
    while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got < 0) return std::nullopt;
  return ReadImageSize(std::string_view(buffer, static_cast<size_t>(got)));
}

}  // namespace vlm::host
