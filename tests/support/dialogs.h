// Runs code with a scripted dialog back-end and gives its transcript.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vlm/scripted_dialogs.h"

namespace vlm::test {

class ScriptedScope {
 public:
  // With no script, every dialog is accepted as it opens.
  explicit ScriptedScope(const std::string& script = {})
      : backend_(script.empty() ? std::make_shared<ScriptedDialogs>()
                                : std::make_shared<ScriptedDialogs>(ParseDialogScript(script))),
        previous_(SetDialogBackend(backend_)) {}
  ~ScriptedScope() { SetDialogBackend(previous_); }
  ScriptedScope(const ScriptedScope&) = delete;
  ScriptedScope& operator=(const ScriptedScope&) = delete;

  ScriptedDialogs& Backend() { return *backend_; }
  // The texts of the transcript entries of one kind, in order.
  std::vector<std::string> Texts(TranscriptEntry::Kind kind) const {
    std::vector<std::string> out;
    for (const auto& e : backend_->Transcript())
      if (e.kind == kind) out.push_back(e.text);
    return out;
  }
  std::vector<std::string> Messages() const { return Texts(TranscriptEntry::Kind::MessageBox); }

 private:
  std::shared_ptr<ScriptedDialogs> backend_;
  std::shared_ptr<DialogBackend> previous_;
};

}  // namespace vlm::test
