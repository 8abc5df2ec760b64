// The scripted dialog back-end: plays a list of actions against the forms that are shown.
//
// Action language (actions separated by ";", blanks around them ignored; a script file takes
// one action per line, and a line whose first character other than a blank is "#" is a
// comment):
//   NAME=VALUE       text field: its text; check box: 0, 1 or 2; option button: 1; slider: an
//                    integer in its range; list or drop-down list: the entry's text; tab
//                    strip: the tab's caption
//   click NAME       a button (or any control that reacts to a click)
//   enter / escape   the form's default / cancel button, without moving the focus
//   key KEY          a key press: F1..F12, Tab, Enter, Escape, Space, Backspace, Delete, a
//                    letter or digit, with optional ctrl+, shift+, alt+ in front (ctrl+Tab)
//   input TEXT       the answer to the next input box
//   file PATH | file the next file dialog: that path, or cancelled
//   color R,G,B | color   the next colour dialog: that colour, or cancelled
//   answer BUTTON    the next message box: OK, Cancel, Yes, No, Abort, Retry, Ignore
// NAME is the control's name with its index where it has one: txt(0), chkSF(2), OKButton;
// names compare without regard to case. A VALUE may contain "=" and runs to the end of the
// action, blanks around it dropped. A value may be quoted, the value of NAME=VALUE, input,
// file and answer: txtEffect="Rate=2;Delay=1", lstMat="3 " (the blank is kept); inside the
// quotes \" is a quote and \\ a backslash, and ";" does not end the action. A quote that does
// not start a value is an ordinary character (txt(0)=6" is six inches), and a value whose quote
// is not closed, or is followed by more text, is taken as written. Write txt(0)="" to empty a
// text field. A key press reaches the form's KeyDown when
// the form has KeyPreview; Enter and Escape then press the default and cancel buttons, and F1
// shows help unless KeyDown received it.
//
// Focus moves as a person's would: setting a field or clicking a control takes the focus,
// so the lost-focus handler of the control that had it (a text field, usually) runs first;
// enter and escape do not move it, and labels and frames never take it. A form opens with
// nothing focused. Without a script every form is accepted as it opens: its default button,
// then its cancel button if it is still open. With a script, a form still open when the
// actions run out is an error that names the form and its buttons.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vlm/forms.h"

namespace vlm {

struct DialogAction {
  enum class Kind { Set, Click, Enter, Escape, Key, Input, File, Color, Answer };
  Kind kind = Kind::Set;
  std::string name;     // Set and Click: the control's name without its index; Key: the key
  int index = -1;       // the control's index, -1 outside a control array
  std::string value;    // Set, Input, File; Answer's button; empty when cancelled
  bool cancel = false;  // File and Color without a value
  int32_t color = 0;    // Color: red + 256 * green + 65536 * blue
  int keyCode = 0;      // Key: the key code (vlm::key) and shift state (vlm::shift)
  int shiftState = 0;
  int button = 0;     // Answer: the button's answer (mb::OK, mb::Yes, ...)
  std::string text;   // the action as written, for messages
  std::string where;  // "actions.txt:3" for an action of a script file, else ""
};

// Parses a script; vlm::Error (5) naming `origin`, the action and the problem on bad input.
// A script `file` takes one action per line (";" may still join several on a line), skips
// blank and comment lines, and its messages name the line: "actions.txt:3: ...".
// How a script names a message box's answer (mb::Yes: "Yes"), "?" for none.
const char* AnswerName(int answer);
// A value as a script writes it after NAME=, input or file: as it is where that reads back the
// same, else quoted.
std::string ScriptValue(std::string_view value);
// A key as a script presses it ("ctrl+tab", "F5", "A"), "" for a key a script cannot press.
std::string KeyName(int code, int shiftState);

std::vector<DialogAction> ParseDialogScript(std::string_view script,
                                            const std::string& origin = "--ui", bool file = false);

// One recorded event: a message box, input box, log line, dialog shown, ...
struct TranscriptEntry {
  // Value: a field, check box or list the script set, as the dialog closed and as the
  // plug-in read it (txt(1) = "abc" -> 0). Warning: a value the plug-in could not read.
  // Remembered: a value the dialog starts from because an earlier run saved it.
  enum class Kind {
    Dialog,
    MessageBox,
    InputBox,
    FileDialog,
    ColorDialog,
    Log,
    Help,
    Note,
    Value,
    Warning,
    Remembered
  } kind;
  std::string title;  // caption of the form or message box; for help, the help shown
  std::string text;   // prompt, log line, chosen answer
};

class ScriptedDialogs : public DialogBackend {
 public:
  // Accepts every dialog as it opens.
  ScriptedDialogs();
  // Plays the given actions.
  explicit ScriptedDialogs(std::vector<DialogAction> actions);

  void RunModal(Form& form) override;
  int MessageBox(const MessageBoxRequest& request) override;
  std::optional<std::string> InputBox(const InputBoxRequest& request) override;
  std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
  std::optional<int32_t> ColorDialog(int32_t initial) override;
  void ShowHelp(const std::string& helpFile) override;
  void Repaint(const Control& control) override;

  const std::vector<TranscriptEntry>& Transcript() const { return transcript_; }
  // The help F1 shows, given the help file the plug-in asked for; help is recorded with the
  // file alone without it.
  void SetHelp(std::function<std::string(const std::string& helpFile)> help) {
    help_ = std::move(help);
  }
  // Called with every entry as it is recorded (the command line prints them).
  void SetObserver(std::function<void(const TranscriptEntry&)> observer) {
    observer_ = std::move(observer);
  }
  // Called with every form whose modal run ends (it hid or unloaded, or the script failed
  // while it was open), as it was last drawn: the command line saves its drawing areas.
  // The observer must not throw.
  void SetFormObserver(std::function<void(const Form&)> observer) {
    formObserver_ = std::move(observer);
  }
  // Actions not played yet.
  const std::deque<DialogAction>& Remaining() const { return actions_; }
  bool Scripted() const { return scripted_; }
  // The first fault of the script itself (actions ran out, a control that is not there, an
  // answer a message box does not offer), even when the plug-in caught the error.
  const std::optional<std::string>& Failure() const { return failure_; }

 private:
  void Record(TranscriptEntry::Kind kind, std::string title, std::string text);
  void Play(Form& form, const DialogAction& action);
  void PlayKey(Form& form, const DialogAction& action);
  void PlayForm(Form& form);
  int AnswerMessageBox(const MessageBoxRequest& request);
  void AcceptAsItOpens(Form& form);
  void MoveFocus(Form& form, Control* to);
  // Removes and returns the next action when it is of this kind.
  std::optional<DialogAction> TakeNext(DialogAction::Kind kind);
  // Notes a text field, check box or list the script is about to change.
  void NoteChange(const Control& control, const std::string& typed);
  // Records the value of each control the script set on the form that closed.
  void RecordChanges(const Form& form);

  bool scripted_;
  std::optional<std::string> failure_;
  std::deque<DialogAction> actions_;
  std::vector<TranscriptEntry> transcript_;
  std::function<void(const TranscriptEntry&)> observer_;
  std::function<void(const Form&)> formObserver_;
  std::vector<std::pair<const Form*, Control*>> focus_;  // focused control per open form
  // Per open form: the controls the script set, by full name, with the value last typed.
  struct Change {
    std::string name, typed;
  };
  std::vector<std::vector<Change>> changes_;
  // Entries of each log list shown so far (ListControl::ItemsAdded at its last repaint).
  std::vector<std::pair<const Control*, long long>> shownListLines_;
  std::function<std::string(const std::string&)> help_;
};

}  // namespace vlm
