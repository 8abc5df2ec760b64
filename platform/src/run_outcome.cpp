#include "vlm/run_outcome.h"

#include "vlm/run_context.h"

namespace vlm {

void NoteNothingDone(std::string reason) {
  RunContext::Current().NoteNothingDone(std::move(reason));
}
std::optional<std::string> NothingDoneReason() {
  return RunContext::Current().NothingDoneReason();
}
void NoteRunFailed(std::string description) {
  RunContext::Current().NoteRunFailed(std::move(description));
}
std::optional<std::string> RunFailure() {
  return RunContext::Current().RunFailure();
}
void ClearRunOutcome() {
  RunContext::Current().ClearRunOutcome();
}

}  // namespace vlm
