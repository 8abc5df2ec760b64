// The scripted dialog back-end: parses the action language and plays it against the forms
// and dialogs as they open, recording what a person would have seen.
#include "vlm/scripted_dialogs.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "vlm/error.h"
#include "vlm/text.h"

namespace vlm {

namespace {

// A fault of the dialog script itself (as opposed to an error of the plug-in's own code
// that merely passes through the back-end): recorded, so that a plug-in that catches every
// error cannot hide it from the host.
class ScriptError : public Error {
 public:
  explicit ScriptError(std::string description)
      : Error(err::InvalidProcedureCall, std::move(description)) {}
};

// What separates the words of an action (line ends too: a script given on the command line
// may span lines).
constexpr std::string_view kSeparators = " \t\r\n";

std::string_view TrimWord(std::string_view s) {
  return TrimAny(s, kSeparators);
}

std::string Quote(std::string_view s) {
  return "\"" + std::string(s) + "\"";
}

// A whole decimal integer, with an optional sign, and nothing else.
bool ParseInt(std::string_view s, int& out) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

// "txt" or "txt(0)": a name starts with a letter or "_" and holds letters, digits and "_".
bool ParseControlName(std::string_view s, std::string& name, int& index) {
  auto isStart = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; };
  auto isPart = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  if (s.empty() || !isStart(s.front())) return false;
  size_t end = 1;
  while (end < s.size() && isPart(s[end]))
    ++end;
  name = std::string(s.substr(0, end));
  index = -1;
  if (end == s.size()) return true;
  if (s[end] != '(' || s.back() != ')') return false;
  std::string_view digits = TrimWord(s.substr(end + 1, s.size() - end - 2));
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    return false;
  }
  return ParseInt(digits, index);
}

struct NamedKey {
  const char* name;
  int code;
};
constexpr NamedKey kNamedKeys[] = {
    {"tab", key::Tab},    {"enter", key::Enter}, {"return", key::Enter}, {"escape", key::Escape},
    {"esc", key::Escape}, {"space", 32},         {"backspace", 8},       {"delete", 46},
};

// Parses "ctrl+shift+F1"; returns what is wrong, or "" when it is a key.
std::string ParseKey(std::string_view text, int& code, int& shiftState) {
  shiftState = 0;
  for (;;) {
    size_t plus = text.find('+');
    if (plus == std::string_view::npos) break;
    std::string modifier = ToLower(TrimWord(text.substr(0, plus)));
    if (modifier == "ctrl" || modifier == "control") {
      shiftState |= shift::Ctrl;
    } else if (modifier == "shift") {
      shiftState |= shift::Shift;
    } else if (modifier == "alt") {
      shiftState |= shift::Alt;
    } else {
      return Quote(modifier) + " is not ctrl, shift or alt";
    }
    text = text.substr(plus + 1);
  }
  std::string name = ToLower(TrimWord(text));
  if (name.empty()) return "no key after the modifiers";
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
    code = ToUpper(name[0]);  // key codes of letters: 'A'..'Z'
    return {};
  }
  int number = 0;
  if (name[0] == 'f' && ParseInt(std::string_view(name).substr(1), number) && number >= 1 &&
      number <= 12 && std::isdigit(static_cast<unsigned char>(name[1]))) {
    code = key::F1 + number - 1;
    return {};
  }
  for (const NamedKey& named : kNamedKeys) {
    if (name == named.name) {
      code = named.code;
      return {};
    }
  }
  return "unknown key " + Quote(TrimWord(text)) +
         "; the keys are F1..F12, Tab, Enter, Escape, Space, Backspace, Delete, a letter or a "
         "digit";
}

struct NamedButton {
  const char* name;
  int answer;
};
constexpr NamedButton kButtons[] = {
    {"OK", mb::OK},         {"Cancel", mb::Cancel}, {"Abort", mb::Abort}, {"Retry", mb::Retry},
    {"Ignore", mb::Ignore}, {"Yes", mb::Yes},       {"No", mb::No},
};

