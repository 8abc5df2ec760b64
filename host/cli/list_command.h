// vlmhost list: the registered classes and what each states.
#pragma once

#include <iosfwd>

#include "run/exit_status.h"

namespace vlm::host {

// Prints to `out` (the classes) and `err` (problems) and returns the exit status.
int ListCommand(std::ostream& out, std::ostream& err);

}  // namespace vlm::host
