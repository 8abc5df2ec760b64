// The number forms of the material editor: what is read writes back in a form that reads
// again to the same text, every finite float has a form that reads back, and nothing fails
// but a colour outside the 32-bit range.
#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "glazier/number_forms.h"
#include "vlm/error.h"

namespace {

using namespace vlm::glazier;
using vlm::fuzz::Check;

// A float's text reads back, and the float it reads as writes the same text.
void CheckSingle(float value) {
  const std::string text = FormatSingle(value);
  float back = 0;
  Check(ParseSingle(text, back), "a finite float's form reads back", text);
  Check(FormatSingle(back) == text, "a float's form is stable", text);
  const std::string real = formatReal(value);
  Check(ParseSingle(real, back), "a finite float's fixed form reads back", real);
  const std::string printed = PrintNumber(value);
  Check(printed.size() > 2 && printed.back() == ' ' && ParseSingle(printed.substr(1), back),
        "a printed float reads back", printed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = vlm::fuzz::Text(data, size);
  float value = 0;
  if (ParseSingle(text, value)) {
    Check(std::isfinite(value), "a float read is finite", text);
    CheckSingle(value);
  }
  int16_t flag = 0;
  if (ParseInteger16(text, flag)) {
    int16_t back = 0;
    Check(ParseInteger16(PrintNumber(flag), back) && back == flag, "a printed flag reads back",
          text);
  }

  // The input's first bytes as raw numbers, whatever their bits.
  float floats[3] = {};
  double number = 0;
  std::memcpy(floats, data, std::min(size, sizeof floats));
  std::memcpy(&number, data, std::min(size, sizeof number));
  for (float f : floats)
    if (std::isfinite(f)) CheckSingle(f);
  try {
    ColorValue(floats[0], floats[1], floats[2]);
  } catch (const vlm::Error& e) {
    Check(e.Number() == 6, "a colour out of range is an overflow", e.Description());
  }
  FormatCaptionNumber(number);
  return 0;
}
