// What a run came to, for its front-end to show: the command line turns the kind into an exit
// status and prints the lines, the workbench logs them, a batch job keeps them in its status.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scene/scene_diff.h"

namespace vlm::host {

enum class RunKind { Done, NothingDone, BadInput, Failed };

// "done", "nothing done", "refused: bad input", "failed".
const char* KindText(RunKind kind);
// The kind a run step's status stands for, and back (run/exit_status.h).
RunKind KindOfStatus(int status);
int StatusOf(RunKind kind);

// A line for the user beside the transcript, in the order the run said it.
struct RunMessage {
  enum class Level { Warning, Error, NothingDone };
  Level level = Level::Error;
  std::string text;  // without its "warning: " / "error: " / "nothing done: "

  // The line as the terminal shows it: "warning: ...".
  std::string Line() const;
};

struct RunOutcome {
  RunKind kind = RunKind::Done;
  std::vector<RunMessage> messages;
  std::vector<std::string> log;              // the transcript, line by line
  std::vector<std::filesystem::path> files;  // written, in order ("-": standard output)
  std::optional<SceneDiff> items;            // made, changed, removed (when asked for)

  bool Done() const { return kind == RunKind::Done; }
  std::vector<std::string> Warnings() const;
};

// Where a front-end shows a run's lines as the run says them: the transcript's, and the
// messages' as the terminal shows them (a message of several lines gives each). Either may be
// empty: the outcome keeps every line all the same.
struct RunEcho {
  std::function<void(const std::string& line)> log;
  std::function<void(const std::string& line)> message;
};

}  // namespace vlm::host
