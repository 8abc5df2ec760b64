// The exit statuses of vlmhost's commands.
#pragma once

namespace vlm::host {

inline constexpr int ExitOk = 0;
inline constexpr int ExitRunFailed = 1;    // the plug-in returned a failed status
inline constexpr int ExitBadInput = 2;     // a bad scene file, selection, script or argument,
                                           // or an output that cannot be written
inline constexpr int ExitNothingDone = 3;  // the plug-in refused its input, changed nothing

}  // namespace vlm::host