const char* ButtonName(int answer) {
  for (const NamedButton& b : kButtons) {
    if (b.answer == answer) return b.name;
  }
  return "?";
}

// The buttons a message box style offers, the first being the one Enter presses.
std::vector<int> OfferedButtons(int style) {
  switch (style & 7) {
    case mb::OKOnly:
      return {mb::OK};
    case mb::OKCancel:
      return {mb::OK, mb::Cancel};
    case mb::AbortRetryIgnore:
      return {mb::Abort, mb::Retry, mb::Ignore};
    case mb::YesNoCancel:
      return {mb::Yes, mb::No, mb::Cancel};
    case mb::YesNo:
      return {mb::Yes, mb::No};
    case mb::RetryCancel:
      return {mb::Retry, mb::Cancel};
  }
  return {};
}

std::string ButtonNames(const std::vector<int>& answers) {
  std::string out;
  for (int answer : answers)
    out += (out.empty() ? "" : ", ") + std::string(ButtonName(answer));
  return out;
}

// One action as the scanner cut it out of the script: its text as written and, when its value
// was quoted, the value with the quotes and escapes taken away.
struct ScannedAction {
  std::string_view text;
  std::optional<std::string> quoted;
};

// The actions that take a value after a blank (NAME=VALUE takes it after "=").
bool TakesWordValue(std::string_view word) {
  std::string w = ToLower(word);
  return w == "input" || w == "file" || w == "answer";
}

DialogAction ParseAction(const ScannedAction& scanned, const std::string& origin) {
  std::string_view text = scanned.text;
  auto fail = [&](const std::string& problem) -> DialogAction {
    throw Error(err::InvalidProcedureCall, origin + ": " + problem);
  };
  DialogAction action;
  action.text = std::string(text);

  size_t equals = text.find('=');
  std::string_view target = TrimWord(text.substr(0, equals));
  if (equals != std::string_view::npos && ParseControlName(target, action.name, action.index)) {
    if (scanned.quoted) {
      action.value = *scanned.quoted;
      return action;
    }
    std::string_view value = TrimWord(text.substr(equals + 1));
    if (value.empty()) return fail(Quote(text) + " has no value (write \"\" for an empty text)");
    action.value = value == "\"\"" ? std::string() : std::string(value);
    return action;
  }

  size_t blank = text.find_first_of(kSeparators);
  std::string word = ToLower(text.substr(0, blank));
  std::string_view rest = blank == std::string_view::npos ? "" : TrimWord(text.substr(blank));
  if (scanned.quoted) rest = *scanned.quoted;
  using Kind = DialogAction::Kind;
  if (word == "click") {
    action.kind = Kind::Click;
    if (rest.empty()) return fail(Quote(text) + " needs the name of a control");
    if (!ParseControlName(rest, action.name, action.index)) {
      return fail(Quote(text) + ": " + Quote(rest) + " is not a control name");
    }
  } else if (word == "enter" || word == "escape") {
    action.kind = word == "enter" ? Kind::Enter : Kind::Escape;
    if (!rest.empty()) return fail(Quote(text) + ": " + word + " takes nothing after it");
  } else if (word == "key") {
    action.kind = Kind::Key;
    if (rest.empty()) return fail(Quote(text) + " needs a key (F1, Tab, ctrl+Tab, ...)");
    std::string problem = ParseKey(rest, action.keyCode, action.shiftState);
    if (!problem.empty()) return fail(Quote(text) + ": " + problem);
    action.name = std::string(rest);
  } else if (word == "input") {
    action.kind = Kind::Input;
    action.value = std::string(rest);
  } else if (word == "file") {
    action.kind = Kind::File;
    action.value = std::string(rest);
    action.cancel = rest.empty();  // a quoted "" cancels too: no file has an empty name
  } else if (word == "color" || word == "colour") {
    action.kind = Kind::Color;
    action.cancel = rest.empty();
    if (!action.cancel) {
      int rgb[3] = {0, 0, 0};
      int count = 0;
      std::string_view left = rest;
      for (;;) {
        size_t comma = left.find(',');
        std::string_view part = TrimWord(left.substr(0, comma));
        if (count == 3) return fail(Quote(text) + ": expected three components R,G,B");
        if (!ParseInt(part, rgb[count]) || rgb[count] < 0 || rgb[count] > 255) {
          return fail(Quote(text) + ": components must be 0..255");
        }
        ++count;
        if (comma == std::string_view::npos) break;
        left = left.substr(comma + 1);
      }
      if (count != 3) return fail(Quote(text) + ": expected three components R,G,B");
      action.color = rgb[0] + 256 * rgb[1] + 65536 * rgb[2];
    }
  } else if (word == "answer") {
    action.kind = Kind::Answer;
    std::string wanted = ToLower(rest);
    for (const NamedButton& b : kButtons) {
      if (ToLower(b.name) == wanted) {
        action.button = b.answer;
        action.value = b.name;
      }
    }
    if (action.button == 0) {
      return fail(Quote(text) + ": " +
                  (rest.empty() ? "no button given" : "unknown button " + Quote(rest)) +
                  "; the buttons are OK, Cancel, Abort, Retry, Ignore, Yes, No");
    }
  } else if (equals != std::string_view::npos) {
    return fail(Quote(text) + ": " + Quote(target) + " is not a control name");
  } else {
    return fail("unknown action " + Quote(text) +
                "; the actions are NAME=VALUE, click NAME, enter, escape, key KEY, input TEXT, "
                "file [PATH], color [R,G,B] and answer BUTTON");
  }
  return action;
}

