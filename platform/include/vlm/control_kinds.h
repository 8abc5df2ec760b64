// What each kind of control means to a dialog back-end: its name, whether it takes the focus,
// its value, entries and range, how a typed value or a click changes it, and how a change is
// reported. The knowledge of every kind sits in one table (control_kinds.cpp), so a new kind is
// described in one place and every back-end (scripted or on screen) and `describe` agree.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "vlm/forms.h"

namespace vlm {

// A control's value: a number (check box, option button, slider) or a text (text field, list,
// tab strip).
using ControlValue = std::variant<int, std::string>;

// Labels, frames and the common dialog never take the focus; every other kind does.
bool TakesFocus(const Control& control);

// What a person reads the control by: its own caption, else the caption of the label that
// names it (its buddy, or a label just before it in the same container that names nothing
// else), without "&" marks and a closing ":" ("Inset" for txt(1)); "" when nothing names it.
std::string LabelOf(const Control& control);

// The control's value; nullopt for kinds without one (buttons, labels, frames, pictures).
std::optional<ControlValue> ValueOf(const Control& control);
// The value as a script writes it: "1", "Oak".
std::string ValueText(const ControlValue& value);
// The entries a value is chosen from (a list's entries, a tab strip's captions); nullopt for
// kinds without them.
std::optional<std::vector<std::string>> EntriesOf(const Control& control);
// The range of a slider; nullopt for other kinds.
std::optional<std::pair<int, int>> RangeOf(const Control& control);

// Gives the control a value as a person would type or choose it: a text field's text, a check
// box's 0, 1 or 2, an option button's 1, a slider's whole number in range, a list's entry, a
// tab's caption. Raises the events the change raises. Returns what is wrong with the value (and
// leaves the control as it was), or "" when it was set.
std::string SetValueFromText(Control& control, const std::string& text);
// The value a click gives the control, as SetValueFromText takes it ("1" for an unticked check
// box); nullopt when a click only raises Click.
std::optional<std::string> ClickedValue(const Control& control);

// Whether a change a script made to the control is reported when its dialog closes.
bool ReportsChanges(const Control& control);
// How such a change reads after "NAME = ": the value as typed and as the control took it
// (txt(1) = "abc" -> 0), with a warning when the control could not read what was typed.
struct ChangeReport {
  std::string value;
  std::optional<std::string> warning;
};
ChangeReport ReportChange(const Control& control, const std::string& typed);

}  // namespace vlm
