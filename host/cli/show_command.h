// vlmhost show: a scene file printed as a tree, as JSON, or one object's faces.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/exit_status.h"

namespace vlm::host {

struct ShowOptions {
  std::filesystem::path scene;       // "-": standard input
  bool json = false;                 // --json: the whole tree as JSON
  std::optional<std::string> faces;  // --faces PATH: the faces of that object
};

// Prints to `out` (the tree) and `err` (problems) and returns the exit status.
int ShowCommand(const ShowOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vlm::host