// ---- playing against a form -----------------------------------------------------------------

std::string Describe(const Form& form) {
  return "dialog " + Quote(form.Caption()) + " (" + form.Name() + ")";
}

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

std::string QuotedList(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items)
    list += (list.empty() ? "" : ", ") + Quote(item);
  return list;
}

bool IsList(const Control& control) {
  return control.Kind() == ControlKind::ListBox || control.Kind() == ControlKind::ComboBox;
}

// The value of a text field, check box or list as the script writes it.
std::string ValueText(const Control& control) {
  switch (control.Kind()) {
    case ControlKind::TextBox:
      return static_cast<const TextBox&>(control).Text();
    case ControlKind::CheckBox:
      return std::to_string(static_cast<const CheckBox&>(control).Value());
    case ControlKind::ListBox:
    case ControlKind::ComboBox:
      return static_cast<const ListControl&>(control).Text();
    default:
      return {};
  }
}

// The index in a full name: 2 for "chkSF(2)", -1 for "cmdOK".
int ControlIndex(const std::string& fullName) {
  size_t open = fullName.find('(');
  int index = -1;
  if (open != std::string::npos)
    ParseInt(std::string_view(fullName).substr(open + 1, fullName.size() - open - 2), index);
  return index;
}

// "actions.txt:3: " for an action of a script file.
std::string Where(const DialogAction& action) {
  return action.where.empty() ? std::string() : action.where + ": ";
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
    Fail(form, action, "there is no control " + TargetName(action) + "; " + ControlList(form));
  }
  if (!control->Visible()) Fail(form, action, control->FullName() + " is hidden");
  if (!control->Enabled()) Fail(form, action, control->FullName() + " is disabled");
  return *control;
}

// Labels, frames and the common dialog never take the focus.
bool TakesFocus(const Control& control) {
  switch (control.Kind()) {
    case ControlKind::Label:
    case ControlKind::Frame:
    case ControlKind::CommonDialog:
      return false;
    default:
      return true;
  }
}

