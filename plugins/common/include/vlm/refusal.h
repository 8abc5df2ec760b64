// How a plug-in ends a run that did not do its job: it refuses its input (an unsuitable
// selection, nothing to export) and changes nothing, and the host reports "nothing done"; or
// its error handler reports an error in a message box, and the host reports a failed run.
#pragma once

#include <string>

#include "vlm/error.h"
#include "vlm/forms.h"

namespace vlm {

// Shows the message box as MsgBox does and notes the run as nothing done, with the prompt as
// the reason.
void RefuseRun(const std::string& prompt, int buttons = mb::OKOnly, const std::string& title = {});
// An operation shows no message box of its own: notes the run as nothing done, with `reason`
// for the host to show.
void RefuseOperation(const std::string& reason);
// Shows the error handler's message box and notes the run as failed with `error`.
void ReportRunError(const Error& error, const std::string& prompt, int buttons,
                    const std::string& title = {});

}  // namespace vlm
