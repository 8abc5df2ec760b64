#include "scene/scene_text.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

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
  return "\"" + std::string(text) + "\"";
}

std::string QuotedList(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names)
    out += (out.empty() ? "" : ", ") + Quoted(name);
  return out;
}

double WrittenValue(float value) {
  char buffer[32];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  double out = 0;
  std::from_chars(buffer, written.ptr, out);  // locale-free, unlike std::stod
  return out;
}

char* FloatText(char* at, float value) {
  // The library's own digit generation, not the shortest: for a few doubles (the one of
  // 4.6733744e+21 is one) it gives more digits, and the text stays the library's.
  return nlohmann::detail::to_chars(at, at + kFloatRoom, WrittenValue(value));
}

float ReadValue(double value) {
  if (std::fabs(value) > FLT_MAX) return value < 0 ? -FLT_MAX : FLT_MAX;
  float nearest = static_cast<float>(value);
  // A value that is a float exactly is that float: the text of a neighbour lies within half
  // a unit in the last place of the neighbour, never on this one.
  if (static_cast<double>(nearest) == value) return nearest;
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
