// The dialog-script language: cuts a script into actions and reads each one.
#include <algorithm>
#include <cctype>
#include <optional>

#include "scripted_internal.h"

namespace vlm {

namespace {

using dialog_text::kBlanks;
using dialog_text::Lower;
using dialog_text::ParseInt;
using dialog_text::Trim;
using scripted::kButtons;
using scripted::NamedButton;
using scripted::Quote;

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
  std::string_view digits = Trim(s.substr(end + 1, s.size() - end - 2));
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
    std::string modifier = Lower(Trim(text.substr(0, plus)));
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
  std::string name = Lower(Trim(text));
  if (name.empty()) return "no key after the modifiers";
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
    code = std::toupper(static_cast<unsigned char>(name[0]));  // key codes of letters: 'A'..'Z'
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
  return "unknown key " + Quote(Trim(text)) +
         "; the keys are F1..F12, Tab, Enter, Escape, Space, Backspace, Delete, a letter or a "
         "digit";
}

}  // namespace

std::string KeyName(int code, int shiftState) {
  std::string name;
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) {
    name = std::string(1, static_cast<char>(code));
  } else if (code >= key::F1 && code < key::F1 + 12) {
    name = "F" + std::to_string(code - key::F1 + 1);
  } else {
    for (const NamedKey& named : kNamedKeys)
      if (named.code == code) {
        name = named.name;
        break;
      }
  }
  if (name.empty()) return {};
  std::string modifiers;
  for (auto [bit, modifier] : {std::pair{shift::Ctrl, "ctrl+"}, std::pair{shift::Shift, "shift+"},
                               std::pair{shift::Alt, "alt+"}})
    if (shiftState & bit) modifiers += modifier;
  return modifiers + name;
}

