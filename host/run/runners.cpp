#include "run/runners.h"

#include <ostream>

#include "prep/prep_step.h"
#include "run/params.h"
#include "run/printing.h"
#include "run/run_outputs.h"
#include "run/run_request.h"
#include "run/scene_argument.h"
#include "scene/document.h"
#include "vlm/run_context.h"
#include "vlm/text.h"

namespace vlm::host {
namespace {

std::string KindOf(const Contract& contract) {
  return contract.tool ? "a tool" : contract.exporter ? "an exporter" : "an operation";
}

// The selected group (scripting or graph selection), else the root.
Node& ExportedGroup(HostDocument& document) {
  if (document.scriptingSelection.groups.size() == 1 && document.graphSelection.nodes.empty())
    return document.scriptingSelection.groups[0]->AsNode();
  if (document.graphSelection.nodes.size() == 1) return document.graphSelection.nodes[0]->AsNode();
  return document.Root().AsNode();
}

RunResult Failure(Status status) {
  RunResult result;
  result.failed = status;
  return result;
}

RunResult SceneChanged(const RunRequest& options) {
  RunResult result;
  result.savesScene = true;
  result.sceneTarget = options.output;
  return result;
}

void PrintParams(const std::vector<OperationParameter>& params, std::ostream& log) {
  for (const auto& p : params)
    log << "[parameter] " << p.Name << " = " << Number(p.Value) << "\n";
}

std::vector<float> Values(const std::vector<OperationParameter>& params) {
  std::vector<float> values;
  for (const auto& p : params)
    values.push_back(p.Value);
  return values;
}

}  // namespace

Contract FindContract(const std::string& progId) {
  Contract c;
  c.instance = CreateObject(progId);
  c.tool = c.instance.As<Plugin>(Plugin::InterfaceName);
  if (!c.tool) c.exporter = c.instance.As<PluginImportExport>(PluginImportExport::InterfaceName);
  if (!c.tool && !c.exporter) c.operation = c.instance.As<Operation>(Operation::InterfaceName);
  if (!c.tool && !c.exporter && !c.operation)
    Raise(err::InvalidProcedureCall,
          progId + " offers none of the interfaces Plugin, PluginImportExport, Operation");
  return c;
}

void CheckArgumentsFor(const Contract& contract, const RunRequest& options) {
  const std::string& id = options.progId;
  if (!contract.operation && !options.params.empty())
    Raise(err::InvalidProcedureCall,
          "--param applies to operations; " + id + " is " + KindOf(contract));
  if (!contract.exporter && options.copyTextures)
    Raise(err::InvalidProcedureCall,
          "--copy-textures applies to exporters; " + id + " is " + KindOf(contract));
  const bool sceneToStdout = SceneToStandardOutput(options);
  if (contract.exporter && (!options.output || sceneToStdout))
    Raise(err::InvalidProcedureCall,
          id + " is an exporter: give the export file with -o FILE" +
              (sceneToStdout ? " (\"-o -\" writes a scene to standard output)" : ""));
}

RunResult RunTool(Plugin& tool, HostDocument& document, const RunRequest& options) {
  Status s = tool.Plugin_Apply(&document, &document, 0, {}, {}, "");
  return Failed(s) ? Failure(s) : SceneChanged(options);
}

RunResult RunExporter(PluginImportExport& exporter, HostDocument& document,
                      const RunRequest& options) {
  Status s = exporter.PluginImportExport_Export(options.output->string(), &ExportedGroup(document),
                                                &document, nullptr, {}, {}, "");
  if (Failed(s)) return Failure(s);
  RunResult result;
  result.exports = true;
  result.savesScene = options.sceneOutput.has_value();
  result.sceneTarget = options.sceneOutput;
  return result;
}

RunResult RunOperation(Operation& operation, HostDocument& document, const RunRequest& options,
                       RunContext& context, std::ostream& log) {
  std::vector<OperationParameter> params;
  context.TakeRememberedSettings();
  Status s = operation.Operation_GetParameters(&document, 0, 1, params);
  if (Failed(s)) return Failure(s);
  // The parameters an earlier run left in the settings, as a dialog's remembered values.
  for (const RememberedSetting& remembered : context.TakeRememberedSettings())
    log << "[remembered] " << remembered.key << " = " << ScriptQuoted(remembered.value) << "\n";
  try {
    ApplyParams(params, options.params, options.progId);
  } catch (const Error& e) {
    RunResult result;
    result.badInput = e.Description();
    return result;
  }
  PrintParams(params, log);
  int16_t processedAll = VbFalse;
  s = operation.Operation_Apply(&document, 0, 0, 0, {}, Values(params), {}, "", "", processedAll);
  if (Failed(s)) return Failure(s);
  log << "[result] "
      << (processedAll ? "every selected shape was processed" : "not every shape was processed")
      << "\n";
  return SceneChanged(options);
}

void CheckPrepRequest(const RunRequest& options) {
  const PrepStepInfo* step = FindPrepStep(options.prepStep);
  if (!step) {
    std::string list;
    for (const PrepStepInfo& s : PrepSteps())
      list += (list.empty() ? "" : ", ") + s.name;
    Raise(err::InvalidProcedureCall,
          "no preparation step \"" + options.prepStep + "\": the steps are " + list);
  }
  if (!options.params.empty() || options.copyTextures || options.ui || options.uiFile ||
      options.windows || options.savePictures)
    Raise(err::InvalidProcedureCall,
          options.prepStep +
              " is a preparation step: it takes no --param, --copy-textures or "
              "dialog input");
  try {
    CheckPrepOptions(*step, options.prepOptions);
  } catch (const PrepBadValue& e) {
    Raise(err::InvalidProcedureCall, options.prepStep + ": " + e.Description());
  }
}

RunResult RunPrep(HostDocument& document, const RunRequest& options, RunContext& context,
                  std::ostream& log) {
  try {
    const auto folder =
        IsStandardStream(options.scene) ? std::filesystem::path() : options.scene.parent_path();
    RunPrepStep(document, options.prepStep, options.prepOptions, folder, log,
                [&context](const std::string& warning) { context.Warn(warning); });
  } catch (const PrepBadValue& e) {
    RunResult result;
    result.badInput = options.prepStep + ": " + e.Description();
    return result;
  } catch (const PrepNothingToDo& e) {
    if (options.prepGoesOn) {
      // Said as a warning, so that a job's status and report carry it too.
      context.Warn(options.prepStep +
                   ": nothing to change, the scene goes on as it was: " + e.Description());
      return SceneChanged(options);
    }
    context.NoteNothingDone(options.prepStep + ": " + e.Description());
    return RunResult{};
  }
  return SceneChanged(options);
}

RunResult Run(const Contract& contract, HostDocument& document, const RunRequest& options,
              RunContext& context, std::ostream& log) {
  if (contract.tool) return RunTool(*contract.tool, document, options);
  if (contract.exporter) return RunExporter(*contract.exporter, document, options);
  return RunOperation(*contract.operation, document, options, context, log);
}

}  // namespace vlm::host
