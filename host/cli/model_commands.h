// vlmhost import and vlmhost export-model: models in common formats in and out.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "exchange/model_reader_process.h"

namespace CLI {
class App;
}

namespace vlm {
class ProgressDisplay;
}

namespace vlm::host {

class CommandReport;

struct ModelCommandOptions {
  std::filesystem::path input;                  // the model (import) or the scene (export-model)
  std::optional<std::filesystem::path> output;  // -o: the scene ("-": standard output) or model
  std::string name;                             // --name: the top group
  float scale = 1.0f;                           // --scale
  bool quiet = false;                           // --quiet: no transcript, no progress bar
  bool allowOutside = false;  // --allow-outside: the model may name files outside its folder
  ReaderLimits limits;        // --max-memory, --timeout: the model's reader
  std::shared_ptr<ProgressDisplay> progress;        // the progress bar on a terminal, or none
  std::optional<std::filesystem::path> reportFile;  // --report FILE.json ("-": standard output)
  CommandReport* report = nullptr;                  // told the scene made and the files written
  // import: further OBJ8 files of the same export as MODEL (house.1.obj ...)
  std::vector<std::filesystem::path> moreInputs;
};

// Reads the model (in a child process under the limits) and writes the scene (by default MODEL's
// name with ".json", in the current folder) and the model's embedded textures beside it, all or
// nothing. Exit statuses as for run. Each command runs in a context of its own.
int ImportCommand(const ModelCommandOptions& options, std::ostream& out, std::ostream& err);
// Reads the scene (a file or "-", or a model imported in memory as ImportCommand reads it) and
// writes the model that -o names, with a model's embedded textures beside it.
int ExportModelCommand(const ModelCommandOptions& options, std::ostream& out, std::ostream& err);

// The two commands on the program's command line.
struct ModelCommands {
  CLI::App* import = nullptr;
  CLI::App* exportModel = nullptr;
  ModelCommandOptions options;
};
// Adds import and export-model to the command line.
CommandAction AddModelCommands(CLI::App& app);
// --max-memory and --timeout for the reader of a model a command reads.
void AddReaderLimitOptions(CLI::App& command, ReaderLimits& limits);
// The status of the one chosen; nothing when neither was.
std::optional<int> RunModelCommands(const ModelCommands& commands, std::ostream& out,
                                    std::ostream& err);

}  // namespace vlm::host