namespace {

// One action as the scanner cut it out of the script: its text as written and, when its value
// was quoted, the value with the quotes and escapes taken away.
struct ScannedAction {
  std::string_view text;
  std::optional<std::string> quoted;
};

// The actions that take a value after a blank (NAME=VALUE takes it after "=").
bool TakesWordValue(std::string_view word) {
  std::string w = Lower(word);
  return w == "input" || w == "file" || w == "answer";
}

// A value goes into the scene, a file name or a field as text, so it must be UTF-8: refused
// here, where the action is read, rather than when the scene is saved.
DialogAction CheckedText(DialogAction action, const std::string& origin) {
  using Kind = DialogAction::Kind;
  const bool text =
      action.kind == Kind::Set || action.kind == Kind::Input || action.kind == Kind::File;
  if (text && !IsUtf8(action.value)) {
    throw Error(err::InvalidProcedureCall,
                origin + ": " + Quote(dialog_text::ShownBytes(action.text)) +
                    ": the value is not UTF-8 text (the bytes shown as \\xNN are not)");
  }
  return action;
}

[[noreturn]] void Refuse(const std::string& origin, const std::string& problem) {
  throw Error(err::InvalidProcedureCall, origin + ": " + problem);
}

// The value of NAME=VALUE: the quoted one, or the text after "=" ("" written for an empty one).
std::string SetValue(const ScannedAction& scanned, size_t equals, const std::string& origin) {
  if (scanned.quoted) return *scanned.quoted;
  std::string_view value = Trim(scanned.text.substr(equals + 1));
  if (value.empty())
    Refuse(origin, Quote(scanned.text) + " has no value (write \"\" for an empty text)");
  return value == "\"\"" ? std::string() : std::string(value);
}

// The colour of "R,G,B", each component 0..255, as the colour dialog gives it.
int ParseColor(std::string_view text, std::string_view rest, const std::string& origin) {
  int rgb[3] = {0, 0, 0};
  int count = 0;
  std::string_view left = rest;
  for (;;) {
    size_t comma = left.find(',');
    std::string_view part = Trim(left.substr(0, comma));
    if (count == 3) Refuse(origin, Quote(text) + ": expected three components R,G,B");
    if (!ParseInt(part, rgb[count]) || rgb[count] < 0 || rgb[count] > 255)
      Refuse(origin, Quote(text) + ": components must be 0..255");
    ++count;
    if (comma == std::string_view::npos) break;
    left = left.substr(comma + 1);
  }
  if (count != 3) Refuse(origin, Quote(text) + ": expected three components R,G,B");
  return rgb[0] + 256 * rgb[1] + 65536 * rgb[2];
}

// The message box button that `rest` names, in any case.
void ReadAnswer(DialogAction& action, std::string_view text, std::string_view rest,
                const std::string& origin) {
  std::string wanted = Lower(rest);
  for (const NamedButton& b : kButtons) {
    if (Lower(b.name) == wanted) {
      action.button = b.answer;
      action.value = b.name;
    }
  }
  if (action.button == 0) {
    Refuse(origin, Quote(text) + ": " +
                       (rest.empty() ? "no button given" : "unknown button " + Quote(rest)) +
                       "; the buttons are OK, Cancel, Abort, Retry, Ignore, Yes, No");
  }
}

DialogAction ParseAction(const ScannedAction& scanned, const std::string& origin) {
  std::string_view text = scanned.text;
  DialogAction action;
  action.text = std::string(text);

  size_t equals = text.find('=');
  std::string_view target = Trim(text.substr(0, equals));
  if (equals != std::string_view::npos && ParseControlName(target, action.name, action.index)) {
    action.value = SetValue(scanned, equals, origin);
    return action;
  }

  size_t blank = text.find_first_of(kBlanks);
  std::string word = Lower(text.substr(0, blank));
  std::string_view rest = blank == std::string_view::npos ? "" : Trim(text.substr(blank));
  if (scanned.quoted) rest = *scanned.quoted;
  using Kind = DialogAction::Kind;
  if (word == "click") {
    action.kind = Kind::Click;
    if (rest.empty()) Refuse(origin, Quote(text) + " needs the name of a control");
    if (!ParseControlName(rest, action.name, action.index))
      Refuse(origin, Quote(text) + ": " + Quote(rest) + " is not a control name");
  } else if (word == "enter" || word == "escape") {
    action.kind = word == "enter" ? Kind::Enter : Kind::Escape;
    if (!rest.empty()) Refuse(origin, Quote(text) + ": " + word + " takes nothing after it");
  } else if (word == "key") {
    action.kind = Kind::Key;
    if (rest.empty()) Refuse(origin, Quote(text) + " needs a key (F1, Tab, ctrl+Tab, ...)");
    std::string problem = ParseKey(rest, action.keyCode, action.shiftState);
    if (!problem.empty()) Refuse(origin, Quote(text) + ": " + problem);
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
    if (!action.cancel) action.color = ParseColor(text, rest, origin);
  } else if (word == "answer") {
    action.kind = Kind::Answer;
    ReadAnswer(action, text, rest, origin);
  } else if (equals != std::string_view::npos) {
    Refuse(origin, Quote(text) + ": " + Quote(target) + " is not a control name");
  } else {
    Refuse(origin, "unknown action " + Quote(text) +
                       "; the actions are NAME=VALUE, click NAME, enter, escape, key KEY, input "
                       "TEXT, file [PATH], color [R,G,B] and answer BUTTON");
  }
  return action;
}

bool IsLineBreak(char c) {
  return c == '\n' || c == '\r';
}

// Cuts the script into actions. An action ends at ";" (and, in a script file, at a line
// break), except inside a quoted value: a value that starts with a double quote (right after
// "=", or after input, file or answer) runs to the closing quote, with \" and \\ standing
// for a quote and a backslash and \n and \r for a line feed and a carriage return. A quote anywhere
// else is an ordinary character, so 6" still means six inches, and a value whose quote is not
// closed before the end of its action (or is followed by more text) is taken as it is written, as
// it always was.
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
        // A line ends at LF, CR LF or a CR alone.
        if (c == '\n' || pos_ + 1 == s_.size() || s_[pos_ + 1] != '\n') ++line_;
        ++pos_;
      } else if (file_ && c == '#' && AtLineStart()) {  // a comment line
        while (pos_ < s_.size() && !IsLineBreak(s_[pos_]))
          ++pos_;
      } else {
        ScannedAction scanned = ScanOne();
        std::string_view trimmed = Trim(scanned.text);
        if (trimmed.empty()) continue;
        actions.push_back(CheckedText(ParseAction({trimmed, scanned.quoted}, Origin()), Origin()));
        if (file_) actions.back().where = Origin();
      }
    }
    return actions;
  }

 private:
  std::string Origin() const { return file_ ? origin_ + ":" + std::to_string(line_) : origin_; }
  // What separates words: blanks, and in a script given on the command line line breaks too,
  // as the actions read them (in a script file a line break ends the action).
  bool IsBlank(char c) const { return c == ' ' || c == '\t' || (!file_ && IsLineBreak(c)); }
  void SkipBlanks() {
    while (pos_ < s_.size() && IsBlank(s_[pos_]))
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
    while (!AtEnd() && s_[pos_] != '=' && !IsBlank(s_[pos_]))
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
      } else if (c == '\\' && at < s_.size() && (s_[at] == 'n' || s_[at] == 'r')) {
        value += s_[at++] == 'n' ? '\n' : '\r';  // a line break, as a list entry may hold
      } else {
        value += c;  // any other backslash is itself: C:\dir\x.dds
      }
    }
    while (at < s_.size() && IsBlank(s_[at]))
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
  // An editor may begin a script file with a UTF-8 byte-order mark.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (file && script.starts_with(kByteOrderMark)) script.remove_prefix(kByteOrderMark.size());
  return Scanner(script, origin, file).Run();
}

}  // namespace vlm
