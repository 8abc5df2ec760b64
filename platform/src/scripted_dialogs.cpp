// The scripted dialog back-end: plays the actions against each form as it is shown, moving the
// focus as a person would, or accepts the form as it opens when there is no script.
#include <algorithm>
#include <cctype>
#include <vector>

#include "scripted_internal.h"
#include "vlm/control_kinds.h"

namespace vlm {

namespace {

using scripted::Describe;
using scripted::OnExit;
using scripted::Quote;
using scripted::ScriptError;
using scripted::Where;

std::string ButtonList(const Form& form) {
  std::string list;
  for (const Control* control : form.Controls()) {
    if (control->Kind() != ControlKind::CommandButton || !control->Visible()) continue;
    list += (list.empty() ? "" : ", ") + control->FullName() + " " + Quote(control->Caption());
    if (!control->Enabled()) list += " (disabled)";
  }
  return list.empty() ? "it has no buttons" : "its buttons: " + list;
}

std::string ControlList(const Form& form) {
  std::string list;
  for (const Control* control : form.Controls()) {
    list += (list.empty() ? "" : ", ") + control->FullName();
  }
  return list.empty() ? "it has no controls" : "its controls: " + list;
}

// The edit distance between two names, without regard to case.
size_t Distance(const std::string& a, const std::string& b) {
  auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j)
    row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min(
          {row[j] + 1, row[j - 1] + 1, diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// A name the form does not have: the names nearest to it (or whose label it is), a slip of
// the keyboard away; else the names themselves when they are few, else where to find them.
std::string Suggestions(const Form& form, const std::string& name) {
  std::vector<std::pair<size_t, std::string>> near;
  const size_t limit = std::max<size_t>(2, name.size() / 3);
  for (const Control* control : form.Controls()) {
    const std::string label = LabelOf(*control);
    size_t d = std::min(Distance(name, control->FullName()), Distance(name, control->Name()));
    if (!label.empty()) d = std::min(d, Distance(name, label));
    if (d <= limit)
      near.emplace_back(d, control->FullName() + (label.empty() ? "" : " " + Quote(label)));
  }
  std::stable_sort(near.begin(), near.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (!near.empty()) {
    std::string list;
    for (size_t i = 0; i < near.size() && i < 3; ++i)
      list += (i == 0                                      ? ""
               : i + 1 == std::min<size_t>(near.size(), 3) ? " or "
                                                           : ", ") +
              near[i].second;
    return "did you mean " + list + "?";
  }
  if (form.Controls().size() <= 12) return ControlList(form);
  return "it has " + std::to_string(form.Controls().size()) +
         " controls (vlmhost describe lists them)";
}

[[noreturn]] void Fail(const Form& form, const DialogAction& action, const std::string& problem) {
  throw ScriptError(Where(action) + Describe(form) + ", action " + Quote(action.text) + ": " +
                    problem);
}

std::string TargetName(const DialogAction& action) {
  return action.index >= 0 ? action.name + "(" + std::to_string(action.index) + ")" : action.name;
}

// The control an action names, which must be there to be used.
Control& Target(Form& form, const DialogAction& action) {
  Control* control = form.FindControl(action.name, action.index);
  if (!control) {
    Fail(
        form, action,
        "there is no control " + TargetName(action) + "; " + Suggestions(form, TargetName(action)));
  }
  if (!control->Visible()) Fail(form, action, control->FullName() + " is hidden");
  if (!control->Enabled()) Fail(form, action, control->FullName() + " is disabled");
  return *control;
}

CommandButton* FindButton(const Form& form, bool isDefault) {
  for (Control* control : form.Controls()) {
    if (control->Kind() != ControlKind::CommandButton) continue;
    auto* button = static_cast<CommandButton*>(control);
    if (isDefault ? button->Default : button->Cancel) return button;
  }
  return nullptr;
}

// Enter or Escape: the default or cancel button, without moving the focus. `required` makes a
// missing button an error (the enter and escape actions); a key press on a form without one
// does nothing, as it would for a person.
void PressButton(Form& form, const DialogAction& action, bool isDefault, bool required) {
  const char* which = isDefault ? "default" : "cancel";
  CommandButton* button = FindButton(form, isDefault);
  if (!button) {
    if (!required) return;
    Fail(form, action, std::string("the dialog has no ") + which + " button; " + ButtonList(form));
  }
  if (!button->Visible() || !button->Enabled()) {
    if (!required) return;
    Fail(form, action,
         std::string("its ") + which + " button " + button->FullName() + " is " +
             (button->Visible() ? "disabled" : "hidden"));
  }
  if (button->Click) button->Click();
}

}  // namespace

ScriptedDialogs::ScriptedDialogs() : scripted_(false) {}

ScriptedDialogs::ScriptedDialogs(std::vector<DialogAction> actions)
    : scripted_(true),
      actions_(std::make_move_iterator(actions.begin()), std::make_move_iterator(actions.end())) {}

void ScriptedDialogs::RunModal(Form& form) {
  OnExit closed{[this, &form] {
    if (formObserver_) formObserver_(form);
  }};
  try {
    PlayForm(form);
  } catch (const ScriptError& e) {
    if (!failure_) failure_ = e.Description();
    throw;
  }
}

void ScriptedDialogs::PlayForm(Form& form) {
  if (failure_)
    throw ScriptError(Describe(form) + " was not shown: the dialog script failed earlier");
  Record(TranscriptEntry::Kind::Dialog, form.Caption(), form.Name());
  // Remembered values change what a run does, so each one the dialog starts from is shown.
  for (const Form::Remembered& remembered : form.TakeRemembered())
    Record(TranscriptEntry::Kind::Remembered, form.Caption(),
           remembered.where + " = " + ScriptQuoted(remembered.value));
  focus_.emplace_back(&form, nullptr);
  changes_.emplace_back();
  OnExit forget{[this, &form] {
    changes_.pop_back();
    auto it = std::find_if(focus_.rbegin(), focus_.rend(),
                           [&form](const auto& entry) { return entry.first == &form; });
    if (it != focus_.rend()) focus_.erase(std::next(it).base());
  }};
  if (!scripted_) {
    AcceptAsItOpens(form);
    return;
  }
  while (form.IsShown()) {
    if (actions_.empty()) {
      throw ScriptError(Describe(form) + " is still open and the actions ran out; " +
                        ButtonList(form));
    }
    DialogAction action = std::move(actions_.front());
    actions_.pop_front();
    Play(form, action);
  }
  RecordChanges(form);
}

void ScriptedDialogs::AcceptAsItOpens(Form& form) {
  DialogAction enter;
  enter.kind = DialogAction::Kind::Enter;
  enter.text = "enter";
  PressButton(form, enter, true, false);
  if (form.IsShown()) {
    DialogAction escape;
    escape.kind = DialogAction::Kind::Escape;
    escape.text = "escape";
    PressButton(form, escape, false, false);
  }
  if (form.IsShown()) {
    throw ScriptError(Describe(form) +
                      " is still open after pressing its default and cancel buttons; " +
                      ButtonList(form));
  }
}

void ScriptedDialogs::MoveFocus(Form& form, Control* to) {
  if (to && !TakesFocus(*to)) return;
  auto entry = [this, &form]() -> Control*& {
    auto it = std::find_if(focus_.rbegin(), focus_.rend(),
                           [&form](const auto& e) { return e.first == &form; });
    if (it != focus_.rend()) return it->second;
    return focus_.emplace_back(&form, nullptr).second;
  };
  Control* from = entry();
  if (from && from != to && from->LostFocus) from->LostFocus();
  entry() = to;  // looked up again: the handler may have shown another form
}

void ScriptedDialogs::Play(Form& form, const DialogAction& action) {
  using Kind = DialogAction::Kind;
  switch (action.kind) {
    case Kind::Set: {
      Control& control = Target(form, action);
      MoveFocus(form, &control);
      NoteChange(control, action.value);
      std::string problem = SetValueFromText(control, action.value);
      if (!problem.empty()) Fail(form, action, problem);
      return;
    }
    case Kind::Click: {
      Control& control = Target(form, action);
      MoveFocus(form, &control);
      // A click that changes the value (a check box's tick) is that value being set.
      if (std::optional<std::string> value = ClickedValue(control)) {
        NoteChange(control, *value);
        std::string problem = SetValueFromText(control, *value);
        if (!problem.empty()) Fail(form, action, problem);
      } else if (control.Click) {
        // Echoed before what the click makes happen, as the person would see it.
        Record(TranscriptEntry::Kind::Note, form.Caption(), "clicked " + control.FullName());
        control.Click();
      }
      return;
    }
    case Kind::Enter:
      PressButton(form, action, true, true);
      return;
    case Kind::Escape:
      PressButton(form, action, false, true);
      return;
    case Kind::Key:
      PlayKey(form, action);
      return;
    case Kind::Input:
      Fail(form, action, "it answers an input box, but none is open");
    case Kind::File:
      Fail(form, action, "it answers a file dialog, but none is open");
    case Kind::Color:
      Fail(form, action, "it answers a colour dialog, but none is open");
    case Kind::Answer:
      Fail(form, action, "it answers a message box, but none is open");
  }
}

void ScriptedDialogs::PlayKey(Form& form, const DialogAction& action) {
  bool received = false;
  if (form.KeyPreview && form.KeyDown) {
    form.KeyDown(action.keyCode, action.shiftState);
    received = true;
  }
  if (!form.IsShown()) return;  // the handler closed the form
  if (action.keyCode == key::F1) {
    // Through the current back-end, as the form's own F1 would.
    if (!received) vlm::ShowHelp();
  } else if (action.shiftState == 0 && action.keyCode == key::Enter) {
    PressButton(form, action, true, false);
  } else if (action.shiftState == 0 && action.keyCode == key::Escape) {
    PressButton(form, action, false, false);
  }
}

}  // namespace vlm
