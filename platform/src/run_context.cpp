#include "vlm/run_context.h"

#include <utility>

#include "run_state.h"
#include "vlm/forms.h"
#include "vlm/progress.h"
#include "vlm/scripted_dialogs.h"

namespace vlm {
namespace {

// The one place a context is installed. The system runs plug-ins on one thread.
RunContext* installed = nullptr;

RunContext& DefaultContext() noexcept {
  static RunContext context;
  return context;
}

}  // namespace

RunContext::RunContext() : state_(std::make_unique<detail::RunState>()) {}
RunContext::~RunContext() = default;

RunContext& RunContext::Current() noexcept {
  return installed ? *installed : DefaultContext();
}

RunContext::Scope::Scope(RunContext& context) noexcept
    : previous_(std::exchange(installed, &context)) {}
RunContext::Scope::~Scope() {
  installed = previous_;
}

std::shared_ptr<DialogBackend> RunContext::SetDialogBackend(
    std::shared_ptr<DialogBackend> backend) {
  std::lock_guard lock(state_->backendMutex);
  return std::exchange(state_->backend, std::move(backend));
}

std::shared_ptr<DialogBackend> RunContext::Dialogs() {
  std::lock_guard lock(state_->backendMutex);
  if (!state_->backend) state_->backend = std::make_shared<ScriptedDialogs>();
  return state_->backend;
}

void RunContext::SetHelpFile(std::string file) {
  state_->helpFile = std::move(file);
}
const std::string& RunContext::HelpFile() const {
  return state_->helpFile;
}

void RunContext::SetWarningSink(std::function<void(const std::string&)> sink) {
  state_->warningSink = std::move(sink);
}

std::vector<RememberedSetting> RunContext::TakeRememberedSettings() {
  return std::exchange(state_->remembered, {});
}

std::shared_ptr<ProgressDisplay> RunContext::SetProgressDisplay(
    std::shared_ptr<ProgressDisplay> display) {
  return std::exchange(state_->progress, std::move(display));
}
std::shared_ptr<ProgressDisplay> RunContext::Progress() const {
  return state_->progress;
}

void RunContext::SetCopyNamedFiles(bool copy) {
  state_->copyNamedFiles = copy;
}
bool RunContext::CopyNamedFiles() const {
  return state_->copyNamedFiles;
}
void RunContext::NoteNamedFile(NamedFile file) {
  state_->namedFiles.push_back(std::move(file));
}
const std::vector<NamedFile>& RunContext::NamedFiles() const {
  return state_->namedFiles;
}
void RunContext::ClearNamedFiles() {
  state_->namedFiles.clear();
}

void RunContext::NoteNothingDone(std::string reason) {
  state_->nothingDone = std::move(reason);
}
const std::optional<std::string>& RunContext::NothingDoneReason() const {
  return state_->nothingDone;
}
void RunContext::NoteRunFailed(std::string description) {
  state_->failure = std::move(description);
}
const std::optional<std::string>& RunContext::RunFailure() const {
  return state_->failure;
}
void RunContext::ClearRunOutcome() {
  state_->nothingDone.reset();
  state_->failure.reset();
}

ErrorRecord& RunContext::LastError() noexcept {
  return state_->lastError;
}

}  // namespace vlm
