// A plug-in that refuses its input (an unsuitable selection, nothing to export) ends its run
// with its own message box and changes nothing; the host then reports "nothing done".
#pragma once

#include <string>

#include "vlm/forms.h"

namespace vlm {

// Shows the message box as MsgBox does and notes the run as nothing done, with the prompt as
// the reason.
void RefuseRun(const std::string& prompt, int buttons = mb::OKOnly, const std::string& title = {});

}  // namespace vlm
