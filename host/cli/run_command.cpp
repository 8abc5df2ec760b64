// vlmhost run: everything that can be wrong with the input and every place an output goes is
// checked first; then the plug-in runs in the run's context, its outcome is judged and only a
// successful run writes its files.
#include "cli/run_command.h"

#include <memory>
#include <ostream>

#include "cli/command_report.h"
#include "cli/printing.h"
#include "cli/run_dialogs.h"
#include "cli/run_outputs.h"
#include "cli/runners.h"
#include "cli/scene_argument.h"
#include "cli/selections.h"
#include "scene/document.h"
#include "scene/paths.h"
#include "vlm/error.h"
#include "vlm/run_context.h"

namespace vlm::host {
namespace {

int Report(std::ostream& err, const std::string& prefix, const std::string& text, int status) {
  err << prefix << text << "\n";
  return status;
}

// The outcome of a run the plug-in has finished, in the order the rules apply; ExitOk lets
// its outputs be written.
int JudgeRun(const RunResult& result, const ScriptedDialogs& dialogs, const RunOutputs& outputs,
             RunContext& context, const std::string& progId, std::ostream& err) {
  if (result.badInput) return Report(err, "error: ", *result.badInput, ExitBadInput);
  // A fault of the script is the user's input, even when the plug-in caught it or failed on it.
  if (dialogs.Failure()) return Report(err, "error: ", *dialogs.Failure(), ExitBadInput);
  // A plug-in that ran out of memory was given more than this machine holds: bad input.
  if (result.failed)
    return Report(
        err,
        "error: ", progId + " failed with " + DescribeStatus(*result.failed, context.LastError()),
        *result.failed == StatusFromError(err::OutOfMemory) ? ExitBadInput : ExitRunFailed);
  for (const DialogAction& action : dialogs.Remaining())
    err << "warning: the action \"" << action.text << "\" was not used\n";
  // An export whose every attempt failed is a failed run, though its dialog closed normally.
  if (result.exports && !outputs.WriteFailures().empty() && outputs.NothingStaged()) {
    for (const std::string& failure : outputs.WriteFailures())
      err << "error: " << failure << "\n";
    return ExitRunFailed;
  }
  // An error the plug-in reported in its own message box: the run failed, whatever it changed.
  if (const auto& failure = context.RunFailure())
    return Report(err, "error: ", progId + ": " + TerminalText(*failure), ExitRunFailed);
  if (const auto& reason = context.NothingDoneReason(); reason && outputs.NothingStaged())
    return Report(err, "nothing done: ", TerminalText(*reason), ExitNothingDone);
  return ExitOk;
}

}  // namespace

void CheckDialogOptions(const RunOptions& options) {
  if (options.ui && options.uiFile)
    Raise(err::InvalidProcedureCall, "give either --ui or --ui-file, not both");
  if (options.windows && (options.ui || options.uiFile || options.savePictures))
    Raise(err::InvalidProcedureCall,
          "--gui shows the dialogs to a person: give no --ui, --ui-file or --save-pictures");
}

DocumentRun::DocumentRun(const RunOptions& options, RunContext& context)
    : options_(options), context_(context) {}

DocumentRun::~DocumentRun() = default;

int DocumentRun::Run(HostDocument& document, std::ostream& log, std::ostream& err) {
  try {
    CheckDialogOptions(options_);
    ApplySelections(document, options_.selections);
    dialogs_ = ChooseDialogBackend(options_);
    contract_ = std::make_unique<Contract>(FindContract(options_.progId));
    CheckArgumentsFor(*contract_, options_);
    // A model comes in as one top group: with nothing selected, that is what an export takes.
    if (contract_->exporter && options_.sceneIsModel && options_.selections.empty() &&
        document.Root().children.size() == 1)
      ApplySelections(document, {"group:" + PathSegment(document.Root().children[0]->name, 1)});
    CheckOutputLocations(options_, contract_->exporter != nullptr);
  } catch (const SelectsNothing& e) {
    return Report(err, "nothing done: ", e.Description(), ExitNothingDone);
  } catch (const Error& e) {
    return Report(err, "error: ", e.Description(), ExitBadInput);
  }
  if (options_.report) options_.report->Before(document);
  dialogs_->SetObserver([&log](const TranscriptEntry& e) { PrintEntry(log, e); });
  context_.SetDialogBackend(options_.windows ? options_.windows : dialogs_);
  outputs_ = std::make_unique<RunOutputs>(options_, contract_->exporter != nullptr, context_);
  outputs_->CollectPictures(*dialogs_);
  result_ = std::make_unique<RunResult>(host::Run(*contract_, document, options_, context_, log));
  return JudgeRun(*result_, *dialogs_, *outputs_, context_, options_.progId, err);
}

int DocumentRun::Commit(const HostDocument& document, std::ostream& log, std::ostream& out,
                        std::ostream& err) {
  return Remember(outputs_->Commit(*result_, document, log, out, err), err);
}

int DocumentRun::Stage(const HostDocument& document, std::ostream& err) {
  return outputs_->Stage(*result_, document, err);
}

int DocumentRun::Finish(std::ostream& log, std::ostream& out, std::ostream& err) {
  return Remember(outputs_->Finish(*result_, log, out, err), err);
}

// Only a run whose files are in place remembers what its dialogs saved; the files stay when
// the settings cannot be written.
int DocumentRun::Remember(int status, std::ostream& err) {
  if (status != ExitOk) return status;
  try {
    context_.StoreHeldSettings();
  } catch (const Error& e) {
    err << "warning: the run's settings were not remembered: " << e.Description() << "\n";
  }
  return status;
}

const std::vector<std::filesystem::path>& DocumentRun::Committed() const {
  return outputs_->Committed();
}

void ConfigureRunContext(RunContext& context, const RunOptions& options, std::ostream& err) {
  context.SetWarningSink([&err](const std::string& m) { err << "warning: " << m << "\n"; });
  context.UseFreshSettings(options.fresh);
  context.HoldSettings(true);
  context.SetProgressDisplay(options.progress);
  context.SetCopyNamedFiles(options.copyTextures);
}

int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err) {
  std::ostream none(nullptr);
  std::ostream& log = options.quiet ? none : TranscriptToStandardError(options) ? err : out;
  // Everything the run shares with the plug-in, made new for this run and installed once, for
  // the whole run: the scene read, the plug-in made and called, the outcome judged.
  RunContext context;
  ConfigureRunContext(context, options, err);
  RunContext::Scope scope(context);
  ImportedModel scene;
  try {
    CheckDialogOptions(options);
    scene = LoadSceneOrModel(options.scene, options.limits);
  } catch (const Error& e) {
    return Report(err, "error: ", e.Description(), ExitBadInput);
  }
  WarnOfImport(scene, err);
  const std::unique_ptr<HostDocument>& document = scene.document;
  RunOptions withTextures = options;
  withTextures.modelTextures = &scene.textures;
  withTextures.sceneIsModel = IsModelArgument(options.scene);
  DocumentRun run(withTextures, context);
  if (int status = run.Run(*document, log, err); status != ExitOk) return status;
  int status = run.Commit(*document, log, out, err);
  if (status == ExitOk && options.report) {
    options.report->After(*document);
    for (const auto& file : run.Committed())
      options.report->Wrote(file);
  }
  return status;
}

}  // namespace vlm::host
