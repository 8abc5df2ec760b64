// vlmhost batch: the job list is read and checked whole first (a bad job file runs nothing);
// each job whose record says it is up to date is skipped; the others run in child processes,
// each the same program given a job file of that one job (the command --list-commands
// prints). A job runs in one process: the input read (a scene, or a model imported in memory),
// the steps run on it one after another as `vlmhost run` runs them, every file staged, and
// only when every step has staged its own are they renamed into place.
#include "cli/batch_command.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <deque>
#include <iomanip>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli/batch_jobs.h"
#include "cli/exit_status.h"
#include "cli/plugin_names.h"
#include "cli/progress_bar.h"
#include "cli/run_command.h"
#include "cli/selections.h"
#include "exchange/model_import.h"
#include "scene/document.h"
#include "scene/paths.h"
#include "scene/scene_file.h"
#include "vlm/error.h"
#include "vlm/files.h"
#include "vlm/named_files.h"
#include "vlm/progress.h"
#include "vlm/run_context.h"

namespace vlm::host {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

// What became of one job, as the report gives it.
struct Outcome {
  std::string input;
  std::vector<std::string> outputs, written, messages, log;
  // done, done with warnings, skipped, failed, bad input, nothing done, not run
  std::string status = "not run";
  std::optional<int> exitStatus;
  std::string started;
  double seconds = 0;

  bool Done() const { return status == "done" || status == "done with warnings"; }
  bool Failed() const { return !Done() && status != "skipped" && status != "not run"; }
};

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

// ---- one job, in this process -------------------------------------------------------------

// The folders a job's outputs need, made for it and taken away again when it fails.
class MadeFolders {
 public:
  void For(const fs::path& file) {
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path folder = file.parent_path(); !folder.empty() && !fs::exists(folder, ec);
         folder = folder.parent_path())
      missing.push_back(folder);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
      if (fs::create_directory(*it, ec)) made_.push_back(*it);
  }
  void Keep() { made_.clear(); }
  ~MadeFolders() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      std::error_code ec;
      fs::remove(*it, ec);  // only when still empty
    }
  }

 private:
  std::vector<fs::path> made_;
};

// A texture an export named, where the input's folder leads to it (as --copy-textures finds it).
fs::path TextureFile(const NamedFile& named, const fs::path& inputFolder) {
  std::string name = named.source;
  std::replace(name.begin(), name.end(), '\\', '/');
  const fs::path path(name);
  return path.is_absolute() ? path : inputFolder / path;
}

// One step's run: its options, context and messages live as long as its staged files.
struct StepRun {
  RunOptions options;
  std::ostringstream err;  // the step's problems and warnings, passed on with its name
  RunContext context;
  std::unique_ptr<DocumentRun> run;
};

// Passes a step's messages on to the job's, each naming the step after its kind: "nothing
// done: step 2, trackline: Nothing to Export".
void PassOn(std::ostringstream& from, const std::string& step, std::ostream& to) {
  for (const std::string& line : Lines(from.str())) {
    size_t at = 0;
    for (const char* kind : {"error: ", "warning: ", "nothing done: "})
      if (line.starts_with(kind)) at = std::strlen(kind);
    // A line that goes on from the one before stays as it is.
    to << (at == 0 ? line : line.substr(0, at) + step + ": " + line.substr(at)) << "\n";
  }
  from.str({});
}

