// The commands of vlmhost, callable from main and from tests.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vlm {
class DialogBackend;
class ProgressDisplay;
}  // namespace vlm

namespace vlm::host {

class HostDocument;

// Exit statuses of vlmhost.
inline constexpr int ExitOk = 0;
inline constexpr int ExitRunFailed = 1;    // the plug-in returned a failed status
inline constexpr int ExitBadInput = 2;     // a bad scene file, selection, script or argument,
                                           // or an output that cannot be written
inline constexpr int ExitNothingDone = 3;  // the plug-in refused its input, changed nothing

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
  std::shared_ptr<ProgressDisplay> progress;  // the progress bar on a terminal, or none
};

// Each prints to `out` (results, message boxes, log lines) and `err` (problems) and returns
// the exit status.
int ListCommand(std::ostream& out, std::ostream& err);
int RegisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                    std::ostream& err);
int UnregisterCommand(const std::vector<std::filesystem::path>& libraries, std::ostream& out,
                      std::ostream& err);
int ShowCommand(const std::filesystem::path& scene, std::ostream& out, std::ostream& err);
// A scene of "-" is read from standard input; `run -o -` writes the scene to `out` and the
// transcript to `err`. The run has a context of its own (vlm/run_context.h): nothing an earlier
// run in the process left behind reaches it.
int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err);

// Replaces the document's selection by the given ones (group:PATH, object:PATH,
// faces:PATH:i,j, node:PATH, shape:PATH, polygons:PATH:i,j). vlm::Error naming the
// selection and what exists on a bad one.
void ApplySelections(HostDocument& document, const std::vector<std::string>& selections);

// The scene as a readable tree.
void PrintScene(const HostDocument& document, std::ostream& out);

}  // namespace vlm::host
