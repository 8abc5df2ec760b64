// vlmhost run: one plug-in run on a scene, with scripted or windowed dialogs.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_status.h"

namespace vlm {
class DialogBackend;
class ProgressDisplay;
}  // namespace vlm

namespace vlm::host {

class CommandReport;

struct RunOptions {
  std::string progId;
  std::filesystem::path scene;
  std::optional<std::filesystem::path> output;        // -o: the scene written (tools, operations)
                                                      // or the export file name (exporters)
  std::optional<std::filesystem::path> sceneOutput;   // --scene-out: the scene after an export
  std::vector<std::string> selections;                // kind:PATH[:i,j,...]
  std::optional<std::string> ui;                      // --ui ACTIONS
  std::optional<std::filesystem::path> uiFile;        // --ui-file FILE
  std::vector<std::string> params;                    // NAME=VALUE
  std::optional<std::filesystem::path> savePictures;  // --save-pictures DIR: drawing areas
  std::shared_ptr<DialogBackend> windows;             // --gui: the dialogs a person answers
  bool quiet = false;                                 // --quiet: no transcript, no progress bar
  bool copyTextures = false;  // --copy-textures: the textures the exports name go beside them
  bool fresh = false;         // --fresh: no remembered settings read, none stored
  std::shared_ptr<ProgressDisplay> progress;        // the progress bar on a terminal, or none
  std::optional<std::filesystem::path> reportFile;  // --report FILE.json ("-": standard output)
  CommandReport* report = nullptr;  // told the plug-in, the scene before and after, the files
};

// Prints to `out` (results, message boxes, log lines) and `err` (problems) and returns the
// exit status. A scene of "-" is read from standard input; `run -o -` writes the scene to
// `out` and the transcript to `err`. The run has a context of its own (vlm/run_context.h):
// nothing an earlier run in the process left behind reaches it.
int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vlm::host
