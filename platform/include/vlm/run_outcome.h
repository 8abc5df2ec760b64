// What a plug-in tells the host about a run that returns success without doing its job, kept
// in the run context installed (vlm/run_context.h).
#pragma once

#include <optional>
#include <string>

namespace vlm {

// The plug-in refused its input (an unsuitable selection, nothing to export) with its own
// message and changed nothing. The host reports such a run as "nothing done".
void NoteNothingDone(std::string reason);
// The reason noted in this run since the last ClearRunOutcome, if any.
std::optional<std::string> NothingDoneReason();

// The plug-in met an error, reported it in its own message box and returned success, as its
// error handler does. The host reports such a run as failed and keeps none of its changes.
void NoteRunFailed(std::string description);
std::optional<std::string> RunFailure();
void ClearRunOutcome();

}  // namespace vlm
