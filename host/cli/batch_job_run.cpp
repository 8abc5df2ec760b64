// vlmhost batch: what became of a job, and one job run with all its steps in this process.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <ctime>
#include <new>
#include <sstream>

#include "cli/batch_outcome.h"
#include "exchange/model_import.h"
#include "run/document_run.h"
#include "run/exit_status.h"
#include "run/plugin_names.h"
#include "run/selection_text.h"
#include "run/selections.h"
#include "scene/document.h"
#include "scene/paths.h"
#include "scene/scene_file.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/named_files.h"
#include "vlm/run_context.h"

namespace vlm::host::batch {
namespace {

namespace fs = std::filesystem;

// A job's status from its exit status, and from its messages whether it was done with warnings
// (something left out or not kept, as a warning of the plug-in or the runner says).
std::string StatusName(int status, const std::vector<std::string>& messages) {
  switch (status) {
    case ExitOk:
      for (const std::string& m : messages)
        if (m.starts_with("warning: ")) return "done with warnings";
      return "done";
    case ExitBadInput:
      return "bad input";
    case ExitNothingDone:
      return "nothing done";
    default:
      return "failed";
  }
}

}  // namespace

std::string Now() {
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

Json ToJson(const Outcome& o) {
  Json j = {{"input", o.input},      {"outputs", o.outputs},
            {"written", o.written},  {"status", o.status},
            {"exitStatus", nullptr}, {"messages", o.messages},
            {"log", o.log},          {"times", {{"started", o.started}, {"seconds", o.seconds}}}};
  if (o.exitStatus) j["exitStatus"] = *o.exitStatus;
  return j;
}

// The report a job's process printed last.
std::optional<Outcome> FromJson(const std::string& text) {
  try {
    const auto lines = Lines(text);
    if (lines.empty()) return std::nullopt;
    const Json j = Json::parse(lines.back());
    Outcome o;
    o.input = j.at("input");
    o.outputs = j.at("outputs").get<std::vector<std::string>>();
    o.written = j.at("written").get<std::vector<std::string>>();
    o.status = j.at("status");
    if (!j.at("exitStatus").is_null()) o.exitStatus = j.at("exitStatus").get<int>();
    o.messages = j.at("messages").get<std::vector<std::string>>();
    o.log = j.at("log").get<std::vector<std::string>>();
    o.started = j.at("times").at("started");
    o.seconds = j.at("times").at("seconds");
    return o;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

Outcome Begin(const BatchJob& job) {
  Outcome o;
  o.input = job.input.string();
  for (const fs::path& output : job.Outputs())
    o.outputs.push_back(output.string());
  o.started = Now();
  return o;
}

void MadeFolders::For(const fs::path& file) {
  std::vector<fs::path> missing;
  std::error_code ec;
  for (fs::path folder = file.parent_path(); !folder.empty() && !fs::exists(folder, ec);
       folder = folder.parent_path())
    missing.push_back(folder);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    if (fs::create_directory(*it, ec)) made_.push_back(*it);
}

MadeFolders::~MadeFolders() {
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
    std::error_code ec;
    fs::remove(*it, ec);  // only when still empty
  }
}

namespace {

// ---- one job, in this process -------------------------------------------------------------

// A texture an export named, where the input's folder leads to it (as --copy-textures finds it).
fs::path TextureFile(const NamedFile& named, const fs::path& inputFolder) {
  std::string name = named.source;
  std::replace(name.begin(), name.end(), '\\', '/');
  const fs::path path(name);
  return path.is_absolute() ? path : inputFolder / path;
}

// One step's run: its options, context and messages live as long as its staged files.
struct StepRun {
  RunRequest request;
  RunContext context;
  std::unique_ptr<DocumentRun> run;
  size_t passedOn = 0;  // the messages of its outcome already passed on
};

// Passes a step's new messages on to the job's, each naming the step after its kind:
// "nothing done: step 2, trackline: Nothing to Export".
int PassOn(StepRun& from, const RunOutcome& outcome, const std::string& step, std::ostream& to) {
  for (; from.passedOn < outcome.messages.size(); ++from.passedOn) {
    RunMessage named = outcome.messages[from.passedOn];
    named.text = step + ": " + named.text;
    to << named.Line() << "\n";
  }
  return StatusOf(outcome.kind);
}

// The job's input read: the scene, or the model imported with its top group selected.
std::unique_ptr<HostDocument> ReadInput(const BatchJob& job, std::ostream& err) {
  if (job.input.extension() == ".json") return LoadScene(job.input);
  ImportedModel model = ImportModel(job.input, {job.importName, job.scale, job.allowOutside});
  // What the import left out or changed is a warning: the job's status says so.
  for (const std::string& line : model.log)
    err << "warning: " << job.input.string() << ": " << line << "\n";
  for (const EmbeddedTexture& texture : model.textures)
    err << "warning: " << job.input.string() << ": the embedded texture " << texture.file
        << " is not written (import the model with vlmhost import to keep it)\n";
  // A model comes in with its top group chosen, which is what an exporter exports.
  const std::string top = job.importName.empty() ? job.input.stem().string() : job.importName;
  ApplySelections(*model.document, {"group:" + PathSegment(top, 1)});
  return std::move(model.document);
}

// Selects each of `paths` that still names an item.
void SelectWhatIsLeft(HostDocument& document, const std::vector<std::string>& paths) {
  std::vector<std::string> left;
  for (const std::string& path : paths) {
    try {
      SelectByTexts(document, {path});
      left.push_back(path);
    } catch (const Error&) {
    }
  }
  SelectByTexts(document, left);
}

// Keeps the job's record beside its first output; a record that cannot be kept costs a run next
// time, so it is a warning.
void KeepRecord(const BatchJob& job, const std::string& version,
                const std::vector<fs::path>& textures, const std::vector<std::string>& written,
                std::ostream& err) {
  const auto record = RecordFile(job);
  if (!record) return;
  try {
    if (const std::string problem = RecordProblem(*record); !problem.empty())
      Raise(err::PathFileAccess, record->string() + ": " + problem);
    WriteFileAtomically(*record, RecordText(job, version, textures,
                                            std::vector<fs::path>(written.begin(), written.end())));
  } catch (const Error& e) {
    err << "warning: " << e.Description() << " (the job will run again next time)\n";
  }
}

int RunSteps(const BatchJob& job, const std::string& version, std::ostream& log, std::ostream& err,
             std::vector<std::string>& written) {
  MadeFolders folders;
  for (const fs::path& output : job.Outputs())
    folders.For(output);
  std::unique_ptr<HostDocument> document;
  try {
    document = ReadInput(job, err);
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  // Every step starts from the job's selection, not from what a step before left selected.
  // Plug-ins add to a document but never take an item away, so the items it names stay; a
  // preparation step may take items away (merge, flatten), so after one the selection is found
  // again by its paths, and what is gone is left out.
  const ScriptingSelection scripting = document->scriptingSelection;
  const GraphSelection graph = document->graphSelection;
  const std::vector<std::string> selectedPaths = SelectTexts(PickedIn(*document));
  bool prepared = false;
  std::vector<std::unique_ptr<StepRun>> steps;
  std::vector<std::string> names;
  std::vector<fs::path> textures;
  for (const BatchStep& step : job.steps) {
    auto& s = *steps.emplace_back(std::make_unique<StepRun>());
    const std::string& name =
        names.emplace_back("step " + std::to_string(steps.size()) + ", " +
                           (step.prep.empty() ? ShortName(step.plugin) : "prep " + step.prep));
    RunRequest& o = s.request;
    o.progId = step.plugin;
    o.prepStep = step.prep;
    o.prepOptions = step.prepOptions;
    o.prepGoesOn = true;  // a model that needs no change by one step goes on to the next
    o.scene = job.input;
    o.output = step.output;
    o.sceneOutput = step.sceneOutput;
    o.selections = step.selections;
    o.ui = step.ui;
    o.uiFile = step.uiFile;
    o.params = step.params;
    o.copyTextures = step.copyTextures;
    o.allowOutside = step.allowOutside;
    o.fresh = true;  // no job depends on what another remembered, nor changes the settings
    if (prepared)
      SelectWhatIsLeft(*document, selectedPaths);
    else {
      document->scriptingSelection = scripting;
      document->graphSelection = graph;
    }
    prepared = prepared || !step.prep.empty();
    DocumentRun::Configure(s.context, o);
    RunContext::Scope scope(s.context);
    s.run = std::make_unique<DocumentRun>(
        o, s.context, RunScene{.kept = true},
        RunEcho{[&log](const std::string& l) { log << l << "\n"; }, {}});
    const RunOutcome* outcome = &s.run->Run(*document);
    if (outcome->Done()) outcome = &s.run->Stage(*document);
    if (int status = PassOn(s, *outcome, name, err); status != ExitOk) return status;
    for (const NamedFile& named : s.context.NamedFiles())
      textures.push_back(TextureFile(named, job.input.parent_path()));
  }
  // Every step has staged its files: now they go into place, step by step.
  std::ostream none(nullptr);
  for (size_t i = 0; i < steps.size(); ++i) {
    const RunOutcome& outcome = steps[i]->run->Finish(none);
    if (int status = PassOn(*steps[i], outcome, names[i], err); status != ExitOk) {
      if (i > 0) err << "error: the files of the steps before it were written\n";
      return status;
    }
    for (const fs::path& file : outcome.files)
      written.push_back(file.string());
  }
  folders.Keep();
  KeepRecord(job, version, textures, written, err);
  return ExitOk;
}

// The time limit of a job run in this process: a message, then SIGTERM, which takes away the
// files staged so far.
char timeoutMessage[512];
size_t timeoutLength = 0;

}  // namespace

Outcome RunJobHere(const BatchJob& job, const std::string& version) {
  Outcome o = Begin(job);
  const auto start = Clock::now();
  std::ostringstream log, err;
  int status;
  try {
    status = RunSteps(job, version, log, err, o.written);
  } catch (const std::bad_alloc&) {
    err << "error: " << job.input.string() << ": the job ran out of memory\n";
    status = ExitBadInput;
  }
  o.exitStatus = status;
  o.messages = Lines(err.str());
  o.status = StatusName(status, o.messages);
  o.log = Lines(log.str());
  o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return o;
}

void LimitThisJob(const BatchJob& job, const ReaderLimits& limits) {
  LimitAddressSpace(limits.memory);
  const double seconds = std::clamp(limits.seconds, 1.0, 1e9);
  const std::string message = "error: " + job.input.string() + ": the job took too long (over " +
                              std::to_string(static_cast<long>(seconds)) + " s)\n";
  timeoutLength = std::min(message.size(), sizeof timeoutMessage);
  std::memcpy(timeoutMessage, message.data(), timeoutLength);
  std::signal(SIGALRM, [](int) {
    (void)!write(STDERR_FILENO, timeoutMessage, timeoutLength);
    kill(getpid(), SIGTERM);
  });
  alarm(static_cast<unsigned>(seconds));
}

}  // namespace vlm::host::batch
