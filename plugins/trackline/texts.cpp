#include "trackline/texts.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "trackline/igs_records.h"
#include "vlm/text.h"

namespace vlm::igs {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

std::optional<double> NumberIn(std::string_view text) {
  std::string_view s = vlm::Trim(text);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  // Only digits and a point may start the number ("inf" and "nan" are not numbers here).
  if (s.empty() || !((s[0] >= '0' && s[0] <= '9') || s[0] == '.')) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return negative ? -value : value;
}

int32_t ReadInteger(std::string_view text, std::string_view item) {
  std::optional<double> value = NumberIn(text);
  if (!value)
    throw ExportStopped(err::TypeMismatch,
                        std::string(item) + " \"" + std::string(text) + "\" is not a number.");
  const double rounded = std::nearbyint(*value);  // the default rounding: halves to even
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max()))
    throw ExportStopped(err::Overflow, std::string(item) + " \"" + std::string(text) +
                                           "\" is outside the range of a 32-bit integer.");
  return static_cast<int32_t>(rounded);
}

float ReadFloat(std::string_view text, std::string_view item) {
  std::optional<double> value = NumberIn(text);
  if (!value)
    throw ExportStopped(err::TypeMismatch,
                        std::string(item) + " \"" + std::string(text) + "\" is not a number.");
  if (std::fabs(*value) > std::numeric_limits<float>::max())
    throw ExportStopped(err::Overflow, std::string(item) + " \"" + std::string(text) +
                                           "\" is outside the range of a 32-bit float.");
  return static_cast<float>(*value);
}

}  // namespace vlm::igs
