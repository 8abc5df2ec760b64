#include "trackline/texts.h"

#include <cmath>

#include "trackline/igs_records.h"
#include "vlm/text.h"

namespace vlm::igs {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

namespace {
[[noreturn]] void Stop(std::string_view text, std::string_view item, const char* problem) {
  throw ExportStopped(NumberIn(text) ? err::Overflow : err::TypeMismatch,
                      std::string(item) + " \"" + std::string(text) + "\" " + problem + ".");
}
}  // namespace

int32_t ReadInteger(std::string_view text, std::string_view item) {
  if (const char* problem = IntegerProblem(text)) Stop(text, item, problem);
  return static_cast<int32_t>(std::nearbyint(*NumberIn(text)));  // halves to even
}

float ReadFloat(std::string_view text, std::string_view item) {
  if (const char* problem = FloatProblem(text)) Stop(text, item, problem);
  return static_cast<float>(*NumberIn(text));
}

}  // namespace vlm::igs
