#include "vlm/run_outcome.h"

namespace vlm {
namespace {
std::optional<std::string>& Reason() {
  static std::optional<std::string> reason;
  return reason;
}
}  // namespace

void NoteNothingDone(std::string reason) {
  Reason() = std::move(reason);
}
std::optional<std::string> NothingDoneReason() {
  return Reason();
}
void ClearRunOutcome() {
  Reason().reset();
}

}  // namespace vlm
