#include "glazier/number_forms.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "vlm/error.h"
#include "vlm/text.h"

namespace vlm::glazier {
namespace {

// Shortest text of `value` with the given number of significant digits, exponent marked "E".
std::string General(double value, int digits) {
  if (value == 0) value = 0;  // no "-0"
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  for (char& c : text)
    if (c == 'e') c = 'E';
  return text;
}

// The shortest text that reads back as the very float, exponent marked "E".
std::string Shortest(float value) {
  if (value == 0) value = 0;  // no "-0"
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  for (char& c : text)
    if (c == 'e') c = 'E';
  return text;
}

// Reads a whole decimal number as a double; false unless every character is used.
bool ParseDouble(std::string_view text, double& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return false;
  double parsed = 0;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

}  // namespace

std::string FormatSingle(float value) {
  // Seven digits, as the runtime writes a Single; but a float too small to hold seven (below
  // 1.2E-38) may read back as one whose seven digits differ, and is then written as the
  // shortest text that reads back as itself, so that a value saved and read again keeps its text.
  const std::string seven = General(static_cast<double>(value), 7);
  float back = 0;
  if (ParseSingle(seven, back) && General(static_cast<double>(back), 7) != seven)
    return Shortest(value);
  return seven;
}

bool ParseSingle(std::string_view text, float& value) {
  double parsed = 0;
  if (!ParseDouble(text, parsed)) return false;
  if (std::fabs(parsed) > static_cast<double>(std::numeric_limits<float>::max())) return false;
  value = static_cast<float>(parsed);
  return true;
}

bool ParseInteger16(std::string_view text, int16_t& value) {
  double parsed = 0;
  if (!ParseDouble(text, parsed)) return false;
  const double rounded = std::nearbyint(parsed);  // ties to even
  if (rounded < -32768.0 || rounded > 32767.0) return false;
  value = static_cast<int16_t>(rounded);
  return true;
}

std::string formatReal(float value) {
  // The float's own seven digits first, so 0.3f is 0.3 and not 0.3000000119.
  double exact = 0;
  const std::string seven = FormatSingle(value);
  std::from_chars(seven.data(), seven.data() + seven.size(), exact, std::chars_format::general);
  char buffer[80];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, exact, std::chars_format::fixed, 7);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  while (text.size() > 1 && text.back() == '0' && text[text.size() - 2] != '.')
    text.pop_back();
  if (text == "-0.0") text = "0.0";
  return text;
}

std::string PrintNumber(int16_t value) {
  const std::string digits = std::to_string(value < 0 ? -static_cast<int>(value) : value);
  return (value < 0 ? "-" : " ") + digits + " ";
}

std::string PrintNumber(float value) {
  std::string digits = FormatSingle(std::fabs(value));
  if (digits.size() > 1 && digits[0] == '0' && digits[1] == '.') digits.erase(0, 1);
  return (value < 0 ? "-" : " ") + digits + " ";
}

int32_t ColorValue(float red, float green, float blue) {
  auto component = [](float c) -> int64_t { return CheckedInt32(static_cast<double>(c * 255.0f)); };
  const int64_t value = component(red) + 256 * component(green) + 65536 * component(blue);
  if (value < INT32_MIN || value > INT32_MAX) Raise(err::Overflow);
  return static_cast<int32_t>(value);
}

std::string FormatCaptionNumber(double value) {
  return General(value, 15);
}

}  // namespace vlm::glazier
