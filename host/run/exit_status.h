// How a run ends, as a number: vlmhost's commands exit with it, and the run layer's steps
// return it to each other before it becomes a RunOutcome's kind.
#pragma once

namespace vlm::host {

inline constexpr int ExitOk = 0;
inline constexpr int ExitRunFailed = 1;    // the plug-in returned a failed status
inline constexpr int ExitBadInput = 2;     // a bad scene file, selection, script or argument,
                                           // or an output that cannot be written
inline constexpr int ExitNothingDone = 3;  // the plug-in refused its input, changed nothing

}  // namespace vlm::host
