// vlmhost batch: many inputs through imports and plug-in runs, each input one job in a process
// of its own, all its files or none, skipped when nothing it depends on has changed.
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

struct BatchOptions {
  std::vector<std::string> inputs;  // JOBFILE, or with --run input files and globs
  std::vector<std::string> runs;    // --run PLUGIN:OUTPUT
  std::optional<std::string> job;   // --job JSON: a job file's text given inline
  unsigned jobs = 0;                // --jobs N (0: one per core)
  bool failFast = false;
  bool force = false;
  bool listCommands = false;
  bool quiet = false;
  std::optional<std::filesystem::path> reportFile;
  std::optional<uint64_t> maxMemory;  // --max-memory, over the job file's
  std::optional<double> timeout;      // --timeout, over the job file's
  bool child = false;   // (hidden) a job of a batch: its report as JSON on standard output
  std::string version;  // the program's, kept in each job's record
  std::filesystem::path program;  // this program, which the jobs' processes run
};

// Exit status 0 when every job was done or skipped, 1 when any failed, 2 when the job file
// (or the command line) is bad.
int BatchCommand(const BatchOptions& options, std::ostream& out, std::ostream& err);

// The command on the program's command line.
struct BatchCommandLine {
  CLI::App* command = nullptr;
  BatchOptions options;
};
// Adds batch to the command line; `version` and `program` are those of this vlmhost, which
// the batch starts for its jobs and checks its outputs' records against.
CommandAction AddBatchCommand(CLI::App& app, std::string version);

}  // namespace vlm::host
