// The runners of `vlmhost run`, one for each contract a plug-in offers: tool, exporter and
// operation. Each calls the plug-in and says what the run produced; the caller judges the
// outcome and writes the outputs.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "vlm/component.h"
#include "vlm/contracts/import_export.h"
#include "vlm/contracts/operation.h"
#include "vlm/contracts/plugin.h"
#include "vlm/error.h"

namespace vlm {
class RunContext;
}

namespace vlm::host {

class HostDocument;
struct RunRequest;

// The class behind a programmatic identifier and the one contract it is run by.
struct Contract {
  Instance instance;
  Plugin* tool = nullptr;
  PluginImportExport* exporter = nullptr;
  Operation* operation = nullptr;
};

// Creates the class; vlm::Error when it cannot be made or offers none of the contracts.
Contract FindContract(const std::string& progId);

// vlm::Error when the arguments do not suit the contract: --param for anything but an
// operation, an exporter without an export file.
void CheckArgumentsFor(const Contract& contract, const RunRequest& options);

// What one run produced.
struct RunResult {
  std::optional<Status> failed;         // the member called returned this failed status
  std::optional<std::string> badInput;  // the run's own arguments were wrong (a --param)
  bool exports = false;                 // the plug-in writes exports: they decide the outcome
  bool savesScene = false;              // the scene is an output of the run...
  std::optional<std::filesystem::path> sceneTarget;  // ...saved here when the user named a place
};

RunResult RunTool(Plugin& tool, HostDocument& document, const RunRequest& options);
RunResult RunExporter(PluginImportExport& exporter, HostDocument& document,
                      const RunRequest& options);
// Prints the parameters it runs with (with those the run's context remembered) and the result
// the operation returns on `log`.
RunResult RunOperation(Operation& operation, HostDocument& document, const RunRequest& options,
                       RunContext& context, std::ostream& log);
// vlm::Error when a preparation step is unknown, its options do not suit it, or the request
// asks what only a plug-in takes (dialog input, --param, --copy-textures).
void CheckPrepRequest(const RunRequest& options);
// A preparation step in place of a plug-in: a value it cannot take is bad input, nothing to
// do is noted on the context (nothing done). Its transcript goes to `log`, its warnings to the
// context.
RunResult RunPrep(HostDocument& document, const RunRequest& options, RunContext& context,
                  std::ostream& log);
// The runner of the contract, called in the run's context (installed).
RunResult Run(const Contract& contract, HostDocument& document, const RunRequest& options,
              RunContext& context, std::ostream& log);

}  // namespace vlm::host
