// vlmhost batch inside: what became of a job, the job run in this process, the jobs' processes.
#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch_command.h"
#include "cli/batch_jobs.h"

namespace vlm::host::batch {

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

std::string Now();
std::vector<std::string> Lines(const std::string& text);
Json ToJson(const Outcome& o);
// The report a job's process printed last.
std::optional<Outcome> FromJson(const std::string& text);
Outcome Begin(const BatchJob& job);

// ---- one job, in this process (batch_job_run.cpp) ------------------------------------------

// The folders outputs need, made for them and taken away again, when still empty, as this
// object goes: a job's that failed. The batch makes every job's folders before the first job
// starts and takes the empty ones away after the last ends, so that a job that fails never
// takes away a folder another job, running beside it, is about to write to.
class MadeFolders {
 public:
  MadeFolders() = default;
  MadeFolders(const MadeFolders&) = delete;
  MadeFolders& operator=(const MadeFolders&) = delete;
  ~MadeFolders();
  void For(const std::filesystem::path& file);
  void Keep() { made_.clear(); }

 private:
  std::vector<std::filesystem::path> made_;
};

Outcome RunJobHere(const BatchJob& job, const std::string& version);
// The time limit of a job run in this process: a message, then SIGTERM, which takes away the
// files staged so far.
void LimitThisJob(const BatchJob& job, const ReaderLimits& limits);

// ---- many jobs, in child processes (batch_processes.cpp) -----------------------------------

// The arguments of the command that runs one job by itself.
std::vector<std::string> JobArguments(const BatchOptions& options, const BatchJobList& list,
                                      const BatchJob& job);
void PrintSummary(const std::vector<Outcome>& outcomes, double seconds, std::ostream& out);
// Runs the jobs of `queue` in processes of their own, `--jobs` at once, with the progress bar;
// a job's messages are printed as it ends when it failed or was done with warnings.
void RunJobs(const BatchOptions& options, const BatchJobList& list, std::deque<size_t> queue,
             std::vector<Outcome>& outcomes, Clock::time_point start, std::ostream& err);

}  // namespace vlm::host::batch
