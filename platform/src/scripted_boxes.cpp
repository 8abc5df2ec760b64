// The scripted answers to message boxes, input boxes and the file and colour dialogs, and help.
#include <algorithm>

#include "scripted_internal.h"

namespace vlm {

namespace {

using scripted::ButtonName;
using scripted::Quote;
using scripted::ScriptError;
using scripted::Where;

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

}  // namespace

std::optional<DialogAction> ScriptedDialogs::TakeNext(DialogAction::Kind kind) {
  if (actions_.empty() || actions_.front().kind != kind) return std::nullopt;
  DialogAction action = std::move(actions_.front());
  actions_.pop_front();
  return action;
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
  // The line shows what the dialog gave back, then the colour it started from.
  const std::string from = " (it showed " + rgb(initial) + ")";
  if (auto answer = TakeNext(DialogAction::Kind::Color)) {
    if (answer->cancel) {
      Record(TranscriptEntry::Kind::ColorDialog, {}, "cancelled" + from);
      return std::nullopt;
    }
    Record(TranscriptEntry::Kind::ColorDialog, {}, rgb(answer->color) + from);
    return answer->color;
  }
  Record(TranscriptEntry::Kind::ColorDialog, {}, "cancelled" + from);
  Record(TranscriptEntry::Kind::Note, {}, "colour dialog: no answer given, cancelling it");
  return std::nullopt;
}

void ScriptedDialogs::ShowHelp(const std::string& helpFile) {
  Record(TranscriptEntry::Kind::Help, help_ ? help_(helpFile) : std::string(), helpFile);
}

const char* AnswerName(int answer) {
  return ButtonName(answer);
}

std::string ScriptValue(std::string_view value) {
  const bool plain = !value.empty() && value.front() != ' ' && value.back() != ' ' &&
                     value.front() != '"' &&
                     value.find_first_of(";\r\n\t") == std::string_view::npos;
  return plain ? std::string(value) : ScriptQuoted(value);
}

}  // namespace vlm
