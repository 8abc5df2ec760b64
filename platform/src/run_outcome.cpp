#include "vlm/run_outcome.h"

namespace vlm {
namespace {
std::optional<std::string>& Reason() {
  static std::optional<std::string> reason;
  return reason;
}
std::optional<std::string>& Failure() {
  static std::optional<std::string> failure;
  return failure;
}
}  // namespace

void NoteNothingDone(std::string reason) {
  Reason() = std::move(reason);
}
std::optional<std::string> NothingDoneReason() {
  return Reason();
}
void NoteRunFailed(std::string description) {
  Failure() = std::move(description);
}
std::optional<std::string> RunFailure() {
  return Failure();
}
void ClearRunOutcome() {
  Reason().reset();
  Failure().reset();
}

}  // namespace vlm