// The job's input read: the scene, or the model imported with its top group selected.
std::unique_ptr<HostDocument> ReadInput(const BatchJob& job, std::ostream& log, std::ostream& err) {
  if (job.input.extension() == ".json") return LoadScene(job.input);
  ImportedModel model = ImportModel(job.input, {job.importName, job.scale, job.allowOutside});
  for (const std::string& line : model.log)
    log << line << "\n";
  for (const EmbeddedTexture& texture : model.textures)
    err << "warning: " << job.input.string() << ": the embedded texture " << texture.file
        << " is not written (import the model with vlmhost import to keep it)\n";
  // A model comes in with its top group chosen, which is what an exporter exports.
  const std::string top = job.importName.empty() ? job.input.stem().string() : job.importName;
  ApplySelections(*model.document, {"group:" + PathSegment(top, 1)});
  return std::move(model.document);
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
    document = ReadInput(job, log, err);
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }
  // Every step starts from the job's selection, not from what a step before left selected.
  // Plug-ins add to a document but never take an item away, so the items it names stay.
  const ScriptingSelection scripting = document->scriptingSelection;
  const GraphSelection graph = document->graphSelection;
  std::vector<std::unique_ptr<StepRun>> steps;
  std::vector<std::string> names;
  std::vector<fs::path> textures;
  for (const BatchStep& step : job.steps) {
    auto& s = *steps.emplace_back(std::make_unique<StepRun>());
    const std::string& name =
        names.emplace_back("step " + std::to_string(steps.size()) + ", " + ShortName(step.plugin));
    RunOptions& o = s.options;
    o.progId = step.plugin;
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
    document->scriptingSelection = scripting;
    document->graphSelection = graph;
    ConfigureRunContext(s.context, o, s.err);
    RunContext::Scope scope(s.context);
    s.run = std::make_unique<DocumentRun>(o, s.context);
    int status = s.run->Run(*document, log, s.err);
    if (status == ExitOk) status = s.run->Stage(*document, s.err);
    PassOn(s.err, name, err);
    if (status != ExitOk) return status;
    for (const NamedFile& named : s.context.NamedFiles())
      textures.push_back(TextureFile(named, job.input.parent_path()));
  }
  // Every step has staged its files: now they go into place, step by step.
  std::ostream none(nullptr);
  for (size_t i = 0; i < steps.size(); ++i) {
    const int status = steps[i]->run->Finish(log, none, steps[i]->err);
    PassOn(steps[i]->err, names[i], err);
    if (status != ExitOk) {
      if (i > 0) err << "error: the files of the steps before it were written\n";
      return status;
    }
    for (const fs::path& file : steps[i]->run->Committed())
      written.push_back(file.string());
  }
  folders.Keep();
  KeepRecord(job, version, textures, written, err);
  return ExitOk;
}

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

// The time limit of a job run in this process: a message, then SIGTERM, which takes away the
// files staged so far.
char timeoutMessage[512];
size_t timeoutLength = 0;

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

// ---- many jobs, in child processes --------------------------------------------------------

std::string ShellQuote(const std::string& s) {
  if (!s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                        "0123456789_-./=:,+@%") == std::string::npos)
    return s;
  std::string out = "'";
  for (char c : s)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The arguments of the command that runs one job by itself.
std::vector<std::string> JobArguments(const BatchOptions& options, const BatchJobList& list,
                                      const BatchJob& job) {
  std::vector<std::string> args = {options.program.string(), "batch", "--job", job.description};
  if (list.limitsGiven || options.maxMemory || options.timeout) {
    args.push_back("--max-memory");
    args.push_back(std::to_string(list.limits.memory));
    args.push_back("--timeout");
    std::ostringstream s;
    s << list.limits.seconds;
    args.push_back(s.str());
  }
  if (options.quiet) args.push_back("--quiet");
  return args;
}

std::string ReadAll(int fd) {
  std::string out;
  lseek(fd, 0, SEEK_SET);
  char chunk[65536];
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;)
    out.append(chunk, static_cast<size_t>(n));
  return out;
}

struct Child {
  size_t job;
  int out, err;  // memory files its standard output and error go to
  Clock::time_point started;
  std::string startedAt;
};

class Pool {
 public:
  Pool(const BatchOptions& options, const BatchJobList& list, std::vector<Outcome>& outcomes)
      : options_(options), list_(list), outcomes_(outcomes) {}

