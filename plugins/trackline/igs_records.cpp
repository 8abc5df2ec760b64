#include "trackline/igs_records.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

#include "vlm/export_support.h"

namespace vlm::igs {

std::string ToAnsi(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k)
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!valid) {  // not UTF-8: the byte goes through as it is
      out.push_back(text[i++]);
      continue;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k)
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
    i += length;
  }
  return out;
}

void StoreText(char* field, size_t size, std::string_view text, std::string_view item) {
  // A NUL would cut the text short and a line break would split it in any listing.
  if (const std::string problem = ControlCharacterProblem(item, text); !problem.empty())
    throw ExportStopped(err::InvalidProcedureCall, problem + ".");
  const std::string bytes = ToAnsi(text);
  if (bytes.size() > size)
    throw ExportStopped(err::SubscriptOutOfRange, std::string(item) + " \"" + std::string(text) +
                                                      "\" is " + std::to_string(bytes.size()) +
                                                      " characters long; the limit is " +
                                                      std::to_string(size) + ".");
  std::memset(field, 0, size);
  std::memcpy(field, bytes.data(), bytes.size());
}

namespace {
void PutLittleEndian(std::string& out, uint32_t bits) {
  const char bytes[4] = {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
                         static_cast<char>((bits >> 16) & 0xFF),
                         static_cast<char>((bits >> 24) & 0xFF)};
  out.append(bytes, 4);
}
}  // namespace

void ByteWriter::operator()(int32_t value) {
  PutLittleEndian(out_, static_cast<uint32_t>(value));
}

void ByteWriter::operator()(float value) {
  PutLittleEndian(out_, std::bit_cast<uint32_t>(value));
}

IgsVertex HeldVertex::Record() const {
  IgsVertex v{};
  std::copy(std::begin(position), std::end(position), v.position);
  std::copy(std::begin(normal), std::end(normal), v.normal);
  v.texCoordSets = 1;
  v.texCoords[0][0] = texCoord[0], v.texCoords[0][1] = texCoord[1];
  v.colour[0] = v.colour[1] = v.colour[2] = v.colour[3] = 1.0f;
  v.material = material;
  return v;
}

IgsTriangle HeldTriangle::Record() const {
  IgsTriangle t{};
  std::copy(std::begin(vertices), std::end(vertices), t.vertices);
  std::copy(std::begin(normal), std::end(normal), t.normal);
  t.value24 = 1.0f;
  t.fanFlag = fanFlag;
  t.material = material;
  return t;
}

}  // namespace vlm::igs
