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
#include <vector>

#include "scene/scene_diff.h"

namespace vlm::host {

class HostDocument;

class CommandReport {
 public:
  // `file` "-" is standard output (refused by the caller when the command's own output goes
  // there).
  CommandReport(std::string command, std::filesystem::path file, std::string input);
  ~CommandReport();

  void SetPlugin(const std::string& progId) { plugin_ = progId; }
  // The document before the command changed it (kept as its text).
  void Before(const HostDocument& document);
  // The document the command produced; the items are those that differ from Before's (all of
  // them without Before).
  void After(const HostDocument& document);
  void Wrote(const std::filesystem::path& file);
  // The command changed no item (an export).
  void NoItems() { items_ = SceneDiff{}; }

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
  std::string Json(int status) const;

  std::string command_, input_;
  std::filesystem::path file_;
  std::optional<std::string> plugin_;
  std::optional<std::string> before_;
  std::optional<SceneDiff> items_;
  std::vector<std::string> written_, warnings_, errors_, log_;
  std::chrono::system_clock::time_point started_;
  std::chrono::steady_clock::time_point clock_;
};

}  // namespace vlm::host
