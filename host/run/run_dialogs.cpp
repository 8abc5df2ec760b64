#include "run/run_dialogs.h"

#include <ostream>
#include <sstream>
#include <utility>

#include "run/plugin_help.h"
#include "run/printing.h"
#include "run/run_request.h"
#include "vlm/files.h"

namespace vlm::host {
namespace {

// A script file holds one action per line (";" may still join several) and comment lines;
// its errors name the file and the line. A larger one than kMaxScriptFileSize is refused.
std::vector<DialogAction> ReadScript(const RunRequest& options) {
  if (options.ui) return ParseDialogScript(*options.ui);
  return ParseDialogScript(ReadFile(*options.uiFile, 0, kMaxScriptFileSize),
                           options.uiFile->string(), true);
}

// The tag each kind of entry is printed with.
const char* TagOf(TranscriptEntry::Kind kind) {
  using Kind = TranscriptEntry::Kind;
  static constexpr std::pair<Kind, const char*> tags[] = {{Kind::Dialog, "[dialog]"},
                                                          {Kind::MessageBox, "[message]"},
                                                          {Kind::InputBox, "[input]"},
                                                          {Kind::FileDialog, "[file dialog]"},
                                                          {Kind::ColorDialog, "[colour dialog]"},
                                                          {Kind::Log, "[log]"},
                                                          {Kind::Help, "[help]"},
                                                          {Kind::Note, "[note]"},
                                                          {Kind::Value, "[value]"},
                                                          {Kind::Warning, "[warning]"},
                                                          {Kind::Remembered, "[remembered]"}};
  for (const auto& [k, tag] : tags)
    if (k == kind) return tag;
  return "";
}

// What follows the tag: a dialog's title and caption, a box's title and text as the terminal
// shows it, else the entry's text.
std::string TextOf(const TranscriptEntry& e) {
  switch (e.kind) {
    case TranscriptEntry::Kind::Dialog:
      return e.title + " (" + e.text + ")";
    case TranscriptEntry::Kind::MessageBox:
      return (e.title.empty() ? "" : e.title + ": ") + TerminalText(e.text);
    case TranscriptEntry::Kind::InputBox:
      return TerminalText(e.text);
    default:
      return e.text;
  }
}

}  // namespace

std::shared_ptr<ScriptedDialogs> ChooseDialogBackend(const RunRequest& options) {
  auto dialogs = options.ui || options.uiFile
                     ? std::make_shared<ScriptedDialogs>(ReadScript(options))
                     : std::make_shared<ScriptedDialogs>();
  dialogs->SetHelp(HelpFor(options.progId));
  return dialogs;
}

void PrintEntry(std::ostream& out, const TranscriptEntry& entry) {
  out << TagOf(entry.kind) << " " << TextOf(entry) << "\n";
  // F1: the help itself, indented under the file the plug-in asked for.
  if (entry.kind == TranscriptEntry::Kind::Help && !entry.title.empty()) {
    std::istringstream lines(entry.title);
    for (std::string line; std::getline(lines, line);)
      out << (line.empty() ? "" : "    " + line) << "\n";
  }
}

}  // namespace vlm::host
