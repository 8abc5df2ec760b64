#include "scene/scene_text.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "vlm/error.h"

namespace vlm::host::scene_text {

void Fail(int32_t number, const std::string& origin, const std::string& place,
          const std::string& problem) {
  throw Error(number, origin + ": " + place + ": " + problem);
}

std::string Token(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == '~')
      out += "~0";
    else if (c == '/')
      out += "~1";
    else
      out += c;
  }
  return out;
}

std::string At(const std::string& pointer, std::string_view key) {
  return pointer + "/" + Token(key);
}

std::string At(const std::string& pointer, size_t index) {
  return pointer + "/" + std::to_string(index);
}

std::string Place(const std::string& pointer) {
  return pointer.empty() ? std::string("top level") : pointer;
}

std::string Quoted(std::string_view text) {
  return "\"" + Printable(text) + "\"";
}

std::string QuotedList(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names)
    out += (out.empty() ? "" : ", ") + Quoted(name);
  return out;
}

namespace {

void Escaped(const char* form, unsigned value, std::string& out) {
  char text[8];
  std::snprintf(text, sizeof text, form, value);
  out += text;
}

}  // namespace

void PrintableText::Put(char byte, std::string& out) {
  for (;;) {
    switch (decoder_.Put(byte)) {
      case Utf8Decoder::Step::NeedMore:
        return;
      case Utf8Decoder::Step::CutShort:  // its bytes are not UTF-8; the byte starts anew
        EscapeBytes(decoder_.Held(), out);
        continue;
      case Utf8Decoder::Step::Invalid:
        return EscapeBytes(decoder_.Held(), out);
      case Utf8Decoder::Step::Character:
        break;
    }
    const char32_t c = decoder_.Character();
    if (c < 0x80 ? (c < 0x20 && !(keepLines_ && (c == '\n' || c == '\t'))) || c == 0x7F : c <= 0x9F)
      Escaped("\\u%04x", static_cast<unsigned>(c), out);
    else
      out += decoder_.Held();
    return;
  }
}

void PrintableText::EscapeBytes(std::string_view bytes, std::string& out) {
  for (char b : bytes)
    Escaped("\\x%02x", static_cast<unsigned char>(b), out);
}

void PrintableText::Finish(std::string& out) {
  EscapeBytes(decoder_.Unfinished(), out);
  decoder_.Reset();
}

std::string Printable(std::string_view text, bool keepLines) {
  std::string out;
  out.reserve(text.size());
  PrintableText printable(keepLines);
  for (char c : text)
    printable.Put(c, out);
  printable.Finish(out);
  return out;
}

double WrittenValue(float value) {
  char buffer[32];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  double out = 0;
  std::from_chars(buffer, written.ptr, out);  // locale-free, unlike std::stod
  return out;
}

// The shortest digits of the double, laid out as JSON writers commonly lay out a double: a
// whole number up to 15 digits keeps ".0" (12.0), a fraction from 1e-4 is written out
// (0.0001), anything else is d.ddde+XX with at least two exponent digits. The double's
// shortest digits are those of the float's text with the zeros at either end left out (two
// decimals of at most nine digits are never as close as one step of a double), so the text
// is read straight from std::to_chars without going through the double.
char* FloatText(char* at, float value) {
  char* out = at;
  if (std::signbit(value)) *out++ = '-';
  if (value == 0) {
    std::memcpy(out, "0.0", 3);
    return out + 3;
  }
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(value));
  char digits[24];
  int count = 0;
  int point = 0;  // where the decimal point falls among the digits
  bool fraction = false;
  const char* c = text;
  for (; c != end && *c != 'e'; ++c) {
    if (*c == '.')
      fraction = true;
    else if (count == 0 && *c == '0')
      point -= fraction ? 1 : 0;
    else
      digits[count++] = *c, point += fraction ? 0 : 1;
  }
  while (digits[count - 1] == '0')
    --count;
  if (c != end) {
    int exponent = 0;
    std::from_chars(c + (c[1] == '+' ? 2 : 1), end, exponent);
    point += exponent;
  }
  const int exponent = point - 1;
  if (count <= point && point <= 15) {
    std::memcpy(out, digits, static_cast<size_t>(count));
    std::memset(out + count, '0', static_cast<size_t>(point - count));
    std::memcpy(out + point, ".0", 2);
    return out + point + 2;
  }
  if (0 < point && point <= 15) {
    std::memcpy(out, digits, static_cast<size_t>(point));
    out[point] = '.';
    std::memcpy(out + point + 1, digits + point, static_cast<size_t>(count - point));
    return out + count + 1;
  }
  if (-4 < point && point <= 0) {
    std::memcpy(out, "0.", 2);
    std::memset(out + 2, '0', static_cast<size_t>(-point));
    std::memcpy(out + 2 - point, digits, static_cast<size_t>(count));
    return out + 2 - point + count;
  }
  *out++ = digits[0];
  if (count > 1) {
    *out++ = '.';
    std::memcpy(out, digits + 1, static_cast<size_t>(count - 1));
    out += count - 1;
  }
  *out++ = 'e';
  *out++ = exponent < 0 ? '-' : '+';
  const int magnitude = std::abs(exponent);
  if (magnitude < 10) *out++ = '0';
  return std::to_chars(out, out + 4, magnitude).ptr;
}

float ReadValue(double value) {
  if (std::fabs(value) > FLT_MAX) return value < 0 ? -FLT_MAX : FLT_MAX;
  float nearest = static_cast<float>(value);
  // A value that is a float exactly is that float: the text of a neighbour lies within half
  // a unit in the last place of the neighbour, never on this one.
  if (static_cast<double>(nearest) == value) return nearest;
  // The text of a float lies within the float's own rounding interval, and so does the double
  // it denotes, midpoints being doubles: only a double on the midpoint between two floats can
  // have come from the text of the one it does not round to. Anywhere else the nearest float
  // is the one, and no text needs writing again.
  // The float on the value's other side: one step of the bits away from zero, or towards it.
  const bool away = (value < nearest) == std::signbit(nearest);
  const float beyond =
      nearest == 0 ? std::copysign(std::numeric_limits<float>::denorm_min(), float(value))
                   : std::bit_cast<float>(std::bit_cast<uint32_t>(nearest) + (away ? 1u : ~0u));
  if (value != (static_cast<double>(nearest) + static_cast<double>(beyond)) / 2) return nearest;
  if (WrittenValue(nearest) == value) return nearest;
  for (float neighbour : {std::nextafter(nearest, -INFINITY), std::nextafter(nearest, INFINITY)})
    if (std::isfinite(neighbour) && WrittenValue(neighbour) == value) return neighbour;
  return nearest;  // not text this host wrote: the nearest float is right
}

bool SameBits(float a, float b) {
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

bool SameBits(Vec3 a, Vec3 b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

}  // namespace vlm::host::scene_text
