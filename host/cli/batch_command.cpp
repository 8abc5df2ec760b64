// vlmhost batch: the job list is read and checked whole first (a bad job file runs nothing);
// each job whose record says it is up to date is skipped; the others run in child processes,
// each the same program given a job file of that one job (the command --list-commands
// prints). A job runs in one process: the input read (a scene, or a model imported in memory),
// the steps run on it one after another as `vlmhost run` runs them, every file staged, and
// only when every step has staged its own are they renamed into place.
#include "cli/batch_command.h"

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <deque>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

#include "cli/batch_jobs.h"
#include "cli/batch_outcome.h"
#include "run/exit_status.h"
#include "run/plugin_names.h"
#include "run/printing.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm::host {
namespace {

using batch::Begin;
using batch::Clock;
using batch::JobArguments;
using batch::Json;
using batch::LimitThisJob;
using batch::MadeFolders;
using batch::Now;
using batch::Outcome;
using batch::PrintSummary;
using batch::RunJobHere;
using batch::RunJobs;
using batch::ToJson;

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
      if (!step.prep.empty()) continue;
      try {
        step.plugin = ResolvePluginName(step.plugin);
      } catch (const Error& e) {
        Raise(err::InvalidProcedureCall, step.place + "/run: " + e.Description());
      }
    }
  CheckDistinctOutputs(list);
  return list;
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
        line += (line.empty() ? "" : " ") + ShellQuoted(a);
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
  // The jobs' folders are there before any job starts, so no job makes one, and a job that
  // fails takes none away from a job beside it; those left empty go when the batch ends.
  MadeFolders folders;
  for (const size_t i : queue)
    for (const std::filesystem::path& output : list.jobs[i].Outputs())
      folders.For(output);
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

CommandAction AddBatchCommand(CLI::App& app, std::string version) {
  auto state = std::make_shared<BatchCommandLine>();
  BatchCommandLine& line = *state;
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
  return [state, version]() -> std::optional<int> {
    if (!*state->command) return std::nullopt;
    state->options.version = version;
    state->options.program = std::filesystem::read_symlink("/proc/self/exe");
    return BatchCommand(state->options, std::cout, std::cerr);
  };
}

}  // namespace vlm::host
