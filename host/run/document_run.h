// One plug-in run on a document in memory: what `vlmhost run`, the workbench and a batch job's
// steps all call. The request says what to run; the caller reads the scene, makes the run's
// context, sets its progress display and installs it (RunContext::Scope) for as long as the
// DocumentRun lives; the document outlives it. The run checks its inputs, calls the plug-in,
// judges the outcome and writes its files all or none.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "exchange/model_reader_process.h"
#include "run/line_stream.h"
#include "run/run_outcome.h"
#include "run/run_request.h"

namespace vlm {
class RunContext;
class ScriptedDialogs;
}  // namespace vlm

namespace vlm::host {

class HostDocument;
class RunOutputs;
struct Contract;
struct RunResult;

// The report a front-end asked for with the request's reportFile, staged with the run's other
// files: the front-end writes its text, the run decides whether it is written.
class RunReport {
 public:
  virtual ~RunReport() = default;
  // The document before the plug-in changed it.
  virtual void Before(const HostDocument& document) = 0;
  // The report of a run that is done: the document it produced, the files it writes and the
  // warnings and log lines it is still to say.
  virtual std::string DoneReport(const HostDocument& document,
                                 const std::vector<std::filesystem::path>& written,
                                 const std::vector<std::string>& warnings,
                                 const std::vector<std::string>& log) = 0;
  // The report file is another output of the run: none is written.
  virtual void Withhold() = 0;
};

// What the caller knows of the scene the run works on, beside the request.
struct RunScene {
  bool isModel = false;  // imported from a model: an exporter given no selection exports the
                         // model's top group
  // The model's embedded textures: written beside the scene the run writes, and copied from
  // memory for copyTextures.
  const std::vector<EmbeddedTexture>* modelTextures = nullptr;
  bool kept = false;       // the caller keeps the scene (the workbench): no word of saving it
  bool listItems = false;  // the outcome lists the items the run made, changed and removed
};

class DocumentRun {
 public:
  DocumentRun(const RunRequest& request, RunContext& context, RunScene scene = {},
              RunEcho echo = {}, RunReport* report = nullptr);
  ~DocumentRun();
  DocumentRun(const DocumentRun&) = delete;
  DocumentRun& operator=(const DocumentRun&) = delete;

  // Sets a new run's context as the request asks: warnings to the outcome, fresh settings or
  // the user's (held until the run's files are in place), and whether the textures the exports
  // name are copied beside them.
  static void Configure(RunContext& context, const RunRequest& request);

  // Applies the selections, reads the dialog script, makes the plug-in and checks the
  // arguments and the output locations (the first fault: bad input); then calls the plug-in
  // and judges the outcome. Done lets Commit write the run's files; after any other outcome
  // the document may hold part of what the plug-in did: the caller drops it.
  const RunOutcome& Run(HostDocument& document);
  // After Run was done: writes the run's files (the scene too where the request names one),
  // all or none; the scene for standard output goes to `data`.
  const RunOutcome& Commit(const HostDocument& document, std::ostream& data);
  // Commit in two halves: a batch job stages the files of every run before it renames any, so
  // a job writes all its files or none.
  const RunOutcome& Stage(const HostDocument& document);
  const RunOutcome& Finish(std::ostream& data);

  const RunOutcome& Outcome() const { return outcome_; }
  // What the plug-in produced (valid once Run has called it).
  const RunResult& Result() const { return *result_; }

 private:
  int Prepare(HostDocument& document);
  const RunOutcome& Judge(int status);
  int Remember(int status);
  void Take(std::string line);

  const RunRequest& request_;
  RunContext& context_;
  RunScene scene_;
  RunEcho echo_;
  RunReport* report_;
  RunOutcome outcome_;
  std::string before_;  // the scene text before the run, for the items it changed
  LineStream log_, err_;
  // Destroyed in reverse order: the staged files first, the back-end, then the plug-in.
  std::unique_ptr<Contract> contract_;
  std::shared_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<RunResult> result_;
  std::unique_ptr<RunOutputs> outputs_;
};

}  // namespace vlm::host