  // Starts the job's process; false (with the outcome saying why) when it cannot be started.
  bool Start(size_t job) {
    std::vector<std::string> args = JobArguments(options_, list_, list_.jobs[job]);
    args.insert(args.begin() + 2, {"--child", "--force"});
    std::vector<char*> argv;
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    const int out = memfd_create("vlmbatch-out", MFD_CLOEXEC);
    const int err = memfd_create("vlmbatch-err", MFD_CLOEXEC);
    const pid_t pid = out < 0 || err < 0 ? -1 : fork();
    if (pid == 0) {
      // Gone with the batch (SIGTERM takes away what the job staged).
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (pid < 0) {
      if (out >= 0) close(out);
      if (err >= 0) close(err);
      Outcome& o = outcomes_[job] = Begin(list_.jobs[job]);
      o.status = "failed";
      o.messages = {std::string("error: no process for the job: ") + std::strerror(errno)};
      return false;
    }
    running_.emplace(pid, Child{job, out, err, Clock::now(), Now()});
    return true;
  }

  size_t Running() const { return running_.size(); }

  // Waits up to `wait` for a job to end; the job's index, if one did.
  std::optional<size_t> Reap(std::chrono::milliseconds wait) {
    const auto until = Clock::now() + wait;
    for (;;) {
      int status = 0;
      const pid_t pid = waitpid(-1, &status, WNOHANG);
      if (pid > 0 && running_.count(pid)) return Finished(pid, status);
      if (Clock::now() >= until || running_.empty()) return std::nullopt;
      usleep(1000);
    }
  }

  // Stops every job still running (their staged files are taken away).
  void StopAll() {
    for (const auto& [pid, child] : running_)
      kill(pid, SIGTERM);
    while (!running_.empty()) {
      int status = 0;
      const pid_t pid = waitpid(-1, &status, 0);
      if (pid < 0 && errno != EINTR) break;
      if (pid > 0 && running_.count(pid)) {
        const size_t job = Finished(pid, status);
        outcomes_[job].status = "not run";
        outcomes_[job].exitStatus.reset();
        outcomes_[job].messages.push_back("stopped by --fail-fast");
      }
    }
  }

 private:
  size_t Finished(pid_t pid, int status) {
    const Child child = running_.at(pid);
    running_.erase(pid);
    const std::string out = ReadAll(child.out), err = ReadAll(child.err);
    close(child.out);
    close(child.err);
    const BatchJob& job = list_.jobs[child.job];
    Outcome& o = outcomes_[child.job];
    if (auto reported = FromJson(out); reported && WIFEXITED(status)) {
      o = std::move(*reported);
      return child.job;
    }
    o = Begin(job);
    o.started = child.startedAt;
    o.seconds = std::chrono::duration<double>(Clock::now() - child.started).count();
    o.status = "failed";
    o.messages = Lines(err);
    if (WIFSIGNALED(status))
      o.messages.push_back("error: " + job.input.string() +
                           ": the job's process was stopped by "
                           "signal " +
                           std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) +
                           ")");
    else
      o.exitStatus = WEXITSTATUS(status);
    return child.job;
  }

  const BatchOptions& options_;
  const BatchJobList& list_;
  std::vector<Outcome>& outcomes_;
  std::map<pid_t, Child> running_;
};

std::string Minutes(double seconds) {
  const long s = std::lround(seconds);
  std::ostringstream out;
  out << s / 60 << ":" << std::setw(2) << std::setfill('0') << s % 60;
  return out.str();
}

void PrintSummary(const std::vector<Outcome>& outcomes, double seconds, std::ostream& out) {
  std::map<std::string, int> counts;
  size_t width = 5, statusWidth = 13;
  for (const Outcome& o : outcomes) {
    width = std::max(width, o.input.size());
    statusWidth = std::max(statusWidth, o.status.size() + 1);
  }
  width = std::min<size_t>(width, 60);
  out << std::left << std::setw(static_cast<int>(statusWidth)) << "status" << std::right
      << std::setw(8) << "seconds"
      << "  " << std::left << std::setw(static_cast<int>(width)) << "input"
      << "  outputs\n";
  for (const Outcome& o : outcomes) {
    ++counts[o.status];
    std::string outputs;
    for (const std::string& file : o.outputs)
      outputs += (outputs.empty() ? "" : " ") + file;
    out << std::left << std::setw(static_cast<int>(statusWidth)) << o.status << std::right
        << std::setw(8) << std::fixed << std::setprecision(2) << o.seconds << "  " << std::left
        << std::setw(static_cast<int>(width)) << o.input << "  " << outputs << "\n";
  }
  out << outcomes.size() << " job" << (outcomes.size() == 1 ? "" : "s") << ":";
  const char* sep = " ";
  for (const auto& [status, n] : counts) {
    out << sep << n << " " << status;
    sep = ", ";
  }
  out << " in " << std::fixed << std::setprecision(1) << seconds << " s\n";
  out.unsetf(std::ios::floatfield);
}

// The bar's line: jobs done, failed and skipped of all, and the time left at the pace so far.
void ShowProgress(ProgressDisplay* bar, const std::vector<Outcome>& outcomes, size_t finished,
                  size_t ran, double elapsed, size_t toRun) {
  if (!bar) return;
  size_t done = 0, failed = 0, skipped = 0;
  for (const Outcome& o : outcomes)
    done += o.Done(), failed += o.Failed(), skipped += o.status == "skipped";
  std::ostringstream text;
  text << done << " done " << failed << " failed " << skipped << " skipped";
  if (ran > 0 && toRun > ran) text << " " << Minutes(elapsed / ran * (toRun - ran)) << " left";
  bar->Show(text.str(), outcomes.empty() ? 1.0 : double(finished) / outcomes.size());
}

