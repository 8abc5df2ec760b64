// vlmhost show: a scene file printed as a tree, as JSON, or one object's faces.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/command.h"
#include "exchange/model_reader_process.h"
#include "run/exit_status.h"

namespace vlm::host {

struct ShowOptions {
  std::filesystem::path scene;       // "-": standard input
  bool json = false;                 // --json: the whole tree as JSON
  std::optional<std::string> faces;  // --faces PATH: the faces of that object
  ReaderLimits limits;  // --max-memory, --timeout: the reader of a model given as the scene
};

// Prints to `out` (the tree) and `err` (problems) and returns the exit status.
int ShowCommand(const ShowOptions& options, std::ostream& out, std::ostream& err);

CommandAction AddShowCommand(CLI::App& app);

}  // namespace vlm::host
