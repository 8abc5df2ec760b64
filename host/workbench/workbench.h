// vlmhost gui [FILE]: the workbench window on a scene file or a model.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vlm::workbench {

struct WorkbenchOptions {
  std::optional<std::filesystem::path> file;     // a scene file, or a model it imports
  std::vector<std::string> selections;           // --select: what is picked to start with
  std::optional<std::filesystem::path> picture;  // --picture: the window drawn to a PNG file
};

// Opens the workbench and returns when it is closed: 0. With a picture, draws the window to it
// once the file is open and the selections are picked, and closes (1 when the file cannot be
// written). Without a display it says so on `err` and returns 2 at once, as for a FILE that
// does not exist or a selection that names nothing.
int WorkbenchCommand(const WorkbenchOptions& options, std::ostream& err);

}  // namespace vlm::workbench