// A job's messages as it ends, each naming its input after its kind when it does not already:
// "warning: in/a.json: step 1, wingform: ...".
void PrintMessages(const Outcome& o, std::ostream& err) {
  for (const std::string& m : o.messages) {
    size_t at = 0;
    for (const char* kind : {"error: ", "warning: ", "nothing done: "})
      if (m.starts_with(kind)) at = std::strlen(kind);
    err << (m.find(o.input) != std::string::npos ? m
                                                 : m.substr(0, at) + o.input + ": " + m.substr(at))
        << "\n";
  }
}

// The jobs the options name, checked whole before any runs: vlm::Error at the first fault.
BatchJobList ReadJobList(const BatchOptions& options, std::string& origin) {
  BatchJobList list;
  if (options.job) {
    if (!options.inputs.empty() || !options.runs.empty())
      Raise(err::InvalidProcedureCall, "--job gives the whole job: give no JOBFILE and no --run");
    origin = "--job";
    list = ParseJobFile(*options.job, origin);
  } else if (!options.runs.empty()) {
    if (options.inputs.empty())
      Raise(err::InvalidProcedureCall, "--run needs the inputs: files or globs");
    list = ShortFormJobs(options.inputs, options.runs);
  } else {
    if (options.inputs.size() != 1)
      Raise(err::InvalidProcedureCall, "give one JOBFILE, or inputs with --run PLUGIN:OUTPUT");
    origin = options.inputs.front();
    list = ParseJobFile(ReadFile(origin, 0, 16 << 20), origin);
  }
  if (options.maxMemory) list.limits.memory = *options.maxMemory;
  if (options.timeout) list.limits.seconds = *options.timeout;
  for (BatchJob& job : list.jobs)
    for (BatchStep& step : job.steps) {
      try {
        step.plugin = ResolvePluginName(step.plugin);
      } catch (const Error& e) {
        Raise(err::InvalidProcedureCall, step.place + "/run: " + e.Description());
      }
    }
  CheckDistinctOutputs(list);
  return list;
}

