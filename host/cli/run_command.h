// vlmhost run: one plug-in run on a scene file or a model, with scripted or windowed dialogs.
// The command line's side of the run: it reads the scene, asks the run layer for the run and
// turns its outcome into what the terminal shows and the exit status.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "cli/command.h"
#include "exchange/model_reader_process.h"
#include "run/run_request.h"

namespace vlm {
class DialogBackend;
class ProgressDisplay;
}  // namespace vlm

namespace vlm::host {

class CommandReport;

// What `vlmhost run` adds to the request: how the terminal shows the run.
struct RunCommandLine {
  RunRequest request;
  bool quiet = false;                         // no transcript, no progress bar
  bool gui = false;                           // the dialogs as windows
  ReaderLimits limits;                        // the reader of a model given as the scene
  std::shared_ptr<ProgressDisplay> progress;  // the progress bar on a terminal, or none
};

// The windows --gui shows the plug-in's dialogs in, or vlm::Error saying why there are none.
using WindowsMaker = std::function<std::shared_ptr<DialogBackend>(const std::string& progId)>;

// Adds `run` to the command line; `windows` makes the dialogs' windows for --gui.
CommandAction AddRunCommand(CLI::App& app, WindowsMaker windows);

// Prints to `out` (results, message boxes, log lines) and `err` (problems) and returns the
// exit status. A scene of "-" is read from standard input; a model (any file but a scene's
// .json) is imported in memory as `vlmhost import` reads it, and only -o writes its scene; `run -o
// -` writes the scene to `out` and the transcript to `err`. The run has a context of its own
// (vlm/run_context.h): nothing an earlier run in the process left behind reaches it.
int RunCommand(const RunCommandLine& line, std::ostream& out, std::ostream& err,
               CommandReport* report = nullptr);
// RunCommand with the request's --report written: what the run did, as JSON.
int RunCommandWithReport(RunCommandLine line);

}  // namespace vlm::host
