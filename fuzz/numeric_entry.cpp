// The numeric dialog's field readers: nothing raises but the plain conversions, and then only
// a type mismatch or an overflow; a tidied field reads as it showed, and tidying it again
// changes nothing; a field's number text reads back as the same float.
#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "vlm/error.h"
#include "vlm/numeric_dialog.h"

namespace {

using vlm::fuzz::Check;

void CheckConversion(const char* what, const auto& convert) {
  try {
    convert();
  } catch (const vlm::Error& e) {
    Check(e.Number() == 13 || e.Number() == 6, what, e.Description());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = vlm::fuzz::Text(data, size);
  // The scene's unit scale from the input's first bytes; 1 (metres) when they are not a
  // usable scale.
  float scale = 1;
  std::memcpy(&scale, data, std::min(size, sizeof scale));
  if (!std::isfinite(scale) || scale <= 0) scale = 1;

  Check(std::isfinite(vlm::xCsng(text)), "the leading-number reader gives a number");
  for (float sscale : {1.0f, scale}) {
    const float value = vlm::fnVal(text, sscale);
    Check(std::isfinite(value), "a field reads as a number", text);
    const std::string tidied = vlm::NumberText(value);
    const float again = vlm::fnVal(tidied, sscale);
    Check(again == value, "a tidied field reads as it showed", tidied);
    Check(vlm::NumberText(again) == tidied, "tidying a tidied field changes nothing", tidied);
    Check(vlm::ToSingle(tidied) == value, "a tidied field converts to its value", tidied);
  }
  CheckConversion("a text converts to a float or is a mismatch or overflow",
                  [&] { vlm::ToSingle(text); });
  CheckConversion("a text converts to an integer or is a mismatch or overflow",
                  [&] { vlm::ToInteger(text); });
  return 0;
}
