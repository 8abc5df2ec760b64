// What the scripted back-end records: every event as it happens, the values the script set
// as each dialog closes, and the new lines of log lists.
#include <algorithm>

#include "scripted_internal.h"
#include "vlm/control_kinds.h"

namespace vlm {

namespace {

using scripted::Describe;

// The index in a full name: 2 for "chkSF(2)", -1 for "cmdOK".
int ControlIndex(const std::string& fullName) {
  size_t open = fullName.find('(');
  int index = -1;
  if (open != std::string::npos)
    dialog_text::ParseInt(std::string_view(fullName).substr(open + 1, fullName.size() - open - 2),
                          index);
  return index;
}

}  // namespace

void ScriptedDialogs::Record(TranscriptEntry::Kind kind, std::string title, std::string text) {
  transcript_.push_back(TranscriptEntry{kind, std::move(title), std::move(text)});
  if (observer_) {
    TranscriptEntry copy = transcript_.back();  // the observer may record more
    observer_(copy);
  }
}

void ScriptedDialogs::NoteChange(const Control& control, const std::string& typed) {
  if (changes_.empty() || !ReportsChanges(control)) return;
  auto& changes = changes_.back();
  auto it = std::find_if(changes.begin(), changes.end(),
                         [&](const Change& c) { return c.name == control.FullName(); });
  if (it == changes.end()) it = changes.insert(changes.end(), Change{control.FullName(), {}});
  it->typed = typed;
}

void ScriptedDialogs::RecordChanges(const Form& form) {
  if (changes_.empty()) return;
  // Every value the script gave is shown, also one the dialog already held: a reader of the
  // transcript sees the whole script at work.
  for (const Change& change : changes_.back()) {
    const Control* control =
        form.FindControl(change.name.substr(0, change.name.find('(')), ControlIndex(change.name));
    if (!control) continue;
    ChangeReport report = ReportChange(*control, change.typed);
    Record(TranscriptEntry::Kind::Value, form.Caption(), change.name + " = " + report.value);
    if (report.warning) {
      Record(TranscriptEntry::Kind::Warning, form.Caption(),
             Describe(form) + ": " + change.name + " = " + *report.warning);
    }
  }
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
