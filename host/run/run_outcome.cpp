#include "run/run_outcome.h"

#include "run/exit_status.h"

namespace vlm::host {

const char* KindText(RunKind kind) {
  switch (kind) {
    case RunKind::Done:
      return "done";
    case RunKind::NothingDone:
      return "nothing done";
    case RunKind::BadInput:
      return "refused: bad input";
    case RunKind::Failed:
      return "failed";
  }
  return "failed";
}

RunKind KindOfStatus(int status) {
  switch (status) {
    case ExitOk:
      return RunKind::Done;
    case ExitNothingDone:
      return RunKind::NothingDone;
    case ExitBadInput:
      return RunKind::BadInput;
    default:
      return RunKind::Failed;
  }
}

int StatusOf(RunKind kind) {
  switch (kind) {
    case RunKind::Done:
      return ExitOk;
    case RunKind::NothingDone:
      return ExitNothingDone;
    case RunKind::BadInput:
      return ExitBadInput;
    case RunKind::Failed:
      return ExitRunFailed;
  }
  return ExitRunFailed;
}

std::string RunMessage::Line() const {
  switch (level) {
    case Level::Warning:
      return "warning: " + text;
    case Level::NothingDone:
      return "nothing done: " + text;
    case Level::Error:
      return "error: " + text;
  }
  return text;
}

std::vector<std::string> RunOutcome::Warnings() const {
  std::vector<std::string> warnings;
  for (const RunMessage& m : messages)
    if (m.level == RunMessage::Level::Warning) warnings.push_back(m.text);
  return warnings;
}

}  // namespace vlm::host