CommandButton* FindButton(const Form& form, bool isDefault) {
  for (Control* control : form.Controls()) {
    if (control->Kind() != ControlKind::CommandButton) continue;
    auto* button = static_cast<CommandButton*>(control);
    if (isDefault ? button->Default : button->Cancel) return button;
  }
  return nullptr;
}

void SetValue(Form& form, Control& control, const DialogAction& action) {
  const std::string& value = action.value;
  switch (control.Kind()) {
    case ControlKind::TextBox:
      static_cast<TextBox&>(control).SetText(value);
      return;
    case ControlKind::CheckBox:
      if (value != "0" && value != "1" && value != "2") {
        Fail(form, action, "a check box takes 0 (unticked), 1 (ticked) or 2 (greyed)");
      }
      static_cast<CheckBox&>(control).SetValue(value[0] - '0');
      return;
    case ControlKind::OptionButton:
      if (value != "1") {
        Fail(form, action,
             "an option button can only be set to 1; choose another option of its group to "
             "clear it");
      }
      static_cast<OptionButton&>(control).SetValue(true);
      return;
    case ControlKind::Slider: {
      auto& slider = static_cast<Slider&>(control);
      std::string range = std::to_string(slider.Min()) + ".." + std::to_string(slider.Max());
      int number = 0;
      if (!ParseInt(value, number)) Fail(form, action, "a slider takes a whole number " + range);
      if (number < slider.Min() || number > slider.Max()) {
        Fail(form, action, value + " is outside the slider's range " + range);
      }
      slider.SetValue(number);
      if (slider.Scroll) slider.Scroll();
      return;
    }
    case ControlKind::ListBox:
    case ControlKind::ComboBox: {
      auto& list = static_cast<ListControl&>(control);
      int found = list.FindItem(value);
      if (found < 0) {
        Fail(form, action,
             control.FullName() + " has no entry " + Quote(value) + "; " +
                 (list.ListCount() == 0 ? "it is empty"
                                        : "its entries: " + QuotedList(list.Items())));
      }
      if (control.Kind() == ControlKind::ComboBox) {
        static_cast<ComboBox&>(control).SetText(value);
      } else {
        list.SetListIndex(found);
      }
      return;
    }
    case ControlKind::TabStrip: {
      auto& tabs = static_cast<TabStrip&>(control);
      int found = tabs.FindTab(value);
      if (found == 0) {
        std::vector<std::string> captions;
        for (int i = 1; i <= tabs.TabCount(); ++i)
          captions.push_back(tabs.TabAt(i).caption);
        Fail(form, action,
             control.FullName() + " has no tab " + Quote(value) + "; " +
                 (captions.empty() ? "it has no tabs" : "its tabs: " + QuotedList(captions)));
      }
      tabs.SetSelectedIndex(found);
      return;
    }
    default:
      Fail(form, action,
           std::string("cannot set a ") + ControlKindName(control.Kind()) +
               (control.Kind() == ControlKind::CommandButton ? " (click it instead)" : ""));
  }
}

void ClickOn(Control& control) {
  switch (control.Kind()) {
    case ControlKind::CheckBox: {
      auto& box = static_cast<CheckBox&>(control);
      box.SetValue(box.Value() == 0 ? 1 : 0);
      return;
    }
    case ControlKind::OptionButton:
      static_cast<OptionButton&>(control).SetValue(true);
      return;
    default:
      if (control.Click) control.Click();
  }
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

template <class F>
struct OnExit {
  F f;
  ~OnExit() { f(); }
};
template <class F>
OnExit(F) -> OnExit<F>;

}  // namespace

namespace {

bool IsLineBreak(char c) {
  return c == '\n' || c == '\r';
}

// Cuts the script into actions. An action ends at ";" (and, in a script file, at a line
// break), except inside a quoted value: a value that starts with a double quote (right after
// "=", or after input, file or answer) runs to the closing quote, with \" and \\ standing
// for a quote and a backslash. A quote anywhere else is an ordinary character, so 6" still
// means six inches, and a value whose quote is not closed before the end of its action (or is
// followed by more text) is taken as it is written, as it always was.
class Scanner {
 public:
  Scanner(std::string_view script, const std::string& origin, bool file)
      : s_(script), origin_(origin), file_(file) {}