// Runs the jobs of `queue` in processes of their own, `--jobs` at once, with the progress bar;
// a job's messages are printed as it ends when it failed or was done with warnings.
void RunJobs(const BatchOptions& options, const BatchJobList& list, std::deque<size_t> queue,
             std::vector<Outcome>& outcomes, Clock::time_point start, std::ostream& err) {
  const unsigned width =
      options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  auto bar = ProgressBarFor(options.quiet);
  Pool pool(options, list, outcomes);
  const size_t toRun = queue.size();
  size_t finished = list.jobs.size() - toRun, ran = 0;
  bool stopping = false;
  while (!queue.empty() || pool.Running() > 0) {
    while (!stopping && !queue.empty() && pool.Running() < width) {
      const size_t job = queue.front();
      queue.pop_front();
      if (!pool.Start(job)) ++finished, ++ran;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    ShowProgress(bar.get(), outcomes, finished, ran, elapsed, toRun);
    if (stopping && queue.empty() && pool.Running() == 0) break;
    const auto job = pool.Reap(std::chrono::milliseconds(100));
    if (!job) continue;
    ++finished, ++ran;
    const Outcome& o = outcomes[*job];
    if (o.Failed() || o.status == "done with warnings") {
      if (bar) bar->Finish();
      PrintMessages(o, err);
    }
    if (o.Failed() && options.failFast && !stopping) {
      stopping = true;
      queue.clear();
      pool.StopAll();
    }
  }
  if (bar) bar->Finish();
}

// Writes the --report file; ExitRunFailed when it cannot be written, else `status`.
int WriteReport(const BatchOptions& options, const std::string& origin,
                const std::vector<Outcome>& outcomes, int status, const std::string& startedAt,
                double seconds, std::ostream& err) {
  Json report = {{"command", "batch"}, {"jobFile", origin.empty() ? Json(nullptr) : Json(origin)}};
  Json& jobs = report["jobs"] = Json::array();
  std::map<std::string, int> counts;
  for (const Outcome& o : outcomes) {
    jobs.push_back(ToJson(o));
    ++counts[o.status];
  }
  report["counts"] = counts;
  report["exitStatus"] = status;
  report["times"] = {{"started", startedAt}, {"seconds", seconds}};
  try {
    WriteFileAtomically(*options.reportFile,
                        report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitRunFailed;
  }
  return status;
}

}  // namespace

int BatchCommand(const BatchOptions& options, std::ostream& out, std::ostream& err) {
  const auto start = Clock::now();
  const std::string startedAt = Now();
  BatchJobList list;
  std::string origin;
  try {
    list = ReadJobList(options, origin);
  } catch (const Error& e) {
    err << "error: " << e.Description() << "\n";
    return ExitBadInput;
  }

  if (options.listCommands) {
    for (const BatchJob& job : list.jobs) {
      std::string line;
      for (const std::string& a : JobArguments(options, list, job))
        line += (line.empty() ? "" : " ") + ShellQuote(a);
      out << line << "\n";
    }
    return ExitOk;
  }
  if (options.child) {
    // A job of a batch, here under its limits: its outcome as one line of JSON.
    if (list.jobs.size() != 1) {
      err << "error: --child runs one job, not " << list.jobs.size() << "\n";
      return ExitBadInput;
    }
    LimitThisJob(list.jobs.front(), list.limits);
    const Outcome o = RunJobHere(list.jobs.front(), options.version);
    alarm(0);
    out << ToJson(o).dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
    for (const std::string& m : o.messages)
      err << m << "\n";
    return o.exitStatus.value_or(ExitOk);
  }

  std::vector<Outcome> outcomes(list.jobs.size());
  std::deque<size_t> queue;
  for (size_t i = 0; i < list.jobs.size(); ++i) {
    outcomes[i] = Begin(list.jobs[i]);
    if (!options.force && UpToDate(list.jobs[i], options.version))
      outcomes[i].status = "skipped";
    else
      queue.push_back(i);
  }
  // One job or many, each runs in a process of its own: the batch prints the same, and a job
  // that takes too long or too much memory stops that process, not the batch.
  RunJobs(options, list, std::move(queue), outcomes, start, err);

  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  bool failed = false;
  for (const Outcome& o : outcomes)
    failed = failed || o.Failed();
  const int status = failed ? ExitRunFailed : ExitOk;
  if (!options.quiet) PrintSummary(outcomes, seconds, out);
  if (!options.reportFile) return status;
  return WriteReport(options, origin, outcomes, status, startedAt, seconds, err);
}

void AddBatchCommand(CLI::App& app, BatchCommandLine& line) {
  BatchOptions& o = line.options;
  line.command = app.add_subcommand(
      "batch",
      "Run many inputs through imports and plug-ins: one job per input, in parallel, all of a "
      "job's files or none, skipping jobs whose inputs have not changed (docs/batch.md)");
  line.command->add_option("JOBFILE", o.inputs,
                           "The job file (JSON); with --run, the inputs: files and globs "
                           "(quoted, as 'models/*.gltf')");
  line.command
      ->add_option("--run", o.runs,
                   "Without a job file: a step of every input, as PLUGIN:OUTPUT with the "
                   "output's pattern (wingform:out/{stem}.obj; fields {stem} {name} {ext} {dir})")
      ->type_name("PLUGIN:OUTPUT");
  line.command->add_option("--job", o.job, "The job file's text itself (as --list-commands gives)")
      ->type_name("JSON");
  line.command->add_option("-j,--jobs", o.jobs, "Jobs at once (default: one per core)")
      ->check(CLI::PositiveNumber);
  line.command->add_flag("--fail-fast", o.failFast,
                         "Stop at the first failed job (the jobs running are stopped with "
                         "nothing written)");
  line.command->add_flag("--force", o.force, "Run every job, also those that are up to date");
  line.command->add_flag("--list-commands", o.listCommands,
                         "Print one self-contained vlmhost batch command per job (for GNU "
                         "parallel or make) and run nothing");
  line.command->add_flag(
      "--quiet", o.quiet,
      "No progress bar and no summary table (warnings and errors are still printed); "
      "with --list-commands, commands that are quiet too");
  line.command
      ->add_option("--report", o.reportFile,
                   "Also write every job's inputs, outputs, status, exit status, messages and "
                   "times as JSON")
      ->type_name("FILE.json");
  line.command
      ->add_option("--max-memory", o.maxMemory,
                   "The most memory each job may take, as 200M or 2G (default: the job file's, "
                   "else half the machine's memory, at most 8G)")
      ->transform(CLI::AsSizeValue(false).description(""))
      ->check(CLI::PositiveNumber)
      ->type_name("SIZE");
  line.command
      ->add_option("--timeout", o.timeout,
                   "The most time each job may take, in seconds (default: the job file's, else " +
                       std::to_string(static_cast<int>(kDefaultReaderSeconds)) + ")")
      ->check(CLI::PositiveNumber)
      ->type_name("SECONDS");
  line.command->add_flag("--child", o.child)->group("");
}

}  // namespace vlm::host
