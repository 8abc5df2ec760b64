// Texture headers: any bytes give a size or nothing, a size is never 0 or negative, and the
// bytes after a header never change what it says; the kind of picture agrees with the size
// and is told from the header's bytes alone.
#include <string>

#include "exchange/image_size.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = vlm::fuzz::Text(data, size);
  const auto format = vlm::host::ImageFormatOf(bytes);
  const auto header = vlm::host::ImageFormatOf(bytes.substr(0, vlm::host::kImageHeaderBytes));
  vlm::fuzz::Check(format == header, "the bytes after the header do not change the picture's kind");
  const auto found = vlm::host::ReadImageSize(bytes);
  if (!found) return 0;
  vlm::fuzz::Check(format && *format == found->format, "a sized header is that kind of picture");
  vlm::fuzz::Check(found->width > 0 && found->height > 0, "a header gives a positive size");
  vlm::fuzz::Check(found->format == "PNG" || found->format == "DDS" || found->format == "BMP",
                   "a header names one of the three formats", found->format);
  std::string longer(bytes);
  longer.append(64, '\xff');
  const auto again = vlm::host::ReadImageSize(longer);
  vlm::fuzz::Check(again && again->width == found->width && again->height == found->height &&
                       again->format == found->format,
                   "bytes after the header change nothing");
  return 0;
}
