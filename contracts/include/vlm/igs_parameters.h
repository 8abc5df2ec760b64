// How the IGS exporter reads the numbers users write into material texts ("Alpha Pr" and the
// RailSimX parameters) and custom level node names, and which parameters it reads as whole
// numbers and which as floats; the host checks a scene with the same rules (vlmhost validate),
// so that every text the export would stop on is found before it.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "vlm/text.h"

namespace vlm::igs {

// The value of a decimal number written in a text ("12", " -3.5 ", "1e3"; "." is the decimal
// point whatever the locale), or nothing when the text is not a number.
inline std::optional<double> NumberIn(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // Only digits and a point may start the number ("inf" and "nan" are not numbers here).
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return negative ? -value : value;
}

// Why a text cannot be read as the whole number the export wants (rounded, halves to even),
// or nullptr when it can.
inline const char* IntegerProblem(std::string_view text) {
  const std::optional<double> value = NumberIn(text);
  if (!value) return "is not a number";
  const double rounded = std::nearbyint(*value);
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max()))
    return "is outside the range of a 32-bit integer";
  return nullptr;
}

// Why a text cannot be read as a 32-bit float, or nullptr when it can.
inline const char* FloatProblem(std::string_view text) {
  const std::optional<double> value = NumberIn(text);
  if (!value) return "is not a number";
  if (std::fabs(*value) > std::numeric_limits<float>::max())
    return "is outside the range of a 32-bit float";
  return nullptr;
}

// The RailSimX parameters of a material read as whole numbers and as floats.
inline constexpr std::array<const char*, 7> MaterialIntegers = {
    "zbias", "zbuffermode", "vismod", "viewfacing", "neverocclude", "TwoSided", "BackFacecull"};
inline constexpr std::array<const char*, 1> MaterialFloats = {"specularpower"};
// Those of texture stage n, each after "r" and n: r0filtermode, r1scrollu.
inline constexpr std::array<const char*, 5> StageIntegers = {"AnimateUV", "filtermode", "fps",
                                                             "frames", "ScrollUVs"};
inline constexpr std::array<const char*, 8> StageFloats = {
    "scrollu", "scrollv", "miplodbias", "arg0", "arg1", "arg2", "arg3", "arg4"};

}  // namespace vlm::igs