  std::vector<DialogAction> Run() {
    std::vector<DialogAction> actions;
    while (pos_ < s_.size()) {
      SkipBlanks();
      if (pos_ >= s_.size()) break;
      char c = s_[pos_];
      if (c == ';') {
        ++pos_;
      } else if (file_ && IsLineBreak(c)) {
        if (c == '\n') ++line_;
        ++pos_;
      } else if (file_ && c == '#' && AtLineStart()) {  // a comment line
        while (pos_ < s_.size() && !IsLineBreak(s_[pos_]))
          ++pos_;
      } else {
        ScannedAction scanned = ScanOne();
        std::string_view trimmed = TrimWord(scanned.text);
        if (trimmed.empty()) continue;
        actions.push_back(ParseAction({trimmed, scanned.quoted}, Origin()));
        if (file_) actions.back().where = Origin();
      }
    }
    return actions;
  }

 private:
  std::string Origin() const { return file_ ? origin_ + ":" + std::to_string(line_) : origin_; }
  void SkipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t'))
      ++pos_;
  }
  bool AtLineStart() const {
    for (size_t i = pos_; i > 0; --i) {
      char c = s_[i - 1];
      if (IsLineBreak(c)) return true;
      if (c != ' ' && c != '\t') return false;
    }
    return true;
  }
  bool AtEnd(size_t at) const {
    return at >= s_.size() || s_[at] == ';' || (file_ && IsLineBreak(s_[at]));
  }
  bool AtEnd() const { return AtEnd(pos_); }

  ScannedAction ScanOne() {
    const size_t start = pos_;
    // The first word, to tell "input TEXT" and friends from NAME=VALUE.
    while (!AtEnd() && s_[pos_] != '=' && s_[pos_] != ' ' && s_[pos_] != '\t')
      ++pos_;
    bool valueStarts = false;
    if (pos_ < s_.size() && s_[pos_] != '=' && TakesWordValue(s_.substr(start, pos_ - start))) {
      SkipBlanks();
      valueStarts = true;
    } else {
      while (!AtEnd() && s_[pos_] != '=')
        ++pos_;
      if (!AtEnd()) {  // at "="
        ++pos_;
        SkipBlanks();
        valueStarts = true;
      }
    }
    ScannedAction scanned;
    if (valueStarts && pos_ < s_.size() && s_[pos_] == '"') scanned.quoted = ScanQuoted();
    while (!AtEnd())
      ++pos_;
    scanned.text = s_.substr(start, pos_ - start);
    return scanned;
  }

  // The quoted value at pos_, which moves past it; nullopt (pos_ unmoved) when the quote is
  // not closed before the action ends or more text follows it.
  std::optional<std::string> ScanQuoted() {
    std::string value;
    size_t at = pos_ + 1;
    for (;;) {
      if (at >= s_.size() || (file_ && IsLineBreak(s_[at]))) return std::nullopt;
      char c = s_[at++];
      if (c == '"') break;
      if (c == '\\' && at < s_.size() && (s_[at] == '"' || s_[at] == '\\')) {
        value += s_[at++];
      } else {
        value += c;  // any other backslash is itself: C:\dir\x.dds
      }
    }
    while (at < s_.size() && (s_[at] == ' ' || s_[at] == '\t' || (!file_ && IsLineBreak(s_[at]))))
      ++at;
    if (!AtEnd(at)) return std::nullopt;
    pos_ = at;
    return value;
  }

