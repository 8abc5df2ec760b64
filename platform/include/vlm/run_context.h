// Everything one run of a plug-in shares besides its arguments: where its dialogs go, where
// its warnings go, the settings it reads, the progress display, the files it stages, the
// textures its exports name, what it says about its outcome and the last error.
//
// The host makes one context for each run, fills it, hands it to its own code and installs
// it for the plug-in with a Scope. The plug-ins' free functions (Form::ShowModal, MsgBox,
// Warn, GetSetting, ProgressTask, WriteOutputFile, NoteNothingDone, ...) act on the context
// installed; with none installed they act on the default context, which code that runs without
// a host (a test, a tool) uses. A run never sees what an earlier run left in its own context.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vlm/error.h"
#include "vlm/named_files.h"
#include "vlm/settings.h"

namespace vlm {

class DialogBackend;
class ProgressDisplay;

namespace detail {
struct RunState;
}

class RunContext {
 public:
  RunContext();
  ~RunContext();
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  // The context installed by the innermost Scope, else the default context.
  static RunContext& Current() noexcept;

  // Installs a context for as long as it lives, then puts back the one installed before.
  class Scope {
   public:
    explicit Scope(RunContext& context) noexcept;
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    RunContext* previous_;
  };

  // ---- dialogs ------------------------------------------------------------------------------
  // The back-end the run's forms and message boxes go to; returns the previous one. Without
  // one (nullptr) a scripted back-end that accepts every dialog as it opens is made on first
  // use.
  std::shared_ptr<DialogBackend> SetDialogBackend(std::shared_ptr<DialogBackend> backend);
  // The back-end, held for the length of one call: a handler that installs another back-end
  // while a form is shown must not destroy the one that shows it.
  std::shared_ptr<DialogBackend> Dialogs();
  void SetHelpFile(std::string file);
  const std::string& HelpFile() const;

  // ---- warnings -----------------------------------------------------------------------------
  // Where Warn goes; without a sink (nullptr) a warning is written to stderr.
  void SetWarningSink(std::function<void(const std::string&)> sink);
  void Warn(const std::string& message);

  // ---- settings -----------------------------------------------------------------------------
  // Fresh settings: reads see nothing of the settings file, as on a first run, and saves go to
  // this context only, so the run is independent of earlier ones and leaves the file alone.
  void UseFreshSettings(bool fresh);
  bool FreshSettings() const;
  // Held settings: saves and deletions go to this context, where the run's own reads see them,
  // and reach the settings file only through StoreHeldSettings, which the host calls once the
  // run has succeeded; a run that fails or does nothing remembers nothing. Fresh settings,
  // which never reach the file, take precedence.
  void HoldSettings(bool hold);
  // Writes what the run saved and deleted to the settings file in one locked change; vlm::Error
  // (75) naming the file when it cannot be written or is damaged.
  void StoreHeldSettings();
  // The values GetSetting took from the settings file since the last call, in the order first
  // read.
  std::vector<RememberedSetting> TakeRememberedSettings();

  // ---- progress -----------------------------------------------------------------------------
  // The display long work reports to (nullptr: none); returns the previous one.
  std::shared_ptr<ProgressDisplay> SetProgressDisplay(std::shared_ptr<ProgressDisplay> display);
  std::shared_ptr<ProgressDisplay> Progress() const;

  // ---- files the exports name ---------------------------------------------------------------
  // Whether the host copies the files the run's exports name beside them.
  void SetCopyNamedFiles(bool copy);
  bool CopyNamedFiles() const;
  void NoteNamedFile(NamedFile file);
  const std::vector<NamedFile>& NamedFiles() const;
  void ClearNamedFiles();

  // ---- the outcome --------------------------------------------------------------------------
  // The plug-in refused its input with its own message and changed nothing.
  void NoteNothingDone(std::string reason);
  const std::optional<std::string>& NothingDoneReason() const;
  // The plug-in reported an error in its own message box and returned success.
  void NoteRunFailed(std::string description);
  const std::optional<std::string>& RunFailure() const;
  void ClearRunOutcome();

  // The error behind the last failed status, kept until the next failure.
  ErrorRecord& LastError() noexcept;

  // The platform's own part of the state (the staged files, the fresh settings store).
  detail::RunState& State() noexcept { return *state_; }

 private:
  std::unique_ptr<detail::RunState> state_;
};

}  // namespace vlm
