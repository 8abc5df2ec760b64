// What a plug-in tells the host about a run that returns success without doing its job.
#pragma once

#include <optional>
#include <string>

namespace vlm {

// The plug-in refused its input (an unsuitable selection, nothing to export) with its own
// message and changed nothing. The host reports such a run as "nothing done".
void NoteNothingDone(std::string reason);
// The reason noted since the last ClearRunOutcome, if any.
std::optional<std::string> NothingDoneReason();
void ClearRunOutcome();

}  // namespace vlm