  std::string_view s_;
  const std::string& origin_;
  bool file_;
  size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

std::vector<DialogAction> ParseDialogScript(std::string_view script, const std::string& origin,
                                            bool file) {
  return Scanner(script, origin, file).Run();
}

// ---- ScriptedDialogs ------------------------------------------------------------------------

ScriptedDialogs::ScriptedDialogs() : scripted_(false) {}

ScriptedDialogs::ScriptedDialogs(std::vector<DialogAction> actions)
    : scripted_(true),
      actions_(std::make_move_iterator(actions.begin()), std::make_move_iterator(actions.end())) {}

void ScriptedDialogs::Record(TranscriptEntry::Kind kind, std::string title, std::string text) {
  transcript_.push_back(TranscriptEntry{kind, std::move(title), std::move(text)});
  if (observer_) {
    TranscriptEntry copy = transcript_.back();  // the observer may record more
    observer_(copy);
  }
}

std::optional<DialogAction> ScriptedDialogs::TakeNext(DialogAction::Kind kind) {
  if (actions_.empty() || actions_.front().kind != kind) return std::nullopt;
  DialogAction action = std::move(actions_.front());
  actions_.pop_front();
  return action;
}

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

void ScriptedDialogs::NoteChange(const Control& control, const std::string& typed) {
  if (changes_.empty() || (control.Kind() != ControlKind::TextBox &&
                           control.Kind() != ControlKind::CheckBox && !IsList(control))) {
    return;
  }
  auto& changes = changes_.back();
  auto it = std::find_if(changes.begin(), changes.end(),
                         [&](const Change& c) { return c.name == control.FullName(); });
  if (it == changes.end()) it = changes.insert(changes.end(), Change{control.FullName(), {}});
  it->typed = typed;
  it->changed = it->changed || ValueText(control) != typed;
}

void ScriptedDialogs::RecordChanges(const Form& form) {
  if (changes_.empty()) return;
  for (const Change& change : changes_.back()) {
    if (!change.changed) continue;
    const Control* control =
        form.FindControl(change.name.substr(0, change.name.find('(')), ControlIndex(change.name));
    if (!control) continue;
    std::string line = change.name + " = ";
    if (control->Kind() == ControlKind::TextBox) {
      const auto& box = static_cast<const TextBox&>(*control);
      line += Quote(change.typed);
      if (box.Reading()) {
        line += " -> " + *box.Reading();
      } else if (box.Text() != change.typed) {
        line += " -> " + Quote(box.Text());
      }
      Record(TranscriptEntry::Kind::Value, form.Caption(), line);
      if (box.ReadingFailed()) {
        Record(TranscriptEntry::Kind::Warning, form.Caption(),
               Describe(form) + ": " + change.name + " = " + Quote(change.typed) +
                   " is not a number the dialog can read; it was read as " + *box.Reading());
      }
    } else if (control->Kind() == ControlKind::CheckBox) {
      Record(TranscriptEntry::Kind::Value, form.Caption(), line + ValueText(*control));
    } else {
      Record(TranscriptEntry::Kind::Value, form.Caption(), line + Quote(ValueText(*control)));
    }
  }
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
      if (control.Kind() == ControlKind::TextBox) static_cast<TextBox&>(control).ForgetReading();
      SetValue(form, control, action);
      return;
    }
    case Kind::Click: {
      Control& control = Target(form, action);
      MoveFocus(form, &control);
      if (control.Kind() == ControlKind::CheckBox)
        NoteChange(control, static_cast<CheckBox&>(control).Value() == 0 ? "1" : "0");
      ClickOn(control);
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
    if (!received) ShowHelp(HelpFile());
  } else if (action.shiftState == 0 && action.keyCode == key::Enter) {
    PressButton(form, action, true, false);
  } else if (action.shiftState == 0 && action.keyCode == key::Escape) {
    PressButton(form, action, false, false);
  }
}

int ScriptedDialogs::MessageBox(const MessageBoxRequest& request) {
  try {
    return AnswerMessageBox(request);
  } catch (const ScriptError& e) {
    if (!failure_) failure_ = e.Description();
    throw;
  }
}

