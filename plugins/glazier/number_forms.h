// The number forms of the material editor, all with a fixed "." decimal point whatever the
// locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vlm::glazier {

// The material parameter string's form of a float: rounded to 7 significant digits, trailing
// zeros and a trailing point removed, an exponent ("1.234568E+07", "1E-05") only where seven
// digits cannot show the magnitude (0.9, 202, 0.3333333).
std::string FormatSingle(float value);

// Reads a float of the parameter string. False (value untouched) for text that is not a whole
// finite number in float range: empty text, "abc", "1.5x", "1e999". Blanks around the number
// and a leading "+" are accepted.
bool ParseSingle(std::string_view text, float& value);

// Reads a 16-bit flag: any number, rounded half to even, within -32768..32767.
bool ParseInteger16(std::string_view text, int16_t& value);

// "0.0######": at least one digit on each side of the point, at most seven after it
// (1 gives 1.0, 0.3 gives 0.3, 202 gives 202.0).
std::string formatReal(float value);

// The file-print form: a blank or "-", the digits with no zero before the point when the
// magnitude is below 1, then a blank (0 gives " 0 ", 0.1 gives " .1 ", -1 gives "-1 ").
std::string PrintNumber(int16_t value);
std::string PrintNumber(float value);

// The colour value R + 256 G + 65536 B of three components 0..1, each times 255 rounded half
// to even. vlm::Error (6) when the value leaves the 32-bit range.
int32_t ColorValue(float red, float green, float blue);

// A quotient shown in a caption: up to 15 significant digits, trailing zeros removed
// (0.3, 1, 12.5).
std::string FormatCaptionNumber(double value);

}  // namespace vlm::glazier
