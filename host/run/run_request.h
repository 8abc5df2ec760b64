// What one plug-in run is asked to do, whoever asks: the command line, the workbench or a
// batch job. A request names the plug-in, what it works on, how its dialogs are answered and
// where its files go; it holds nothing of the front-end that made it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vlm {
class DialogBackend;
}

namespace vlm::host {

struct RunRequest {
  std::string progId;
  // A preparation step (prep/prep_step.h) in place of a plug-in, progId then empty: the step's
  // name and its options, each NAME=VALUE as `vlmhost prep STEP` takes --NAME VALUE (a flag:
  // NAME alone).
  std::string prepStep;
  std::vector<std::string> prepOptions;
  // A preparation step that finds nothing to do is done, its scene as it was, with a line in
  // the log (a batch job's steps go on); else it is nothing done.
  bool prepGoesOn = false;
  // The scene or model the run reads, as the command line names it ("-": standard input);
  // relative texture names lead from its folder.
  std::filesystem::path scene;
  std::vector<std::string> selections;  // kind:PATH[:i,j,...]
  std::vector<std::string> params;      // an operation's NAME=VALUE
  // How the dialogs are answered: a script (its text, or a file holding it), a person at the
  // windows, or, with none of them, every dialog accepted as it opens.
  std::optional<std::string> ui;
  std::optional<std::filesystem::path> uiFile;
  std::shared_ptr<DialogBackend> windows;
  std::optional<std::filesystem::path> output;        // the scene written (tools, operations)
                                                      // or the export file (exporters)
  std::optional<std::filesystem::path> sceneOutput;   // the scene after an export
  std::optional<std::filesystem::path> savePictures;  // the dialogs' drawing areas, as SVG
  std::optional<std::filesystem::path> reportFile;    // the run's report (JSON; "-": standard
                                                      // output)
  bool copyTextures = false;  // the textures the exports name go beside them...
  bool allowOutside = false;  // ...also those outside the scene's folder
  bool fresh = false;         // no remembered settings read, none stored

  bool IsPrep() const { return !prepStep.empty(); }

  // The `vlmhost run` (or `vlmhost prep`) command that makes the same run, each argument one shell
  // word. `typed`: the dialog script a person's answers in the windows come to, given as --ui in
  // place of the windows ("": no dialog was answered, and none is asked for).
  std::string CommandLine(const std::optional<std::string>& typed = std::nullopt) const;
};

// vlm::Error for dialog inputs that cannot go together (a script text and a script file,
// windows with a script or pictures).
void CheckDialogInput(const RunRequest& request);

}  // namespace vlm::host
