// vlmhost show: a scene file printed as a tree.
#pragma once

#include <filesystem>
#include <iosfwd>

#include "cli/exit_status.h"

namespace vlm::host {

// A scene of "-" is read from standard input. Prints to `out` (the tree) and `err` (problems)
// and returns the exit status.
int ShowCommand(const std::filesystem::path& scene, std::ostream& out, std::ostream& err);

}  // namespace vlm::host
