#include "vlm/refusal.h"

#include "vlm/run_outcome.h"

namespace vlm {

void RefuseRun(const std::string& prompt, int buttons, const std::string& title) {
  MsgBox(prompt, buttons, title);
  NoteNothingDone(prompt);
}

void RefuseOperation(const std::string& reason) {
  NoteNothingDone(reason);
}

void ReportRunError(const Error& error, const std::string& prompt, int buttons,
                    const std::string& title) {
  MsgBox(prompt, buttons, title);
  NoteRunFailed("error " + std::to_string(error.Number()) + ": " + error.Description());
}

}  // namespace vlm