int ScriptedDialogs::AnswerMessageBox(const MessageBoxRequest& request) {
  Record(TranscriptEntry::Kind::MessageBox, request.title, request.prompt);
  std::vector<int> offered = OfferedButtons(request.buttons);
  if (offered.empty()) {
    throw ScriptError("message box " + Quote(request.prompt) + ": buttons style " +
                      std::to_string(request.buttons & 7) + " is not one of 0..5");
  }
  std::optional<DialogAction> answer = TakeNext(DialogAction::Kind::Answer);
  if (!answer) return offered.front();
  if (std::find(offered.begin(), offered.end(), answer->button) == offered.end()) {
    throw ScriptError(Where(*answer) + "action " + Quote(answer->text) + ": the message box " +
                      Quote(request.prompt) + " offers " + ButtonNames(offered));
  }
  return answer->button;
}

std::optional<std::string> ScriptedDialogs::InputBox(const InputBoxRequest& request) {
  Record(TranscriptEntry::Kind::InputBox, request.title, request.prompt);
  if (auto answer = TakeNext(DialogAction::Kind::Input)) {
    Record(TranscriptEntry::Kind::Note, request.title, "answered " + Quote(answer->value));
    return answer->value;
  }
  Record(TranscriptEntry::Kind::Note, request.title,
         "input box " + Quote(request.prompt) + ": no answer given, taking the default answer " +
             Quote(request.defaultAnswer));
  return request.defaultAnswer;
}

std::optional<std::string> ScriptedDialogs::FileDialog(const FileDialogRequest& request) {
  Record(TranscriptEntry::Kind::FileDialog, request.title,
         std::string(request.save ? "save" : "open") +
             (request.fileName.empty() ? "" : " " + request.fileName));
  if (auto answer = TakeNext(DialogAction::Kind::File)) {
    if (answer->cancel) return std::nullopt;
    return answer->value;
  }
  Record(TranscriptEntry::Kind::Note, request.title,
         "file dialog " + Quote(request.title) + ": no answer given, cancelling it");
  return std::nullopt;
}

std::optional<int32_t> ScriptedDialogs::ColorDialog(int32_t initial) {
  auto rgb = [](int32_t c) {
    return std::to_string(c & 0xFF) + "," + std::to_string((c >> 8) & 0xFF) + "," +
           std::to_string((c >> 16) & 0xFF);
  };
  Record(TranscriptEntry::Kind::ColorDialog, {}, rgb(initial));
  if (auto answer = TakeNext(DialogAction::Kind::Color)) {
    if (answer->cancel) return std::nullopt;
    return answer->color;
  }
  Record(TranscriptEntry::Kind::Note, {}, "colour dialog: no answer given, cancelling it");
  return std::nullopt;
}

void ScriptedDialogs::ShowHelp(const std::string& helpFile) {
  Record(TranscriptEntry::Kind::Help, {}, helpFile);
}

void ScriptedDialogs::Repaint(const Control& control) {
  if (control.Kind() != ControlKind::ListBox) return;
  const auto& list = static_cast<const ListControl&>(control);
  auto it = std::find_if(shownListLines_.begin(), shownListLines_.end(),
                         [&control](const auto& entry) { return entry.first == &control; });
  if (it == shownListLines_.end()) {
    shownListLines_.emplace_back(&control, 0);
    it = std::prev(shownListLines_.end());
  }
  long long shown = it->second;
  long long added = list.ItemsAdded();
  if (added < shown) shown = 0;  // another list now lives where a destroyed one did
  it->second = added;            // before recording: an observer may repaint again
  long long fresh = std::min<long long>(added - shown, list.ListCount());
  std::string title = control.Parent().Caption();
  for (long long i = list.ListCount() - fresh; i < list.ListCount(); ++i) {
    Record(TranscriptEntry::Kind::Log, title, list.List(static_cast<int>(i)));
  }
}

}  // namespace vlm
