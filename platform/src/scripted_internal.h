// What the files of the scripted dialog back-end share: its own kind of error, the message box
// buttons by name and the way its messages name a dialog and an action.
#pragma once

#include <string>

#include "dialog_text.h"
#include "vlm/error.h"
#include "vlm/scripted_dialogs.h"

namespace vlm::scripted {

using dialog_text::Quote;

// A fault of the dialog script itself (as opposed to an error of the plug-in's own code
// that merely passes through the back-end): recorded, so that a plug-in that catches every
// error cannot hide it from the host.
class ScriptError : public Error {
 public:
  explicit ScriptError(std::string description)
      : Error(err::InvalidProcedureCall, std::move(description)) {}
};

struct NamedButton {
  const char* name;
  int answer;
};
inline constexpr NamedButton kButtons[] = {
    {"OK", mb::OK},         {"Cancel", mb::Cancel}, {"Abort", mb::Abort}, {"Retry", mb::Retry},
    {"Ignore", mb::Ignore}, {"Yes", mb::Yes},       {"No", mb::No},
};

inline const char* ButtonName(int answer) {
  for (const NamedButton& b : kButtons) {
    if (b.answer == answer) return b.name;
  }
  return "?";
}

inline std::string Describe(const Form& form) {
  return "dialog " + Quote(form.Caption()) + " (" + form.Name() + ")";
}

// "actions.txt:3: " for an action of a script file.
inline std::string Where(const DialogAction& action) {
  return action.where.empty() ? std::string() : action.where + ": ";
}

// Runs `f` when the scope ends, however it ends.
template <class F>
struct OnExit {
  F f;
  ~OnExit() { f(); }
};
template <class F>
OnExit(F) -> OnExit<F>;

}  // namespace vlm::scripted
