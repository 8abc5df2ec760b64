// vlmhost run: one plug-in run on a scene, with scripted or windowed dialogs.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "exchange/model_reader_process.h"

namespace vlm {
class DialogBackend;
class ProgressDisplay;
class RunContext;
class ScriptedDialogs;
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
  bool allowOutside = false;  // --allow-outside: ...also those outside the scene's folder
  bool fresh = false;         // --fresh: no remembered settings read, none stored
  std::shared_ptr<ProgressDisplay> progress;        // the progress bar on a terminal, or none
  std::optional<std::filesystem::path> reportFile;  // --report FILE.json ("-": standard output)
  CommandReport* report = nullptr;  // told the plug-in, the scene before and after, the files
  bool sceneKept = false;  // the caller keeps the scene in memory (the workbench): no file for it
  ReaderLimits limits;     // --max-memory, --timeout: the reader of a model given as the scene
  // The embedded textures of a model given as the scene: written beside the scene the run
  // writes, and copied from memory for --copy-textures.
  const std::vector<EmbeddedTexture>* modelTextures = nullptr;
  bool sceneIsModel = false;  // the scene was imported from a model: an exporter given no
                              // selection exports its top group
};

// Prints to `out` (results, message boxes, log lines) and `err` (problems) and returns the
// exit status. A scene of "-" is read from standard input; a model (any file but a scene's
// .json) is imported in memory as `vlmhost import` reads it, and only -o writes its scene; `run -o
// -` writes the scene to `out` and the transcript to `err`. The run has a context of its own
// (vlm/run_context.h): nothing an earlier run in the process left behind reaches it.
int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err);

// Sets a new run's context as the options ask: warnings to `err`, fresh settings or the user's
// (held until the run has written its files: DocumentRun::Commit and Finish store them),
// the progress display, and whether the textures the exports name are copied beside them.
void ConfigureRunContext(RunContext& context, const RunOptions& options, std::ostream& err);

class HostDocument;
class RunOutputs;
struct Contract;
struct RunResult;

// The part of a run that `vlmhost run`, the workbench and the batch runner share: a plug-in
// run on a document in memory with the selection, dialogs and inputs `options` give (reading
// the scene is the caller's), its outcome judged and its files staged. The caller makes the
// run's context, sets where its warnings go and installs it (RunContext::Scope) for as long as
// the DocumentRun lives; the document outlives it.
class DocumentRun {
 public:
  DocumentRun(const RunOptions& options, RunContext& context);
  ~DocumentRun();
  DocumentRun(const DocumentRun&) = delete;
  DocumentRun& operator=(const DocumentRun&) = delete;

  // Applies the selections, reads the dialog script, makes the plug-in and checks the
  // arguments and the output locations (the first fault reported on `err`: ExitBadInput);
  // then calls the plug-in with its transcript on `log` and judges the outcome. ExitOk lets
  // Commit write the run's files; any other status is reported on `err`, and the document may
  // then hold part of what the plug-in did: the caller drops it.
  int Run(HostDocument& document, std::ostream& log, std::ostream& err);
  // After Run gave ExitOk: writes the run's files (the scene too where `options` name one),
  // all or none, and says what was written on `log`. ExitOk, or ExitRunFailed on `err`.
  int Commit(const HostDocument& document, std::ostream& log, std::ostream& out, std::ostream& err);
  // Commit in two halves (RunOutputs::Stage and Finish): the batch runner stages the files of
  // every run of a job before it renames any, so a job writes all its files or none.
  int Stage(const HostDocument& document, std::ostream& err);
  int Finish(std::ostream& log, std::ostream& out, std::ostream& err);

  // What the plug-in produced (valid once Run has called it), and the files a successful
  // Commit wrote, in order ("-" for the scene on standard output).
  const RunResult& Result() const { return *result_; }
  const std::vector<std::filesystem::path>& Committed() const;

 private:
  int Remember(int status, std::ostream& err);

  const RunOptions& options_;
  RunContext& context_;
  // Destroyed in reverse order: the staged files first, the back-end, then the plug-in.
  std::unique_ptr<Contract> contract_;
  std::shared_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<RunResult> result_;
  std::unique_ptr<RunOutputs> outputs_;
};

// vlm::Error for dialog options that cannot go together (--ui with --ui-file, --gui with a
// script or --save-pictures).
void CheckDialogOptions(const RunOptions& options);

}  // namespace vlm::host
