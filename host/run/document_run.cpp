// A run checks everything that can be wrong with its input and every place an output goes
// first; then the plug-in runs in the run's context, its outcome is judged and only a
// successful run writes its files.
#include "run/document_run.h"

#include <ostream>

#include "run/exit_status.h"
#include "run/printing.h"
#include "run/run_dialogs.h"
#include "run/run_outputs.h"
#include "run/runners.h"
#include "run/selections.h"
#include "scene/document.h"
#include "scene/paths.h"
#include "scene/scene_file.h"
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

// The level of a message line, and its text without the prefix; a line without one goes on
// the message before it.
std::optional<RunMessage> MessageOf(const std::string& line) {
  for (auto [prefix, level] : {std::pair{"warning: ", RunMessage::Level::Warning},
                               std::pair{"error: ", RunMessage::Level::Error},
                               std::pair{"nothing done: ", RunMessage::Level::NothingDone}})
    if (line.starts_with(prefix)) return RunMessage{level, line.substr(std::string(prefix).size())};
  return std::nullopt;
}

}  // namespace

DocumentRun::DocumentRun(const RunRequest& request, RunContext& context, RunScene scene,
                         RunEcho echo, RunReport* report)
    : request_(request),
      context_(context),
      scene_(scene),
      echo_(std::move(echo)),
      report_(report),
      log_([this](std::string line) {
        if (echo_.log) echo_.log(line);
        outcome_.log.push_back(std::move(line));
      }),
      err_([this](std::string line) { Take(std::move(line)); }) {
  context_.SetWarningSink([this](const std::string& m) { err_ << "warning: " << m << "\n"; });
}

// Warnings after the run (there are none) would go to standard error.
DocumentRun::~DocumentRun() {
  context_.SetWarningSink(nullptr);
}

void DocumentRun::Take(std::string line) {
  if (echo_.message) echo_.message(line);
  if (auto message = MessageOf(line))
    outcome_.messages.push_back(std::move(*message));
  else if (!outcome_.messages.empty())
    outcome_.messages.back().text += "\n" + line;
  else
    outcome_.messages.push_back({RunMessage::Level::Error, std::move(line)});
}

void DocumentRun::Configure(RunContext& context, const RunRequest& request) {
  context.UseFreshSettings(request.fresh);
  context.HoldSettings(true);
  context.SetCopyNamedFiles(request.copyTextures);
}

int DocumentRun::Prepare(HostDocument& document) {
  try {
    CheckDialogInput(request_);
    ApplySelections(document, request_.selections);
    dialogs_ = ChooseDialogBackend(request_);
    if (request_.IsPrep()) {
      CheckPrepRequest(request_);
      CheckOutputLocations(request_, false, report_);
      return ExitOk;
    }
    contract_ = std::make_unique<Contract>(FindContract(request_.progId));
    CheckArgumentsFor(*contract_, request_);
    // A model comes in as one top group: with nothing selected, that is what an export takes.
    if (contract_->exporter && scene_.isModel && request_.selections.empty() &&
        document.Root().children.size() == 1)
      ApplySelections(document, {"group:" + PathSegment(document.Root().children[0]->name, 1)});
    CheckOutputLocations(request_, contract_->exporter != nullptr, report_);
  } catch (const SelectsNothing& e) {
    return Report(err_, "nothing done: ", e.Description(), ExitNothingDone);
  } catch (const Error& e) {
    return Report(err_, "error: ", e.Description(), ExitBadInput);
  }
  return ExitOk;
}

const RunOutcome& DocumentRun::Run(HostDocument& document) {
  if (int status = Prepare(document); status != ExitOk) return Judge(status);
  if (report_) report_->Before(document);
  if (scene_.listItems) before_ = SerializeScene(document, "the scene before the run");
  dialogs_->SetObserver([this](const TranscriptEntry& e) { PrintEntry(log_, e); });
  context_.SetDialogBackend(request_.windows ? request_.windows : dialogs_);
  const bool exporter = contract_ && contract_->exporter;
  outputs_ = std::make_unique<RunOutputs>(request_, scene_, report_, exporter, context_);
  outputs_->CollectPictures(*dialogs_);
  result_ = std::make_unique<RunResult>(
      contract_ ? host::Run(*contract_, document, request_, context_, log_)
                : RunPrep(document, request_, context_, log_));
  const std::string& name = request_.IsPrep() ? request_.prepStep : request_.progId;
  return Judge(JudgeRun(*result_, *dialogs_, *outputs_, context_, name, err_));
}

const RunOutcome& DocumentRun::Commit(const HostDocument& document, std::ostream& data) {
  const int status = Remember(outputs_->Commit(*result_, document, log_, data, err_));
  if (status == ExitOk && scene_.listItems)
    outcome_.items = DiffDocuments(before_, document, "the scene before the run");
  return Judge(status);
}

const RunOutcome& DocumentRun::Stage(const HostDocument& document) {
  return Judge(outputs_->Stage(*result_, document, err_));
}

const RunOutcome& DocumentRun::Finish(std::ostream& data) {
  return Judge(Remember(outputs_->Finish(*result_, log_, data, err_)));
}

const RunOutcome& DocumentRun::Judge(int status) {
  log_.flush();
  err_.flush();
  outcome_.kind = KindOfStatus(status);
  if (outputs_) outcome_.files = outputs_->Committed();
  return outcome_;
}

// Only a run whose files are in place remembers what its dialogs saved; the files stay when
// the settings cannot be written.
int DocumentRun::Remember(int status) {
  if (status != ExitOk) return status;
  try {
    context_.StoreHeldSettings();
  } catch (const Error& e) {
    err_ << "warning: the run's settings were not remembered: " << e.Description() << "\n";
  }
  return status;
}

}  // namespace vlm::host
