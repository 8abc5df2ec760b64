// vlmhost inspect and vlmhost validate: what a file holds, and what would make an export of a
// scene fail or look wrong, without exporting.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "exchange/model_reader_process.h"

namespace CLI {
class App;
}

namespace vlm::host {

struct InspectOptions {
  std::filesystem::path file;  // OBJ8, IGS, a scene file ("-": standard input) or any model
  bool json = false;
  ReaderLimits limits;  // a model read by the exchange library
};
// Prints the counts, levels of detail, draw batches, textures, bounds, materials and (IGS) the
// margins to the format's limits. 0, or 2 for a file that cannot be read.
int InspectCommand(const InspectOptions& options, std::ostream& out, std::ostream& err);

struct ValidateOptions {
  std::filesystem::path scene;
  std::string format;  // "obj8" or "igs"
  std::vector<std::string> selections;
  bool json = false;
  ReaderLimits limits;  // a model given as the scene
};
// Prints the findings; 0 when none is an error, 2 when one is (or the scene or a selection
// cannot be read).
int ValidateCommand(const ValidateOptions& options, std::ostream& out, std::ostream& err);

// The two commands on the program's command line.
struct CheckCommands {
  CLI::App* inspect = nullptr;
  CLI::App* validate = nullptr;
  InspectOptions inspectOptions;
  ValidateOptions validateOptions;
};
// Adds inspect and validate to the command line.
CommandAction AddCheckCommands(CLI::App& app);
// The status of the one chosen; nothing when neither was.
std::optional<int> RunCheckCommands(const CheckCommands& commands, std::ostream& out,
                                    std::ostream& err);

}  // namespace vlm::host
