#include "vlm/text_encoding.h"

#include <cstdint>

#include "vlm/text.h"

namespace vlm::text {
namespace {

// The characters of the bytes 0x80 to 0x9F in Windows-1252; the rest of the code page is
// Latin-1.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char32_t Windows1252Char(uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char32_t{byte};
}

}  // namespace

// Decodes the character at `at` and moves past it; false (with `at` unchanged) when the bytes
// there are no well-formed UTF-8 character.
bool NextCodePoint(std::string_view bytes, size_t& at, char32_t& c) {
  Utf8Decoder decoder;
  for (size_t i = at; i < bytes.size(); ++i) {
    const Utf8Decoder::Step step = decoder.Put(bytes[i]);
    if (step == Utf8Decoder::Step::NeedMore) continue;
    if (step != Utf8Decoder::Step::Character) return false;
    c = decoder.Character();
    at = i + 1;
    return true;
  }
  return false;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsUtf8(std::string_view bytes) {
  return vlm::IsUtf8(bytes);
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char b : bytes)
    AppendUtf8(out, Windows1252Char(static_cast<uint8_t>(b)));
  return out;
}

std::string DecodeText(std::string_view bytes) {
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  return IsUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

std::u32string CodePoints(std::string_view utf8) {
  std::u32string out;
  char32_t c;
  for (size_t at = 0; at < utf8.size();) {
    // A stray byte (text that did not pass DecodeText) is read as Windows-1252.
    if (!NextCodePoint(utf8, at, c)) c = Windows1252Char(static_cast<uint8_t>(utf8[at++]));
    out += c;
  }
  return out;
}

}  // namespace vlm::text
