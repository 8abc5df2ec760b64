#include "cli/command_report.h"

#include <ctime>
#include <nlohmann/json.hpp>
#include <ostream>
#include <streambuf>

#include "run/exit_status.h"
#include "run/scene_argument.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "vlm/error.h"
#include "vlm/files.h"

namespace vlm::host {

// A stream buffer that keeps each line written and passes it on (or not).
class CommandReport::Recorder : public std::streambuf {
 public:
  Recorder(std::ostream& target, bool forward, std::function<void(const std::string&)> keep)
      : target_(target), forward_(forward), keep_(std::move(keep)) {}
  ~Recorder() override {
    if (!line_.empty()) Finish();
  }

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    line_ += static_cast<char>(c);
    if (c == '\n') Finish();
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i)
      overflow(traits_type::to_int_type(s[i]));
    return n;
  }
  int sync() override {
    target_.flush();
    return target_ ? 0 : -1;
  }

 private:
  void Finish() {
    std::string text = line_.back() == '\n' ? line_.substr(0, line_.size() - 1) : line_;
    bool problem = text.starts_with("warning: ") || text.starts_with("error: ") ||
                   text.starts_with("nothing done: ");
    if (forward_ || problem) target_ << line_;
    keep_(text);
    line_.clear();
  }
  std::ostream& target_;
  bool forward_;
  std::function<void(const std::string&)> keep_;
  std::string line_;
};

CommandReport::CommandReport(std::string command, std::filesystem::path file, std::string input)
    : command_(std::move(command)),
      input_(std::move(input)),
      file_(std::move(file)),
      started_(std::chrono::system_clock::now()),
      clock_(std::chrono::steady_clock::now()) {}

CommandReport::~CommandReport() = default;

void CommandReport::Before(const HostDocument& document) {
  if (!staged_) before_ = SerializeScene(document, input_);
}

SceneDiff CommandReport::ItemsOf(const HostDocument& document) const {
  if (before_) return DiffDocuments(*before_, document, input_);
  HostDocument empty;
  return DiffDocuments(empty, document);
}

void CommandReport::After(const HostDocument& document) {
  if (!staged_) items_ = ItemsOf(document);
}

void CommandReport::Wrote(const std::filesystem::path& file) {
  if (!staged_) written_.push_back(file.string());
}

std::string CommandReport::DoneReport(const HostDocument& document,
                                      const std::vector<std::filesystem::path>& written,
                                      const std::vector<std::string>& warnings,
                                      const std::vector<std::string>& log) {
  // The report's own lists stay as they were, for the report of a command whose files could
  // not be written after all.
  const std::optional<SceneDiff> items = ItemsOf(document);
  std::vector<std::string> files = written_, allWarnings = warnings_, allLog = log_;
  for (const std::filesystem::path& file : written)
    files.push_back(file.string());
  allWarnings.insert(allWarnings.end(), warnings.begin(), warnings.end());
  allLog.insert(allLog.end(), log.begin(), log.end());
  staged_ = true;
  return Json(ExitOk, items, files, allWarnings, allLog);
}

namespace {

const char* Outcome(int status) {
  switch (status) {
    case ExitOk:
      return "done";
    case ExitRunFailed:
      return "failed";
    case ExitBadInput:
      return "bad input";
    case ExitNothingDone:
      return "nothing done";
  }
  return "unknown";
}

nlohmann::ordered_json ItemsJson(const std::vector<SceneItem>& items) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const SceneItem& item : items) {
    nlohmann::ordered_json j = {{"kind", KindName(item.kind)}, {"path", item.path}};
    if (item.kind == SceneItem::Kind::Object && !item.faces.empty()) j["faces"] = item.faces;
    out.push_back(std::move(j));
  }
  return out;
}

std::string UtcText(std::chrono::system_clock::time_point when) {
  std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

}  // namespace

std::string CommandReport::Json(int status, const std::optional<SceneDiff>& items,
                                const std::vector<std::string>& written,
                                const std::vector<std::string>& warnings,
                                const std::vector<std::string>& log) const {
  nlohmann::ordered_json j = {{"command", command_}};
  if (plugin_) j["plugin"] = *plugin_;
  if (step_) j["step"] = *step_;
  if (commandLine_) j["commandLine"] = *commandLine_;
  j["input"] = input_;
  j["outcome"] = Outcome(status);
  j["exitStatus"] = status;
  j["written"] = written;
  nlohmann::ordered_json itemsJson = nullptr;
  if (items)
    itemsJson = {{"created", ItemsJson(items->created)},
                 {"changed", ItemsJson(items->changed)},
                 {"removed", ItemsJson(items->removed)}};
  j["items"] = itemsJson;
  j["warnings"] = warnings;
  j["errors"] = errors_;
  j["log"] = log;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - clock_).count();
  j["times"] = {{"started", UtcText(started_)}, {"seconds", seconds}};
  return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

int CommandReport::Run(bool outIsData, bool quiet, std::ostream& out, std::ostream& err,
                       const std::function<int(std::ostream&, std::ostream&)>& command) {
  const bool toStdout = IsStandardStream(file_);
  if (!toStdout) {
    try {
      CheckOutputTarget(file_);
      for (const auto& [what, other] : others_)
        if (!IsStandardStream(other) && SameOutputFile(file_, other))
          Raise(err::InvalidProcedureCall,
                file_.string() + " is also " + what + ": a report may not replace another output");
    } catch (const Error& e) {
      err << "error: --report " << e.Description() << "\n";
      return ExitBadInput;
    }
  }
  auto keep = [this](const std::string& line) {
    if (line.starts_with("warning: "))
      warnings_.push_back(line.substr(9));
    else if (line.starts_with("error: "))
      errors_.push_back(line.substr(7));
    else if (line.starts_with("nothing done: "))
      errors_.push_back(line);
    else
      log_.push_back(line);
  };
  int status;
  {
    Recorder errRecorder(err, !quiet, keep), outRecorder(out, !quiet, keep);
    std::ostream recordedErr(&errRecorder), recordedOut(&outRecorder);
    recordedErr.copyfmt(err);
    recordedOut.copyfmt(out);
    std::ostream& commandOut = outIsData ? out : toStdout ? recordedErr : recordedOut;
    status = command(commandOut, recordedErr);
  }
  // A done command wrote its report with its files; a report that would replace another
  // output is not written at all.
  if ((staged_ && status == ExitOk) || withheld_) return status;
  const std::string text = Json(status);
  try {
    if (toStdout) {
      out << text << std::flush;
      if (!out) Raise(err::PathFileAccess, "cannot write standard output");
    } else {
      WriteFileAtomically(file_, text);
    }
  } catch (const Error& e) {
    err << "error: --report " << e.Description() << "\n";
    return status == ExitOk ? ExitRunFailed : status;
  }
  return status;
}

}  // namespace vlm::host
