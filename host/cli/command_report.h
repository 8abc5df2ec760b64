// --report FILE.json: what one run, import or export-model did, for scripts. The transcript
// stays for people; the report holds the same facts as JSON (README, "Reports").
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/document_run.h"
#include "scene/scene_diff.h"

namespace vlm::host {

class HostDocument;

class CommandReport : public RunReport {
 public:
  // `file` "-" is standard output (refused by the caller when the command's own output goes
  // there).
  CommandReport(std::string command, std::filesystem::path file, std::string input);
  ~CommandReport() override;

  // A run's: the plug-in it ran (or the preparation step) and the command line that makes the
  // same run.
  void SetRun(const RunRequest& request) {
    (request.IsPrep() ? step_ : plugin_) = request.IsPrep() ? request.prepStep : request.progId;
    commandLine_ = request.CommandLine();
  }
  // The document before the command changed it (kept as its text).
  void Before(const HostDocument& document) override;
  // The document the command produced; the items are those that differ from Before's (all of
  // them without Before).
  void After(const HostDocument& document);
  void Wrote(const std::filesystem::path& file);
  // The command changed no item (an export).
  void NoItems() { items_ = SceneDiff{}; }

  // The report of a command that is done, for the command to write with its other files, all
  // or none: `document` as After takes it, the files `written`, and the warnings and log lines
  // the command is still to print. Once it is taken, Before, After and Wrote change nothing and
  // Run writes a report only when the command does not end done (its files then not written).
  std::string DoneReport(const HostDocument& document,
                         const std::vector<std::filesystem::path>& written,
                         const std::vector<std::string>& warnings,
                         const std::vector<std::string>& log) override;
  // The report names another output of the command: Run writes none.
  void Withhold() override { withheld_ = true; }
  // Another output of the command (`what`: "the -o file"): a report that is the same file, by
  // any name, is refused before the command runs (ExitBadInput) and nothing is written.
  void AvoidOutput(std::string what, std::filesystem::path file) {
    others_.emplace_back(std::move(what), std::move(file));
  }

  // Runs the command with its streams recorded line by line: warnings, errors (and "nothing
  // done") and the rest as log lines. `outIsData`: what goes to `out` is a file's content (a
  // scene on standard output), passed on unrecorded. `quiet`: the command is asked for its
  // transcript, which is recorded but not passed on. With a report on standard output,
  // everything the command prints goes to `err`. Then writes the report; its status, or
  // ExitRunFailed when a done command's report cannot be written.
  int Run(bool outIsData, bool quiet, std::ostream& out, std::ostream& err,
          const std::function<int(std::ostream& out, std::ostream& err)>& command);

 private:
  class Recorder;
  // The items that differ between Before's document and `document` (all of them without it).
  SceneDiff ItemsOf(const HostDocument& document) const;
  std::string Json(int status) const { return Json(status, items_, written_, warnings_, log_); }
  std::string Json(int status, const std::optional<SceneDiff>& items,
                   const std::vector<std::string>& written,
                   const std::vector<std::string>& warnings,
                   const std::vector<std::string>& log) const;

  std::string command_, input_;
  std::filesystem::path file_;
  std::optional<std::string> plugin_, step_, commandLine_;
  std::optional<std::string> before_;
  std::optional<SceneDiff> items_;
  std::vector<std::string> written_, warnings_, errors_, log_;
  std::chrono::system_clock::time_point started_;
  std::chrono::steady_clock::time_point clock_;
  std::vector<std::pair<std::string, std::filesystem::path>> others_;  // by AvoidOutput
  bool staged_ = false;    // DoneReport was taken: the command writes the report
  bool withheld_ = false;  // the report names another output: none is written
};

}  // namespace vlm::host
